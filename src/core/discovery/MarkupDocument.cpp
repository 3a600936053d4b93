#include "core/discovery/MarkupDocument.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xpath.h>

#include <climits>
#include <mutex>
#include <unordered_set>

namespace quorilanth {
namespace {

// Everything a site sends is hostile, and no document we read ever needs
// anything outside itself: refuse every external entity and DTD, whatever asks.
xmlParserInputPtr refuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) { return nullptr; }

void initialiseLibxml() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    xmlSetExternalEntityLoader(refuseExternalEntity);
  });
}

const xmlNode* asNode(const void* p) { return static_cast<const xmlNode*>(p); }

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
    if (cur->type == XML_TEXT_NODE || cur->type == XML_CDATA_SECTION_NODE) out += toString(cur->content);
  }
}

std::string describe(const xmlError* error) {
  std::string text = error != nullptr ? toString(reinterpret_cast<const xmlChar*>(error->message)) : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  if (text.empty()) return "the document could not be read";
  if (error->line > 0) text += " (line " + std::to_string(error->line) + ")";
  return text;
}

struct XPathObjectFree {
  void operator()(xmlXPathObject* o) const { xmlXPathFreeObject(o); }
};
struct XPathContextFree {
  void operator()(xmlXPathContext* c) const { xmlXPathFreeContext(c); }
};

}  // namespace

bool MarkupNode::isElement() const { return asNode(node_)->type == XML_ELEMENT_NODE; }

std::string MarkupNode::name() const { return toString(asNode(node_)->name); }

std::string MarkupNode::stringValue() const {
  std::string out;
  appendText(asNode(node_), out);
  return out;
}

std::vector<std::pair<std::string, std::string>> MarkupNode::attributes() const {
  std::vector<std::pair<std::string, std::string>> result;
  const xmlNode* node = asNode(node_);
  if (node->type != XML_ELEMENT_NODE) return result;
  for (const xmlAttr* attr = node->properties; attr != nullptr; attr = attr->next) {
    std::string value;
    for (const xmlNode* child = attr->children; child != nullptr; child = child->next) appendText(child, value);
    result.emplace_back(toString(attr->name), std::move(value));
  }
  return result;
}

void MarkupDocument::Deleter::operator()(void* doc) const { xmlFreeDoc(static_cast<xmlDocPtr>(doc)); }

MarkupDocument::~MarkupDocument() = default;

MarkupParseResult MarkupDocument::parse(std::string_view text, Syntax syntax) {
  initialiseLibxml();
  MarkupParseResult result;
  if (text.size() > static_cast<size_t>(INT_MAX)) {
    result.error = "the document is too large";
    return result;
  }
  const int size = static_cast<int>(text.size());
  xmlDocPtr doc = nullptr;
  if (syntax == Syntax::xml) {
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (ctxt == nullptr) {
      result.error = "out of memory";
      return result;
    }
    // No NOENT, DTDLOAD, DTDATTR, XINCLUDE or HUGE: entities stay references,
    // nothing outside the text is read, and libxml2 keeps its amplification limits.
    doc = xmlCtxtReadMemory(ctxt, text.data(), size, nullptr, "UTF-8",
                            XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_IGNORE_ENC);
    if (doc == nullptr) result.error = describe(xmlCtxtGetLastError(ctxt));
    xmlFreeParserCtxt(ctxt);
  } else {
    htmlParserCtxtPtr ctxt = htmlNewParserCtxt();
    if (ctxt == nullptr) {
      result.error = "out of memory";
      return result;
    }
    // Naming UTF-8 costs a converter pass, but without it the HTML reader lets a
    // <meta charset> switch the decoding half-way through, IGNORE_ENC or not.
    doc = htmlCtxtReadMemory(ctxt, text.data(), size, nullptr, "UTF-8",
                             HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                 HTML_PARSE_IGNORE_ENC);
    if (doc == nullptr) result.error = describe(xmlCtxtGetLastError(ctxt));
    htmlFreeParserCtxt(ctxt);
  }
  if (doc != nullptr) result.document = MarkupDocument(doc);
  return result;
}

std::optional<std::vector<MarkupNode>> MarkupDocument::select(const char* xpath) const {
  std::unique_ptr<xmlXPathContext, XPathContextFree> context(xmlXPathNewContext(static_cast<xmlDocPtr>(doc_.get())));
  if (!context) return std::nullopt;
  std::unique_ptr<xmlXPathObject, XPathObjectFree> object(
      xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(xpath), context.get()));
  if (!object || object->type != XPATH_NODESET) return std::nullopt;
  std::vector<MarkupNode> nodes;
  if (object->nodesetval != nullptr) {
    nodes.reserve(static_cast<size_t>(object->nodesetval->nodeNr));
    for (int i = 0; i < object->nodesetval->nodeNr; ++i) nodes.push_back(MarkupNode(object->nodesetval->nodeTab[i]));
  }
  return nodes;
}

std::optional<std::vector<MarkupNode>> MarkupDocument::selectUnion(const std::vector<const char*>& xpaths) const {
  std::unordered_set<const void*> wanted;
  for (const char* xpath : xpaths) {
    auto nodes = select(xpath);
    if (!nodes) return std::nullopt;
    for (const MarkupNode& node : *nodes) wanted.insert(node.node_);
  }
  std::vector<MarkupNode> ordered;
  if (wanted.empty()) return ordered;
  ordered.reserve(wanted.size());
  // One walk over the tree yields document order; attribute and namespace
  // nodes are never among what the parser's callers select.
  const xmlNode* root = reinterpret_cast<const xmlNode*>(doc_.get());
  for (const xmlNode* cur = root->children; cur != nullptr && ordered.size() < wanted.size();
       cur = nextInSubtree(cur, root)) {
    if (wanted.count(cur) != 0) ordered.push_back(MarkupNode(cur));
  }
  return ordered;
}

}  // namespace quorilanth
