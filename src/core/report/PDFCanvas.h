#pragma once

#include <cstddef>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorilanth {

// Drawing primitives for paginated PDF output: cairo's PDF surface with pango
// text at 72 units per inch, so one unit is one PDF point. Every coordinate
// here is in PDF points with the origin at the bottom left of the page.

struct PDFColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;
};

struct PDFRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

enum class PDFFont { system, monospaced };

struct PDFTextStyle {
    PDFFont font = PDFFont::system;
    double size = 10;
    bool semibold = false;
    PDFColor color;
    // Added below the last line of a paragraph, on top of the line spacing.
    double paragraphSpacing = 0;
    // Added below every line.
    double lineSpacing = 3;
};

// One continuous run of styled paragraphs, laid out frame by frame. Every
// line break in an appended piece starts a new paragraph, and every piece is a
// paragraph of its own; the flow remembers how far it has been drawn.
class PDFTextFlow {
public:
    void append(std::string_view piece, const PDFTextStyle& style);

    bool empty() const { return paragraphs_.empty(); }
    std::size_t paragraphCount() const { return paragraphs_.size(); }
    // True once every line of every paragraph has been drawn.
    bool atEnd() const { return paragraph_ >= paragraphs_.size(); }

private:
    friend class PDFCanvas;
    struct Paragraph {
        std::string text; // valid UTF-8 without line breaks or control characters
        std::size_t style = 0;
        bool continued = false; // a long paragraph goes on in the next one
        bool charWrap = false;  // wraps between any two characters
    };
    std::vector<PDFTextStyle> styles_;
    std::vector<Paragraph> paragraphs_;
    // Where the next line starts: the paragraph and a byte offset in its text.
    std::size_t paragraph_ = 0;
    std::size_t offset_ = 0;
};

// One PDF document being drawn in memory. Construction and finish() throw
// QuorilanthError with the two fixed output texts; nothing partial escapes.
class PDFCanvas {
public:
    static constexpr std::string_view outputError = "Cannot create PDF output.";
    static constexpr std::string_view contextError = "Cannot create PDF context.";

    // outputLimit bounds the bytes the document may grow to; beyond it the
    // output counts as failed.
    PDFCanvas(double pageWidth, double pageHeight,
              std::size_t outputLimit = std::numeric_limits<std::size_t>::max());
    ~PDFCanvas();
    PDFCanvas(const PDFCanvas&) = delete;
    PDFCanvas& operator=(const PDFCanvas&) = delete;

    void beginPage();
    void endPage();
    int pageCount() const;

    void fillRect(const PDFRect& rect, const PDFColor& color);
    // One line of text, never wrapped, whose baseline starts at (x, baseline).
    void drawLine(std::string_view text, const PDFTextStyle& style, double x, double baseline);
    // Draws the lines of the flow, from where it stands, that fit whole into
    // the frame, top to bottom, and advances the flow past them. Returns how
    // many lines were drawn: 0 when not even the next one fits.
    std::size_t drawFrame(PDFTextFlow& flow, const PDFRect& frame);

    // Ends the document and returns its bytes.
    std::string finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace quorilanth
