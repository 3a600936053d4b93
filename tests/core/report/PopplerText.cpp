#include "PopplerText.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace quorilanth::test {
namespace {

std::string run(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) throw std::runtime_error("cannot run " + command);
    std::string out;
    char buffer[65536];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    if (pclose(pipe) != 0) throw std::runtime_error("failed: " + command);
    return out;
}

std::string attribute(const std::string& tag, const std::string& name) {
    const auto at = tag.find(" " + name + "=\"");
    if (at == std::string::npos) return {};
    const auto start = at + name.size() + 3;
    return tag.substr(start, tag.find('"', start) - start);
}

std::string unescapeXml(std::string text) {
    // "&amp;" last, so that an escaped entity is not unescaped twice.
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"&lt;", "<"},
                                   {"&gt;", ">"},
                                   {"&quot;", "\""},
                                   {"&apos;", "'"},
                                   {"&amp;", "&"}})
        for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + 1))
            text.replace(at, from.size(), to);
    return text;
}

} // namespace

PopplerReading readPDF(const std::string& bytes) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("quorilanth-export-" + std::to_string(getpid()) + ".pdf");
    {
        std::ofstream file(path, std::ios::binary);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    const std::string quoted = "'" + path.string() + "'";
    PopplerReading reading;
    const std::string info = run("pdfinfo " + quoted + " 2>/dev/null");
    if (const auto at = info.find("Pages:"); at != std::string::npos)
        reading.pages = std::atoi(info.c_str() + at + 6);
    const std::string boxes = run("pdftotext -enc UTF-8 -bbox " + quoted + " - 2>/dev/null");
    int page = 0;
    for (std::size_t at = boxes.find('<'); at != std::string::npos; at = boxes.find('<', at + 1)) {
        const std::string tag = boxes.substr(at, boxes.find('>', at) - at);
        if (tag.rfind("<page", 0) == 0) ++page;
        if (tag.rfind("<word", 0) != 0) continue;
        const auto textStart = boxes.find('>', at) + 1;
        PopplerWord word{
            page,
            std::stod(attribute(tag, "xMin")),
            std::stod(attribute(tag, "yMin")),
            std::stod(attribute(tag, "xMax")),
            std::stod(attribute(tag, "yMax")),
            unescapeXml(boxes.substr(textStart, boxes.find("</word>", textStart) - textStart))};
        reading.words.push_back(word);
    }
    std::filesystem::remove(path);
    return reading;
}

} // namespace quorilanth::test
