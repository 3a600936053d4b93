#include "core/report/PDFCanvas.h"

#include "PopplerText.h"
#include "core/base/QuorilanthError.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using test::PopplerReading;

PDFTextStyle body(double size = 10) {
    PDFTextStyle style;
    style.size = size;
    style.paragraphSpacing = 7;
    return style;
}

// Draws the flow page after page, into frames of these widths in turn, until it is used up.
PopplerReading paginate(PDFTextFlow& flow, PDFRect frame, const std::vector<double>& widths) {
    PDFCanvas canvas(595, 842);
    for (std::size_t page = 0; page < 1000 && !flow.atEnd(); ++page) {
        canvas.beginPage();
        frame.width = widths[page % widths.size()];
        EXPECT_GT(canvas.drawFrame(flow, frame), 0u);
        canvas.endPage();
    }
    EXPECT_TRUE(flow.atEnd());
    return test::readPDF(canvas.finish());
}

// A flow goes page after page into frames of changing width: it breaks
// between lines, also inside one appended piece, and takes up a paragraph
// where the last frame left it. Every word arrives once, in order, inside the
// frame (whose origin is at the bottom of the page, the reading's at the top).
TEST(PDFCanvas, AFlowFillsFramesOfAnyWidthWithEveryWordOnce) {
    PDFTextFlow flow;
    std::string expected;
    for (int i = 1000; i < 1120; i += 2) {
        flow.append("line" + std::to_string(i) + "\nline" + std::to_string(i + 1), body());
        expected += "line" + std::to_string(i) + " line" + std::to_string(i + 1) + " ";
    }
    std::string paragraph;
    for (int i = 100; i < 400; ++i)
        paragraph += "w" + std::to_string(i) + " ";
    flow.append(paragraph, body());
    const PDFRect frame{38, 48, 0, 100};
    const PopplerReading reading = paginate(flow, frame, {519, 150, 400, 90});
    EXPECT_EQ(reading.text() + " ", expected + paragraph);
    for (const auto& word : reading.words) {
        EXPECT_GE(word.yMin, 842 - frame.y - frame.height - 0.5) << word.text;
        EXPECT_LE(word.yMax, 842 - frame.y + 0.5) << word.text;
    }
    PDFTextFlow breaks;
    breaks.append("a\nb\r\nc\rd\u2029e", body());
    EXPECT_EQ(breaks.paragraphCount(), 5u);
}

// An unbroken run wraps between characters and fills its lines. A paragraph
// far longer than one layout can take continues in pieces, every character
// still arriving in order.
TEST(PDFCanvas, UnbrokenRunsFillTheirLines) {
    for (const std::size_t length : {300u, 400000u}) {
        std::string text = "https://example.com/";
        for (std::size_t i = 0; i < length; ++i)
            text += static_cast<char>('a' + i % 26);
        PDFTextFlow flow;
        flow.append(text, body(8));
        const PDFRect frame{38, 48, 519, 697};
        const PopplerReading reading = paginate(flow, frame, {519});
        std::string all;
        std::vector<double> lineEnds; // the right edge of each line, in order
        for (const auto& word : reading.words) {
            all += word.text;
            if (lineEnds.empty() || word.xMin <= frame.x + 1)
                lineEnds.push_back(word.xMax);
            else
                lineEnds.back() = std::max(lineEnds.back(), word.xMax);
        }
        EXPECT_EQ(all, text);
        // Only where a very long paragraph is continued in a new piece (every
        // 64 KiB) may a line end early.
        lineEnds.pop_back();
        EXPECT_LE(std::count_if(lineEnds.begin(), lineEnds.end(),
                                [&](double end) { return end < frame.x + frame.width - 6; }),
                  static_cast<long>(length / 65536));
    }
}

TEST(PDFCanvas, OutputBeyondItsLimitFailsWithoutPartialBytes) {
    PDFCanvas canvas(595, 842, 200);
    canvas.beginPage();
    canvas.drawLine("Quorilanth", body(), 38, 807);
    try {
        (void)canvas.finish();
        ADD_FAILURE() << "no error";
    } catch (const QuorilanthError& error) {
        EXPECT_EQ(error.message(), "Cannot create PDF output.");
    }
}

} // namespace
} // namespace quorilanth
