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
  bool isElement() const;
  // The element's local name as the parser produced it (HTML names come out
  // lower-cased); valid while the document lives.
  std::string_view name() const;
  // The concatenated text of the node and its descendants. Entity references are
  // not followed, so a document cannot amplify itself through them here.
  std::string stringValue() const;
  // Attribute names and values in document order.
  std::vector<std::pair<std::string, std::string>> attributes() const;
  // The value of the first attribute with exactly this name.
  std::optional<std::string> attribute(std::string_view name) const;

 private:
  friend class MarkupDocument;
  explicit MarkupNode(const void* node) : node_(node) {}
  const void* node_;
};

// A parsed XML or HTML document. The text handed in is already decoded UTF-8:
// a declared charset inside the document is ignored, never used to re-decode it.
// The network is never touched and no external entity or DTD is ever loaded;
// entities are not substituted.
struct MarkupParseResult;

class MarkupDocument {
 public:
  enum class Syntax { xml, html };

  // A document when the text could be read, else the reader's own description
  // of the failure.
  static MarkupParseResult parse(std::string_view text, Syntax syntax);

  // The elements whose local name is one of `names` (exact, case-sensitive), in
  // document order: what the expressions "//name | //other" select, found in one
  // walk. libxml2's XPath union compares every pair of selected nodes, which a
  // page made of tens of thousands of links turns into seconds.
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

}  // namespace quorilanth
