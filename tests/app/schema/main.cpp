// The window tests' entry point serves these too: an application object, the
// dark look, English, and private folders for settings and the library.
#include "app/window/main.cpp"
