#pragma once

#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorilanth {

// A read-only view of one node of a MarkupDocument. It borrows the document's
// storage, so it must not outlive the document it came from.
class MarkupNode {
public:
    // The concatenated text of the node and its descendants. Entity references are
    // not followed, so a document cannot amplify itself through them here.
    std::string stringValue() const;

private:
    friend class MarkupDocument;
    explicit MarkupNode(const void* node) : node_(node) {}
    const void* node_;
};

// A parsed XML document. The text handed in is already decoded UTF-8: a
// declared encoding inside the document is ignored, never used to re-decode it.
// The network is never touched and no external entity or DTD is ever loaded;
// entities are not substituted.
struct MarkupParseResult;

class MarkupDocument {
public:
    // A document when the text is well-formed XML, else the reader's own
    // description of the failure.
    static MarkupParseResult parseXML(std::string_view text);

    // The elements whose local name is one of `names` (exact, case-sensitive), in
    // document order: what "//*[local-name()='name']" selects, found in one walk
    // (libxml2's XPath engine is several times slower on large documents).
    std::vector<MarkupNode> elementsNamed(std::initializer_list<std::string_view> names) const;

    MarkupDocument(MarkupDocument&&) noexcept = default;
    MarkupDocument& operator=(MarkupDocument&&) noexcept = default;
    ~MarkupDocument();

private:
    struct Deleter {
        void operator()(void* doc) const;
    };
    explicit MarkupDocument(void* doc) : doc_(doc) {}
    std::unique_ptr<void, Deleter> doc_;
};

struct MarkupParseResult {
    std::optional<MarkupDocument> document;
    std::string error;
};

// Receives what libxml2's tidying HTML reader makes of a page, in document
// order, without a tree being built: a page of tens of thousands of elements
// costs no allocation per node. Implied elements (html, head, body, p) and the
// closing of unclosed ones arrive like written ones; attribute names come
// lower-cased, a repeated attribute is dropped by the reader, and white space
// the reader deems insignificant is not reported.
class HTMLHandler {
public:
    using Attributes = std::vector<std::pair<std::string_view, std::string_view>>;
    virtual ~HTMLHandler() = default;
    virtual void startElement(std::string_view name, const Attributes& attributes) = 0;
    virtual void endElement(std::string_view name) = 0;
    virtual void text(std::string_view text) = 0;
};

// Streams an already decoded UTF-8 page through the handler, with the same
// guarantees as MarkupDocument (no network, no external entity, no re-decoding).
// Returns the failure description, or nothing when the page was read; an
// exception thrown by the handler stops the reading and becomes the failure.
std::optional<std::string> readHTML(std::string_view text, HTMLHandler& handler);

} // namespace quorilanth
