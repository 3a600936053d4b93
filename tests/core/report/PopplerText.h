#pragma once

#include <string>
#include <vector>

namespace quorilanth::test {

// What poppler's command-line tools read back from a PDF document held in
// memory: the document is written to a temporary file for them.
struct PopplerWord {
    int page = 0;                                  // from 1
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0; // points, origin at the top left
    std::string text;
};

struct PopplerReading {
    int pages = 0;
    std::vector<PopplerWord> words; // every word with its box
};

PopplerReading readPDF(const std::string& bytes);

} // namespace quorilanth::test
