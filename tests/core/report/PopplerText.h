#pragma once

// What poppler's pdftotext reads back from a PDF document held in memory:
// every word with its box in points, origin at the top left of its page.

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace quorilanth::test {

struct PopplerWord {
    int page = 0; // from 1
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    std::string text;
};

struct PopplerReading {
    int pages = 0;
    std::vector<PopplerWord> words;

    // Every word in reading order, one blank between words; with lines, a line
    // break wherever a word starts another line of text.
    std::string text(bool lines = false) const {
        std::string out;
        for (std::size_t i = 0; i < words.size(); ++i) {
            const PopplerWord* last = i ? &words[i - 1] : nullptr;
            if (last)
                out += lines && (last->page != words[i].page ||
                                 std::abs(last->yMin - words[i].yMin) > 1)
                           ? "\n"
                           : " ";
            out += words[i].text;
        }
        return lines ? out + "\n" : out;
    }
};

inline PopplerReading readPDF(const std::string& bytes) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("quorilanth-export-" + std::to_string(::getpid()) + ".pdf");
    std::ofstream(path, std::ios::binary) << bytes;
    FILE* pipe =
        ::popen(("pdftotext -enc UTF-8 -bbox '" + path.string() + "' - 2>/dev/null").c_str(), "r");
    std::string xml;
    char buffer[65536];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        xml.append(buffer, n);
    if (!pipe || ::pclose(pipe) != 0) throw std::runtime_error("pdftotext failed");
    std::filesystem::remove(path);
    PopplerReading reading;
    const auto number = [](const std::string& tag, const char* name) {
        return std::stod(
            tag.substr(tag.find(std::string(" ") + name + "=\"") + std::strlen(name) + 3));
    };
    for (std::size_t at = xml.find('<'); at != std::string::npos; at = xml.find('<', at + 1)) {
        const std::size_t end = xml.find('>', at);
        const std::string tag = xml.substr(at, end - at);
        if (tag.starts_with("<page ")) ++reading.pages;
        if (!tag.starts_with("<word ")) continue;
        std::string text = xml.substr(end + 1, xml.find("</word>", end) - end - 1);
        // "&amp;" last, so that an escaped entity is not unescaped twice.
        for (const auto& [from, to] : {std::pair<std::string, std::string>{"&lt;", "<"},
                                       {"&gt;", ">"},
                                       {"&quot;", "\""},
                                       {"&apos;", "'"},
                                       {"&amp;", "&"}})
            for (auto found = text.find(from); found != std::string::npos;
                 found = text.find(from, found + 1))
                text.replace(found, from.size(), to);
        reading.words.push_back({reading.pages, number(tag, "xMin"), number(tag, "yMin"),
                                 number(tag, "xMax"), number(tag, "yMax"), text});
    }
    return reading;
}

} // namespace quorilanth::test
