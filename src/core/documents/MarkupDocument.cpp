#include "core/documents/MarkupDocument.h"

#include <algorithm>
#include <climits>
#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>
#include <mutex>

namespace quorilanth {
namespace {

// Everything a site sends is hostile, and no document we read ever needs
// anything outside itself: refuse every external entity and DTD, whatever asks.
xmlParserInputPtr refuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) {
    return nullptr;
}

void initialiseLibxml() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(refuseExternalEntity);
    });
}

const xmlNode* asNode(const void* p) {
    return static_cast<const xmlNode*>(p);
}

std::string toString(const xmlChar* text) {
    return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text));
}

// The next node after `cur` in document order within the subtree of `root`,
// without recursion: documents can nest hundreds of thousands of levels deep.
const xmlNode* nextInSubtree(const xmlNode* cur, const xmlNode* root) {
    // Only elements are entered: entity references would expand what the text
    // says, and a DTD's declarations are not part of the content.
    if (cur->type == XML_ELEMENT_NODE && cur->children != nullptr) return cur->children;
    while (cur != nullptr && cur != root) {
        if (cur->next != nullptr) return cur->next;
        cur = cur->parent;
    }
    return nullptr;
}

void appendText(const xmlNode* root, std::string& out) {
    if (root->type == XML_TEXT_NODE || root->type == XML_CDATA_SECTION_NODE) {
        out += toString(root->content);
        return;
    }
    if (root->type == XML_ENTITY_REF_NODE) return;
    for (const xmlNode* cur = root->children; cur != nullptr; cur = nextInSubtree(cur, root)) {
        if (cur->type == XML_TEXT_NODE || cur->type == XML_CDATA_SECTION_NODE)
            out += toString(cur->content);
    }
}

std::string describe(const xmlError* error) {
    std::string text =
        error != nullptr ? toString(reinterpret_cast<const xmlChar*>(error->message)) : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    if (text.empty()) return "the document could not be read";
    if (error->line > 0) text += " (line " + std::to_string(error->line) + ")";
    return text;
}

} // namespace

std::string MarkupNode::stringValue() const {
    std::string out;
    appendText(asNode(node_), out);
    return out;
}

void MarkupDocument::Deleter::operator()(void* doc) const {
    xmlFreeDoc(static_cast<xmlDocPtr>(doc));
}

MarkupDocument::~MarkupDocument() = default;

MarkupParseResult MarkupDocument::parseXML(std::string_view text) {
    initialiseLibxml();
    MarkupParseResult result;
    if (text.size() > static_cast<size_t>(INT_MAX)) {
        result.error = "the document is too large";
        return result;
    }
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (ctxt == nullptr) {
        result.error = "out of memory";
        return result;
    }
    // No NOENT, DTDLOAD, DTDATTR, XINCLUDE or HUGE: entities stay references,
    // nothing outside the text is read, and libxml2 keeps its amplification limits.
    xmlDocPtr doc = xmlCtxtReadMemory(
        ctxt, text.data(), static_cast<int>(text.size()), nullptr, "UTF-8",
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_IGNORE_ENC);
    if (doc == nullptr) {
        result.error = describe(xmlCtxtGetLastError(ctxt));
    } else {
        result.document = MarkupDocument(doc);
    }
    xmlFreeParserCtxt(ctxt);
    return result;
}

namespace {

struct HTMLStream {
    HTMLHandler& handler;
    HTMLHandler::Attributes attributes;
    std::optional<std::string> failure;
};

HTMLStream& streamOf(void* ctx) {
    return *static_cast<HTMLStream*>(static_cast<htmlParserCtxtPtr>(ctx)->_private);
}

std::string_view view(const xmlChar* text) {
    return text == nullptr ? std::string_view()
                           : std::string_view(reinterpret_cast<const char*>(text));
}

// The handler is C++ and may throw; nothing may unwind through libxml2's C frames.
template <typename Call> void guarded(void* ctx, Call call) {
    HTMLStream& stream = streamOf(ctx);
    if (stream.failure) return;
    try {
        call(stream);
    } catch (const std::exception& e) {
        stream.failure = e.what();
        xmlStopParser(static_cast<htmlParserCtxtPtr>(ctx));
    } catch (...) {
        stream.failure = "the page could not be read";
        xmlStopParser(static_cast<htmlParserCtxtPtr>(ctx));
    }
}

void onStartElement(void* ctx, const xmlChar* name, const xmlChar** atts) {
    guarded(ctx, [&](HTMLStream& s) {
        s.attributes.clear();
        for (const xmlChar** a = atts; a != nullptr && a[0] != nullptr; a += 2)
            s.attributes.emplace_back(view(a[0]), view(a[1]));
        s.handler.startElement(view(name), s.attributes);
    });
}

void onEndElement(void* ctx, const xmlChar* name) {
    guarded(ctx, [&](HTMLStream& s) { s.handler.endElement(view(name)); });
}

void onText(void* ctx, const xmlChar* text, int length) {
    guarded(ctx, [&](HTMLStream& s) {
        s.handler.text(std::string_view(reinterpret_cast<const char*>(text),
                                        static_cast<size_t>(std::max(length, 0))));
    });
}

} // namespace

std::optional<std::string> readHTML(std::string_view text, HTMLHandler& handler) {
    initialiseLibxml();
    if (text.size() > static_cast<size_t>(INT_MAX)) return std::string("the document is too large");
    htmlParserCtxtPtr ctxt = htmlCreateMemoryParserCtxt(text.data(), static_cast<int>(text.size()));
    if (ctxt == nullptr || ctxt->sax == nullptr || ctxt->input == nullptr) {
        if (ctxt != nullptr) htmlFreeParserCtxt(ctxt);
        return std::string("out of memory");
    }
    HTMLStream stream{handler, {}, std::nullopt};
    // Only elements and text are wanted: no tree, no DTD, no comments. Blank runs
    // the reader deems insignificant go to ignorableWhitespace, left unset.
    htmlSAXHandler sax{};
    sax.startElement = onStartElement;
    sax.endElement = onEndElement;
    sax.characters = onText;
    sax.cdataBlock = onText;
    *ctxt->sax = sax;
    ctxt->_private = &stream;
    htmlCtxtUseOptions(ctxt, HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR |
                                 HTML_PARSE_NOWARNING | HTML_PARSE_IGNORE_ENC);
    // The text is UTF-8 already. Left alone, the HTML reader would take the
    // first non-ASCII byte as a cue to guess (Latin-1 by default) and a <meta
    // charset> as one to switch; IGNORE_ENC stops the second, this the first.
    xmlSwitchEncoding(ctxt, XML_CHAR_ENCODING_UTF8);
    htmlParseDocument(ctxt);
    ctxt->_private = nullptr;
    htmlFreeParserCtxt(ctxt);
    return stream.failure;
}

std::vector<MarkupNode>
MarkupDocument::elementsNamed(std::initializer_list<std::string_view> names) const {
    std::vector<MarkupNode> found;
    const xmlNode* root = reinterpret_cast<const xmlNode*>(doc_.get());
    for (const xmlNode* cur = root->children; cur != nullptr; cur = nextInSubtree(cur, root)) {
        if (cur->type != XML_ELEMENT_NODE || cur->name == nullptr) continue;
        const std::string_view name(reinterpret_cast<const char*>(cur->name));
        if (std::find(names.begin(), names.end(), name) != names.end())
            found.push_back(MarkupNode(cur));
    }
    return found;
}

} // namespace quorilanth
