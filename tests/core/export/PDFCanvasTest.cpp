#include "core/model/PDFCanvas.h"

#include "PopplerText.h"
#include "core/model/QuorilanthError.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using test::PopplerReading;
using test::readPDF;

constexpr double pageWidth = 595;
constexpr double pageHeight = 842;

PDFTextStyle body(double size = 10, double paragraphSpacing = 7) {
    PDFTextStyle style;
    style.size = size;
    style.paragraphSpacing = paragraphSpacing;
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

TEST(PDFCanvas, LineAndParagraphSpacingSetTheAdvance) {
    struct Case {
        const char* name;
        std::string piece;
        double paragraphSpacing;
    };
    // Two lines 10 points apart in size: the advance between the baselines is
    // the line height plus 3, plus the paragraph spacing when the first line
    // ends a paragraph.
    const Case cases[] = {{"paragraphs", "first\nsecond", 7}, {"wider", "first\nsecond", 10}};
    double advances[2] = {};
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(cases[i].name);
        PDFTextFlow flow;
        flow.append(cases[i].piece, body(10, cases[i].paragraphSpacing));
        const auto reading = paginate(flow, {38, 48, 519, 622});
        ASSERT_EQ(reading.words.size(), 2u);
        advances[i] = reading.words[1].yMin - reading.words[0].yMin;
    }
    EXPECT_NEAR(advances[1] - advances[0], 3, 0.05);
    EXPECT_GT(advances[0], 10 + 3 + 7);
    EXPECT_LT(advances[0], 10 * 1.4 + 3 + 7);
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
    const auto reading = readPDF(canvas.finish());
    std::size_t from = 0;
    for (int i = 100; i < 400; ++i) {
        const auto it = std::find_if(
            reading.words.begin() + static_cast<std::ptrdiff_t>(from), reading.words.end(),
            [&](const test::PopplerWord& w) { return w.text == "w" + std::to_string(i); });
        ASSERT_NE(it, reading.words.end()) << i;
        from = static_cast<std::size_t>(it - reading.words.begin());
    }
}

TEST(PDFCanvas, AFrameTooSmallForOneLineDrawsNothingAndKeepsThePosition) {
    PDFTextFlow flow;
    flow.append("does not fit", body(15));
    PDFCanvas canvas(pageWidth, pageHeight);
    canvas.beginPage();
    EXPECT_EQ(canvas.drawFrame(flow, {38, 48, 519, 5}), 0u);
    EXPECT_FALSE(flow.atEnd());
    EXPECT_EQ(canvas.drawFrame(flow, {38, 48, 519, 100}), 1u);
    EXPECT_TRUE(flow.atEnd());
}

TEST(PDFCanvas, LineBreaksOfEveryKindStartParagraphs) {
    PDFTextFlow flow;
    flow.append("a\nb\r\nc\rd\xE2\x80\xA9"
                "e",
                body());
    flow.append("", body());
    EXPECT_EQ(flow.paragraphCount(), 6u);
}

TEST(PDFCanvas, HostileTextIsDrawnWithinTheFrame) {
    const std::string longURL = "https://example.com/" + std::string(8000, 'x');
    struct Case {
        const char* name;
        std::string piece;
        std::string expected; // what poppler reads back, without blanks
    };
    const std::string fffd = "\xEF\xBF\xBD";
    const Case cases[] = {
        {"unbroken URL", longURL, longURL},
        {"control characters",
         std::string("a\0b\x1b"
                     "c\x7f"
                     "d",
                     7),
         "a" + fffd + "b" + fffd + "c" + fffd + "d"},
        {"invalid UTF-8",
         "a\xC0\xAF"
         "b\xED\xA0\x80"
         "c\xF0\x9F",
         "a" + fffd + fffd + "b" + fffd + fffd + fffd + "c" + fffd + fffd},
        {"right to left", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D", ""},
        {"no font has it", "\xF4\x8F\xBF\xBD\xF0\x9F\x80\x80", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PDFTextFlow flow;
        flow.append(c.piece, body(9));
        const PDFRect frame{38, 48, 519, 697};
        const auto reading = paginate(flow, frame);
        EXPECT_TRUE(flow.atEnd());
        EXPECT_GE(reading.pages, 1);
        if (!c.expected.empty()) {
            EXPECT_EQ(allText(reading), c.expected);
        }
        for (const auto& word : reading.words) {
            EXPECT_GE(word.xMin, frame.x - 0.5);
            EXPECT_LE(word.xMax, frame.x + frame.width + 0.5);
        }
    }
}

// Far longer than one layout can take: the paragraph continues in pieces, and
// every character still arrives, in order.
TEST(PDFCanvas, AVeryLongUnbrokenParagraphFlowsOverManyPages) {
    std::string text;
    for (int i = 0; i < 400000; ++i)
        text += static_cast<char>('a' + i % 26);
    PDFTextFlow flow;
    flow.append(text, body(9));
    const auto reading = paginate(flow, {38, 48, 519, 697}, 1000);
    EXPECT_TRUE(flow.atEnd());
    EXPECT_GT(reading.pages, 50);
    EXPECT_EQ(allText(reading), text);
}

// An unbroken run wraps between characters and fills its lines.
TEST(PDFCanvas, UnbrokenRunsFillTheirLines) {
    for (const std::size_t length : {300u, 8000u, 100000u}) {
        SCOPED_TRACE(length);
        PDFTextFlow flow;
        flow.append("https://example.com/" + std::string(length, 'x'), body(8));
        const PDFRect frame{38, 48, 519, 697};
        const auto reading = paginate(flow, frame, 1000);
        ASSERT_GT(reading.words.size(), 1u);
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

TEST(PDFCanvas, SingleLinesStartAtTheirOrigin) {
    PDFCanvas canvas(pageWidth, pageHeight);
    canvas.beginPage();
    PDFTextStyle style = body(8);
    canvas.drawLine("12", style, 545, 23);
    canvas.drawLine("not\nwrapped", style, 38, 807);
    const auto reading = readPDF(canvas.finish());
    ASSERT_EQ(reading.words.size(), 2u);
    const auto& number = reading.words[1];
    EXPECT_EQ(number.text, "12");
    EXPECT_NEAR(number.xMin, 545, 0.5);
    EXPECT_LT(number.yMin, pageHeight - 23);
    EXPECT_GT(number.yMax, pageHeight - 23);
    EXPECT_EQ(reading.words[0].text, "not\xEF\xBF\xBDwrapped");
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
