#include "core/report/PDFCanvas.h"

#include "PopplerText.h"
#include "core/base/QuorilanthError.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using test::PopplerReading;
using test::readPDF;

constexpr double pageWidth = 595;
constexpr double pageHeight = 842;

PDFTextStyle body(double size = 10) {
    PDFTextStyle style;
    style.size = size;
    style.paragraphSpacing = 7;
    return style;
}

// Draws the flow page after page into the same frame until it is used up.
PopplerReading paginate(PDFTextFlow& flow, const PDFRect& frame, int maxPages = 100) {
    PDFCanvas canvas(pageWidth, pageHeight);
    for (int page = 0; page < maxPages && !flow.atEnd(); ++page) {
        canvas.beginPage();
        if (canvas.drawFrame(flow, frame) == 0) break;
        canvas.endPage();
    }
    return readPDF(canvas.finish());
}

std::string allText(const PopplerReading& reading) {
    std::string text;
    for (const auto& word : reading.words)
        text += word.text;
    return text;
}

TEST(PDFCanvas, FlowBreaksBetweenLinesAndKeepsEveryLineOnce) {
    PDFTextFlow flow;
    std::string expected;
    for (int i = 0; i < 120; ++i) {
        const std::string line = "line" + std::to_string(1000 + i);
        // Pairs of lines in one piece: a page break may fall inside a piece.
        if (i % 2 == 0) flow.append(line + "\nline" + std::to_string(1001 + i), body());
        expected += line;
    }
    const PDFRect frame{38, 48, 519, 200};
    const auto reading = paginate(flow, frame);
    EXPECT_TRUE(flow.atEnd());
    EXPECT_EQ(allText(reading), expected);
    EXPECT_GT(reading.pages, 5);
    for (const auto& word : reading.words) {
        SCOPED_TRACE(word.text);
        EXPECT_GE(word.yMin, pageHeight - (frame.y + frame.height) - 0.5);
        EXPECT_LE(word.yMax, pageHeight - frame.y + 0.5);
    }
}

// Frames of changing width take up a paragraph where the last one left it.
TEST(PDFCanvas, AParagraphContinuesInFramesOfAnotherWidth) {
    std::string text;
    for (int i = 100; i < 400; ++i)
        text += "w" + std::to_string(i) + " ";
    PDFTextFlow flow;
    flow.append(text, body());
    PDFCanvas canvas(pageWidth, pageHeight);
    const double widths[] = {519, 150, 400, 90};
    for (int page = 0; page < 100 && !flow.atEnd(); ++page) {
        canvas.beginPage();
        ASSERT_GT(canvas.drawFrame(flow, {38, 48, widths[page % 4], 60}), 0u);
        canvas.endPage();
    }
    EXPECT_TRUE(flow.atEnd());
    // Every word exactly once, in order: no line is drawn again after a width change.
    const auto reading = readPDF(canvas.finish());
    ASSERT_EQ(reading.words.size(), 300u);
    for (int i = 100; i < 400; ++i)
        EXPECT_EQ(reading.words[static_cast<std::size_t>(i - 100)].text, "w" + std::to_string(i));
}

TEST(PDFCanvas, LineBreaksOfEveryKindStartParagraphs) {
    PDFTextFlow flow;
    flow.append("a\nb\r\nc\rd\u2029e", body());
    EXPECT_EQ(flow.paragraphCount(), 5u);
}

// An unbroken run wraps between characters and fills its lines. A paragraph
// far longer than one layout can take continues in pieces, every character
// still arriving in order.
TEST(PDFCanvas, UnbrokenRunsFillTheirLines) {
    for (const std::size_t length : {300u, 400000u}) {
        SCOPED_TRACE(length);
        std::string text = "https://example.com/";
        for (std::size_t i = 0; i < length; ++i)
            text += static_cast<char>('a' + i % 26);
        PDFTextFlow flow;
        flow.append(text, body(8));
        const PDFRect frame{38, 48, 519, 697};
        const auto reading = paginate(flow, frame, 1000);
        EXPECT_TRUE(flow.atEnd());
        EXPECT_EQ(allText(reading), text);
        std::vector<double> lineEnds; // the right edge of each line, in order
        for (const auto& word : reading.words) {
            if (!lineEnds.empty() && word.xMin > frame.x + 1) {
                lineEnds.back() = std::max(lineEnds.back(), word.xMax);
            } else {
                lineEnds.push_back(word.xMax);
            }
        }
        // Only where a very long paragraph is continued in a new piece (every
        // 64 KiB) may a line end early.
        std::size_t shortLines = 0;
        for (std::size_t i = 0; i + 1 < lineEnds.size(); ++i)
            shortLines += lineEnds[i] < frame.x + frame.width - 6;
        EXPECT_LE(shortLines, length / 65536);
    }
}

TEST(PDFCanvas, OutputBeyondItsLimitFailsWithoutPartialBytes) {
    PDFCanvas canvas(pageWidth, pageHeight, 200);
    canvas.beginPage();
    canvas.drawLine("Quorilanth", body(), 38, 807);
    try {
        (void)canvas.finish();
        FAIL() << "no error";
    } catch (const QuorilanthError& error) {
        EXPECT_EQ(error.message(), "Cannot create PDF output.");
    }
}

} // namespace
} // namespace quorilanth
