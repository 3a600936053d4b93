// scan_site [--developer-mode] [--run-tool NAME [--arguments JSON]] URL
//
// Runs one scan and writes the finished report's JSON form to standard output,
// each progress message to standard error, then the peak memory of the scan
// itself (scan_peak_kib=<n>, before the JSON is written) and one line of figures
// that the bench scripts read: elapsed_ms=<n> exchanges=<n> locations=<n>.
// With --run-tool, the first tool of that name among the verified servers (in
// report order) is then run, approved and confirmed, with the arguments given
// (an empty object by default), and the report written is the one it returns;
// its time is added as tool_ms=<n>.
// Exit status 0 when a report was produced, 1 when the tool run failed or found
// no such tool, 2 when the input was refused or the report could not be written.

#include "core/base/JSONValue.h"
#include "core/base/QuorilanthError.h"
#include "core/engine/DiscoveryEngine.h"
#include "core/model/ReportJSON.h"
#include "core/net/NetworkPolicy.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
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

// The first tool of that name among the verified servers, in report order.
std::optional<quorilanth::MCPTool> findTool(const quorilanth::ScanReport& report,
                                            std::string_view name) {
    for (const quorilanth::MCPServer& server : report.servers) {
        if (server.status != quorilanth::FindingStatus::valid) continue;
        for (const quorilanth::MCPTool& tool : server.tools)
            if (tool.name() == name) return tool;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    using namespace quorilanth;
    bool developerMode = false;
    std::optional<std::string> toolName;
    std::string argumentsText = "{}";
    std::string input;
    bool haveInput = false;
    bool usable = true;
    for (int i = 1; i < argc && usable; ++i) {
        std::string_view arg = argv[i];
        const bool valued = arg == "--run-tool" || arg == "--arguments";
        if (valued && i + 1 == argc) {
            usable = false;
        } else if (arg == "--developer-mode") {
            developerMode = true;
        } else if (arg == "--run-tool") {
            toolName = argv[++i];
        } else if (arg == "--arguments") {
            argumentsText = argv[++i];
        } else if (!haveInput) {
            input = arg;
            haveInput = true;
        } else {
            usable = false;
        }
    }
    JSONValue arguments;
    try {
        arguments = JSONValue::parse(argumentsText);
    } catch (const JSONParseError& error) {
        std::cerr << "--arguments: " << error.message() << '\n';
        usable = false;
    }
    if (!haveInput || !usable) {
        std::cerr << "usage: scan_site [--developer-mode] [--run-tool NAME [--arguments JSON]] "
                     "URL\n";
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
    long long toolMS = -1;
    if (toolName) {
        const std::optional<MCPTool> tool = findTool(report, *toolName);
        if (!tool) {
            std::cerr << "No verified server offers the tool " << *toolName << ".\n";
            return 1;
        }
        const auto calling = std::chrono::steady_clock::now();
        try {
            report = engine.run(*tool, arguments, report, true);
        } catch (const std::exception& error) {
            std::cerr << error.what() << '\n';
            return 1;
        }
        toolMS = std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - calling)
                     .count();
    }
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
              << " locations=" << locations;
    if (toolMS >= 0) std::cerr << " tool_ms=" << toolMS;
    std::cerr << '\n';
    return 0;
}
