#include "support/WidgetTestMain.h"

int main(int argc, char** argv) {
    return quorilanth::test::runWidgetTests(argc, argv);
}
