// The process entry. The update self-tests are decided from the command line
// alone, before any Qt object exists, so they need no display.

#include "core/update/UpdateChannelSelfTest.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv, argv + argc);
    if (auto status = quorilanth::runUpdateSelfTestMode(
            arguments, quorilanth::ApplicationBundle::main(),
            quorilanth::UpdateSessionConfiguration::ephemeral(), std::cout, std::cerr))
        return *status;
    std::fputs("Quorilanth: the desktop window is not built yet.\n", stderr);
    return 1;
}
