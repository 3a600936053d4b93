#include "support/OffscreenTestMain.h"

int main(int argc, char** argv) {
    return quorilanth::test::runWidgetTests(argc, argv);
}
