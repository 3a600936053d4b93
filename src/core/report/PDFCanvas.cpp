#include "core/report/PDFCanvas.h"

#include "core/base/QuorilanthError.h"
#include "core/base/UTF8.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <new>
#include <pango/pangocairo.h>
#include <utility>

namespace quorilanth {
namespace {

constexpr char32_t replacementCharacter = 0xFFFD;

// Decodes one code point at `i` and advances past it. Bytes that do not start
// a well-formed sequence yield U+FFFD for one byte, so pango is only ever
// handed valid text.
char32_t nextCodePoint(std::string_view text, std::size_t& i) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data()) + i;
    const auto* end = reinterpret_cast<const unsigned char*>(text.data()) + text.size();
    const std::size_t length = utf8::sequenceLength(p, end);
    if (length == 0) {
        ++i;
        return replacementCharacter;
    }
    char32_t value = length == 1 ? p[0] : p[0] & (0xFFu >> (length + 1));
    for (std::size_t k = 1; k < length; ++k)
        value = (value << 6) | (p[k] & 0x3Fu);
    i += length;
    return value;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool isLineBreak(char32_t c) {
    return c == U'\n' || c == U'\r' || c == 0x2029;
}

// Control characters have no glyph and some (NUL above all) would cut the text
// short inside pango; they are shown as U+FFFD so that their presence stays
// visible. Tabs are kept: pango lays them out at its tab stops.
bool isControl(char32_t c) {
    return (c < 0x20 && c != U'\t') || (c >= 0x7F && c <= 0x9F);
}

// Pango lays out nothing at all for a paragraph of a few hundred kilobytes, and
// a layout's memory grows with its text; longer paragraphs are continued in
// further ones of at most about this many bytes, without spacing between them.
constexpr std::size_t paragraphChunkBytes = 64 * 1024;
constexpr char32_t zeroWidthJoiner = 0x200D;

// Pango's word wrapping slows down with the square of a run's length when the
// run offers no break opportunity (an 8,000-character URL, a hostile
// description). A paragraph holding a run longer than this wraps between any
// two characters instead, which is fast and fills every line.
constexpr std::size_t unbrokenRunLimit = 256;

bool hasLongUnbrokenRun(std::string_view text) {
    std::size_t run = 0;
    for (const char c : text) {
        if (c == ' ' || c == '\t') {
            run = 0;
        } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80 && ++run > unbrokenRunLimit) {
            return true; // counted in code points: continuation bytes do not count
        }
    }
    return false;
}

struct Chunk {
    std::string text;
    bool continued = false; // the next chunk continues this paragraph
};

// Splits a piece into paragraphs the way the text engine treats line breaks:
// LF, CR, CR LF and U+2029 each end a paragraph.
std::vector<Chunk> paragraphsOf(std::string_view piece) {
    std::vector<Chunk> paragraphs(1);
    char32_t previous = 0;
    std::size_t i = 0;
    while (i < piece.size()) {
        char32_t c = nextCodePoint(piece, i);
        if (isLineBreak(c)) {
            if (c == U'\r' && i < piece.size() && piece[i] == '\n') ++i;
            paragraphs.emplace_back();
            continue;
        }
        if (isControl(c)) c = replacementCharacter;
        // A long paragraph is cut where no cluster is split: never before a
        // combining mark or around a joiner.
        if (paragraphs.back().text.size() >= paragraphChunkBytes && !g_unichar_ismark(c) &&
            c != zeroWidthJoiner && previous != zeroWidthJoiner) {
            paragraphs.back().continued = true;
            paragraphs.emplace_back();
        }
        appendUtf8(paragraphs.back().text, c);
        previous = c;
    }
    return paragraphs;
}

// A single line keeps everything on one line: breaks and controls alike
// become U+FFFD.
std::string singleLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const char32_t c = nextCodePoint(text, i);
        appendUtf8(out, isControl(c) || isLineBreak(c) ? replacementCharacter : c);
    }
    return out;
}

template <typename T, void (*Free)(T*)> struct Deleter {
    void operator()(T* p) const {
        if (p) Free(p);
    }
};
void unrefObject(void* object) {
    g_object_unref(object);
}
template <typename T> using GObjectPtr = std::unique_ptr<T, Deleter<void, unrefObject>>;
using FontPtr = std::unique_ptr<PangoFontDescription,
                                Deleter<PangoFontDescription, pango_font_description_free>>;

FontPtr fontFor(const PDFTextStyle& style) {
    FontPtr font(pango_font_description_new());
    pango_font_description_set_family(
        font.get(), style.font == PDFFont::monospaced ? "DejaVu Sans Mono" : "DejaVu Sans");
    pango_font_description_set_weight(font.get(),
                                      style.semibold ? PANGO_WEIGHT_SEMIBOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_absolute_size(font.get(), style.size * PANGO_SCALE);
    return font;
}

double fromPango(int units) {
    return static_cast<double>(units) / PANGO_SCALE;
}

// The metrics of one laid-out line, in points relative to its paragraph.
struct LineBox {
    PangoLayoutLine* line = nullptr; // owned by the paragraph's layout
    double x = 0;
    double height = 0;
    double baseline = 0;   // distance from the line's top to its baseline
    std::size_t start = 0; // bytes of the paragraph's text before the line
    std::size_t end = 0;
};

std::vector<LineBox> lineBoxes(PangoLayout* layout) {
    std::vector<LineBox> boxes;
    PangoLayoutIter* iter = pango_layout_get_iter(layout);
    do {
        PangoRectangle logical;
        pango_layout_iter_get_line_extents(iter, nullptr, &logical);
        PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
        const auto start = static_cast<std::size_t>(pango_layout_line_get_start_index(line));
        const auto length = static_cast<std::size_t>(pango_layout_line_get_length(line));
        boxes.push_back({line, fromPango(logical.x), fromPango(logical.height),
                         fromPango(pango_layout_iter_get_baseline(iter) - logical.y), start,
                         start + length});
    } while (pango_layout_iter_next_line(iter));
    pango_layout_iter_free(iter);
    return boxes;
}

} // namespace

void PDFTextFlow::append(std::string_view piece, const PDFTextStyle& style) {
    styles_.push_back(style);
    for (Chunk& chunk : paragraphsOf(piece)) {
        const bool charWrap = hasLongUnbrokenRun(chunk.text);
        paragraphs_.push_back(
            {std::move(chunk.text), styles_.size() - 1, chunk.continued, charWrap});
    }
}

struct PDFCanvas::State {
    double pageWidth = 0;
    double pageHeight = 0;
    std::size_t outputLimit = 0;
    std::string output;
    bool writeFailed = false;
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    GObjectPtr<PangoFontMap> fontMap;
    GObjectPtr<PangoContext> context;
    int pages = 0;
    bool pageOpen = false;

    // The laid-out paragraph the flow currently stands in.
    const PDFTextFlow* flow = nullptr;
    std::size_t flowParagraph = 0;
    double flowWidth = 0;
    GObjectPtr<PangoLayout> flowLayout;
    std::vector<LineBox> flowLines;
    std::size_t flowLine = 0; // the next line to draw

    ~State() {
        flowLayout.reset();
        context.reset();
        fontMap.reset();
        if (cr) cairo_destroy(cr);
        if (surface) cairo_surface_destroy(surface);
    }

    static cairo_status_t write(void* closure, const unsigned char* data, unsigned int length) {
        auto* self = static_cast<State*>(closure);
        if (self->writeFailed || length > self->outputLimit - self->output.size()) {
            self->writeFailed = true;
            return CAIRO_STATUS_WRITE_ERROR;
        }
        try {
            self->output.append(reinterpret_cast<const char*>(data), length);
        } catch (const std::bad_alloc&) {
            self->writeFailed = true;
            return CAIRO_STATUS_WRITE_ERROR;
        }
        return CAIRO_STATUS_SUCCESS;
    }

    double flipY(double y) const { return pageHeight - y; }

    GObjectPtr<PangoLayout> layout(const std::string& text, const PDFTextStyle& style) const {
        GObjectPtr<PangoLayout> result(pango_layout_new(context.get()));
        PangoLayout* l = result.get();
        pango_layout_set_font_description(l, fontFor(style).get());
        pango_layout_set_text(l, text.data(), static_cast<int>(text.size()));
        // Lines broken inside a word (long URLs above all) get no hyphen that
        // the text does not hold.
        PangoAttrList* attributes = pango_attr_list_new();
        pango_attr_list_insert(attributes, pango_attr_insert_hyphens_new(FALSE));
        pango_layout_set_attributes(l, attributes);
        pango_attr_list_unref(attributes);
        return result;
    }

    void setColor(const PDFColor& color) {
        cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
    }
};

PDFCanvas::PDFCanvas(double pageWidth, double pageHeight, std::size_t outputLimit)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.pageWidth = pageWidth;
    s.pageHeight = pageHeight;
    s.outputLimit = outputLimit;
    s.surface = cairo_pdf_surface_create_for_stream(&State::write, &s, pageWidth, pageHeight);
    if (cairo_surface_status(s.surface) != CAIRO_STATUS_SUCCESS)
        throw QuorilanthError(std::string(outputError));
    // No document information beyond what the format requires, so the same
    // report always gives the same bytes.
    cairo_pdf_surface_set_metadata(s.surface, CAIRO_PDF_METADATA_CREATE_DATE, "");
    s.cr = cairo_create(s.surface);
    if (cairo_status(s.cr) != CAIRO_STATUS_SUCCESS)
        throw QuorilanthError(std::string(contextError));
    // A font map of our own: nothing is shared with other threads, and its
    // resolution matches the PDF unit.
    s.fontMap.reset(pango_cairo_font_map_new());
    pango_cairo_font_map_set_resolution(reinterpret_cast<PangoCairoFontMap*>(s.fontMap.get()), 72);
    s.context.reset(pango_font_map_create_context(s.fontMap.get()));
    if (!s.context) throw QuorilanthError(std::string(contextError));
    pango_cairo_update_context(s.cr, s.context.get());
}

PDFCanvas::~PDFCanvas() = default;

void PDFCanvas::beginPage() {
    if (state_->pageOpen) endPage();
    state_->pageOpen = true;
    ++state_->pages;
}

void PDFCanvas::endPage() {
    if (!state_->pageOpen) return;
    cairo_show_page(state_->cr);
    state_->pageOpen = false;
}

int PDFCanvas::pageCount() const {
    return state_->pages;
}

void PDFCanvas::fillRect(const PDFRect& rect, const PDFColor& color) {
    State& s = *state_;
    s.setColor(color);
    cairo_rectangle(s.cr, rect.x, s.flipY(rect.y + rect.height), rect.width, rect.height);
    cairo_fill(s.cr);
}

void PDFCanvas::drawLine(std::string_view text, const PDFTextStyle& style, double x,
                         double baseline) {
    State& s = *state_;
    auto owner = s.layout(singleLine(text), style);
    PangoLayout* layout = owner.get();
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    const LineBox box = lineBoxes(layout).front();
    s.setColor(style.color);
    cairo_move_to(s.cr, x + box.x, s.flipY(baseline));
    pango_cairo_show_layout_line(s.cr, box.line);
}

std::size_t PDFCanvas::drawFrame(PDFTextFlow& flow, const PDFRect& frame) {
    State& s = *state_;
    // A little slack so that a line ending exactly on the frame's edge is not
    // lost to rounding.
    constexpr double slack = 1e-6;
    const double bottom = s.flipY(frame.y);
    double y = s.flipY(frame.y + frame.height);
    std::size_t drawn = 0;
    while (!flow.atEnd()) {
        const PDFTextFlow::Paragraph& paragraph = flow.paragraphs_[flow.paragraph_];
        const PDFTextStyle& style = flow.styles_[paragraph.style];
        // The layout of the current paragraph is kept while its lines go on
        // in the next frame; a paragraph whose drawing starts, or a frame of
        // another width, lays it out afresh from where the flow stands.
        const bool cached = flow.offset_ != 0 && s.flow == &flow &&
                            s.flowParagraph == flow.paragraph_ && s.flowWidth == frame.width &&
                            s.flowLine < s.flowLines.size() &&
                            s.flowLines[s.flowLine].start == flow.offset_;
        if (!cached) {
            // Only the text not drawn yet: at another width the earlier lines
            // would break elsewhere, and starting from a line of the new layout
            // would draw some words twice.
            const std::size_t base = flow.offset_;
            s.flowLayout = s.layout(paragraph.text.substr(base), style);
            PangoLayout* layout = s.flowLayout.get();
            pango_layout_set_width(layout, static_cast<int>(frame.width * PANGO_SCALE));
            // A word longer than the line still wraps, between characters.
            pango_layout_set_wrap(layout,
                                  paragraph.charWrap ? PANGO_WRAP_CHAR : PANGO_WRAP_WORD_CHAR);
            s.flowLines = lineBoxes(layout);
            for (LineBox& line : s.flowLines) {
                line.start += base;
                line.end += base;
            }
            s.flow = &flow;
            s.flowParagraph = flow.paragraph_;
            s.flowWidth = frame.width;
            s.flowLine = 0;
        }
        const LineBox& box = s.flowLines[s.flowLine];
        if (y + box.height > bottom + slack) break;
        s.setColor(style.color);
        cairo_move_to(s.cr, frame.x + box.x, y + box.baseline);
        pango_cairo_show_layout_line(s.cr, box.line);
        y += box.height + style.lineSpacing;
        ++drawn;
        if (++s.flowLine < s.flowLines.size()) {
            flow.offset_ = box.end;
        } else {
            if (!paragraph.continued) y += style.paragraphSpacing;
            ++flow.paragraph_;
            flow.offset_ = 0;
        }
    }
    return drawn;
}

std::string PDFCanvas::finish() {
    State& s = *state_;
    endPage();
    cairo_destroy(s.cr);
    s.cr = nullptr;
    cairo_surface_finish(s.surface);
    const bool failed = s.writeFailed || cairo_surface_status(s.surface) != CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s.surface);
    s.surface = nullptr;
    if (failed) throw QuorilanthError(std::string(outputError));
    return std::move(s.output);
}

} // namespace quorilanth
