// scan_site [--developer-mode] URL
//
// Runs one scan and writes the finished report's JSON form to standard output,
// each progress message to standard error, then the peak memory of the scan
// itself (scan_peak_kib=<n>, before the JSON is written) and one line of figures
// that the bench scripts read: elapsed_ms=<n> exchanges=<n> locations=<n>.
// Exit status 0 when a report was produced, 2 when the input was refused or
// the report could not be written.

#include "core/base/QuorilanthError.h"
#include "core/engine/DiscoveryEngine.h"
#include "core/model/ReportJSON.h"
#include "core/net/NetworkPolicy.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

namespace {

// Peak resident memory so far, in KiB, or -1 where /proc is not readable.
long peakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    using namespace quorilanth;
    bool developerMode = false;
    std::string input;
    bool haveInput = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--developer-mode") {
            developerMode = true;
        } else if (!haveInput) {
            input = arg;
            haveInput = true;
        } else {
            haveInput = false;
            break;
        }
    }
    if (!haveInput) {
        std::cerr << "usage: scan_site [--developer-mode] URL\n";
        return 64;
    }

    DiscoveryEngine engine{NetworkPolicy(developerMode)};
    int locations = 0;
    const auto started = std::chrono::steady_clock::now();
    ScanReport report;
    try {
        report = engine.scan(input, [&](ScanReport, const std::string& message) {
            if (message.starts_with("Inspecting ")) ++locations;
            std::cerr << message << '\n';
        });
    } catch (const QuorilanthError& error) {
        std::cerr << error.message() << '\n';
        return 2;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - started)
                             .count();
    const long scanPeakKiB = peakResidentKiB();
    try {
        // In pieces: the JSON form of a large scan is several times its bodies.
        ReportJSON::write(report, [](std::string_view piece) {
            std::cout.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        });
    } catch (const QuorilanthError& error) {
        std::cerr << error.message() << '\n';
        return 2;
    }
    std::cout.flush();
    std::cerr << "scan_peak_kib=" << scanPeakKiB << '\n';
    std::cerr << "elapsed_ms=" << elapsed << " exchanges=" << report.evidence.size()
              << " locations=" << locations << '\n';
    return 0;
}
