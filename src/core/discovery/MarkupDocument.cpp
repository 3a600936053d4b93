#include "core/discovery/MarkupDocument.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <climits>
#include <mutex>

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

bool mayRedeclareEncoding(std::string_view text) {
  if (text.substr(0, 4).find('\0') != std::string_view::npos) return true;
  // Only 'C' and 'c' turn into 'c' by setting the 0x20 bit, and so for each letter.
  static constexpr std::string_view word = "charset";
  return std::search(text.begin(), text.end(), word.begin(), word.end(),
                     [](char a, char b) { return static_cast<char>(a | 0x20) == b; }) != text.end();
}

}  // namespace

bool MarkupNode::isElement() const { return asNode(node_)->type == XML_ELEMENT_NODE; }

std::string_view MarkupNode::name() const {
  const xmlChar* name = asNode(node_)->name;
  return name == nullptr ? std::string_view() : std::string_view(reinterpret_cast<const char*>(name));
}

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

std::optional<std::string> MarkupNode::attribute(std::string_view name) const {
  const xmlNode* node = asNode(node_);
  if (node->type != XML_ELEMENT_NODE) return std::nullopt;
  for (const xmlAttr* attr = node->properties; attr != nullptr; attr = attr->next) {
    if (attr->name != nullptr && name == reinterpret_cast<const char*>(attr->name)) {
      std::string value;
      for (const xmlNode* child = attr->children; child != nullptr; child = child->next) appendText(child, value);
      return value;
    }
  }
  return std::nullopt;
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
    // The HTML reader takes UTF-8 by default, but a <meta charset> would switch
    // the decoding half-way through, IGNORE_ENC or not; naming UTF-8 prevents
    // that at the price of a converter pass over every byte, so it is paid only
    // when the text mentions a charset or starts like a UTF-16/32 signature.
    doc = htmlCtxtReadMemory(ctxt, text.data(), size, nullptr, mayRedeclareEncoding(text) ? "UTF-8" : nullptr,
                             HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                 HTML_PARSE_IGNORE_ENC);
    if (doc == nullptr) result.error = describe(xmlCtxtGetLastError(ctxt));
    htmlFreeParserCtxt(ctxt);
  }
  if (doc != nullptr) result.document = MarkupDocument(doc);
  return result;
}

std::vector<MarkupNode> MarkupDocument::elementsNamed(std::initializer_list<std::string_view> names) const {
  std::vector<MarkupNode> found;
  const xmlNode* root = reinterpret_cast<const xmlNode*>(doc_.get());
  for (const xmlNode* cur = root->children; cur != nullptr; cur = nextInSubtree(cur, root)) {
    if (cur->type != XML_ELEMENT_NODE || cur->name == nullptr) continue;
    const std::string_view name(reinterpret_cast<const char*>(cur->name));
    if (std::find(names.begin(), names.end(), name) != names.end()) found.push_back(MarkupNode(cur));
  }
  return found;
}

}  // namespace quorilanth
