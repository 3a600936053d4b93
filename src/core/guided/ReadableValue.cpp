#include "core/guided/ReadableValue.h"

#include "core/base/UnicodeText.h"
#include "core/base/Url.h"
#include "core/guided/GuidedText.h"

#include <algorithm>
#include <array>

namespace quorilanth {

namespace {

using guidedText::capped;
using guidedText::Pair;

constexpr Pair kMoreDetails{"Altri dettagli sono disponibili nella risposta originale.",
                            "More details are available in the original response."};

constexpr std::array<std::string_view, 4> kHiddenKeys{"_meta", "$schema", "inputSchema",
                                                      "outputSchema"};
constexpr std::array<std::string_view, 4> kPageKeys{"official_page_url", "canonical_url", "website",
                                                    "url"};
constexpr std::array<std::string_view, 13> kPriority{
    "results", "items", "apps",     "articles", "data",       "category",    "platform",
    "is_free", "price", "currency", "version",  "minimum_os", "capabilities"};
constexpr std::array<std::string_view, 5> kOpenKeys{"results", "items", "apps", "articles", "data"};

template <std::size_t N>
bool listed(const std::array<std::string_view, N>& list, std::string_view key) {
    return std::find(list.begin(), list.end(), key) != list.end();
}

std::size_t priority(std::string_view key) {
    const auto found = std::find(kPriority.begin(), kPriority.end(), key);
    return found == kPriority.end() ? 100 : static_cast<std::size_t>(found - kPriority.begin());
}

using Member = JSONValue::Object::value_type;

class Builder {
public:
    explicit Builder(Language language) : language_(language) {}

    ReadableNode build(const JSONValue& value, std::size_t depth, ReadableNode::Slot slot,
                       std::string id) {
        ReadableNode node;
        node.slot = slot;
        node.depth = depth;
        node.id = std::move(id);
        if (remaining_ > 0) --remaining_;
        if (depth > ReadableValue::kMaxDepth) {
            node.kind = ReadableNode::Kind::omitted;
            node.text = kMoreDetails.in(language_);
        } else if (value.isArray()) {
            list(value.array(), node);
        } else if (value.isObject()) {
            object(value, node);
        } else if (const std::optional<std::string_view> string = value.string()) {
            text(*string, node);
        } else {
            text(ReadableValue::display(value, language_), node);
        }
        return node;
    }

private:
    void text(std::string_view shown, ReadableNode& node) const {
        node.kind = ReadableNode::Kind::text;
        node.text = capped(shown, ReadableValue::kMaxTextCharacters);
        if (node.text.size() != shown.size()) node.note = kMoreDetails.in(language_);
    }

    // Only what the narrow column shows is humanised: a key of a million
    // short words would take most of a second, and no key longer than the
    // column is in the table of labels.
    std::string label(std::string_view key) const {
        const std::string_view shown =
            guidedText::head(key, ReadableValue::kMaxLabelCharacters + 1);
        return capped(GuidedPresentation::label(shown, language_),
                      ReadableValue::kMaxLabelCharacters);
    }

    // Whether the tree has room for another child; when it has not, the
    // parent ends with the sentence that sends the reader to the answer.
    bool room(ReadableNode& parent) {
        if (remaining_ > 0) return true;
        ReadableNode rest;
        rest.kind = ReadableNode::Kind::omitted;
        rest.slot = ReadableNode::Slot::item;
        rest.depth = parent.depth + 1;
        rest.id = parent.id + "/" + std::to_string(parent.children.size());
        rest.text = kMoreDetails.in(language_);
        parent.children.push_back(std::move(rest));
        return false;
    }

    void list(const JSONValue::Array& elements, ReadableNode& node) {
        node.kind = ReadableNode::Kind::list;
        if (elements.empty()) {
            node.text = Pair{"Nessun elemento restituito.", "No items returned."}.in(language_);
            return;
        }
        const std::size_t shown = std::min(elements.size(), ReadableValue::kMaxItems);
        for (std::size_t i = 0; i < shown && room(node); ++i) {
            const JSONValue& element = elements[i];
            node.children.push_back(
                build(element, node.depth + 1,
                      element.isObject() ? ReadableNode::Slot::card : ReadableNode::Slot::item,
                      node.id + "/" + std::to_string(i)));
        }
        if (elements.size() > ReadableValue::kMaxItems) {
            const std::string count = std::to_string(elements.size());
            node.note = language_ == Language::italian
                            ? "Mostrati 20 elementi su " + count +
                                  ". L’elenco completo è nella risposta originale."
                            : "Showing 20 of " + count +
                                  " items. The complete list is in the original response.";
        }
    }

    void object(const JSONValue& value, ReadableNode& node) {
        node.kind = ReadableNode::Kind::object;
        std::string_view titleKey = value["name"].isString()    ? "name"
                                    : value["title"].isString() ? "title"
                                                                : "";
        if (!titleKey.empty())
            node.title = capped(*value[titleKey].string(), ReadableValue::kMaxTextCharacters);
        std::string_view descriptionKey = value["description"].isString() ? "description"
                                          : value["summary"].isString()   ? "summary"
                                                                          : "";
        if (!descriptionKey.empty())
            node.description =
                capped(*value[descriptionKey].string(), ReadableValue::kMaxTextCharacters);
        node.page = GuidedPresentation::pageURL(value);
        if (node.page) {
            const std::optional<Url> url = Url::parse(*node.page);
            node.pageHost = url && !url->host().empty() ? url->host() : *node.page;
            node.pageButton =
                Pair{"Apri la pagina indicata dal sito", "Open the page provided by the site"}.in(
                    language_);
        }

        // Members are handed out by value, so the list keeps where they are.
        std::vector<JSONValue::Object::const_iterator> fields;
        const JSONValue::Object& members = *value.object();
        for (auto member = members.begin(); member != members.end(); ++member) {
            const std::string_view key = member->first;
            if (key == titleKey || key == descriptionKey || listed(kHiddenKeys, key) ||
                (node.page && listed(kPageKeys, key)))
                continue;
            fields.push_back(member);
        }
        // Keys are unique, so this order is total and a partial sort is exact.
        const std::size_t shown = std::min(fields.size(), ReadableValue::kMaxFields);
        std::partial_sort(fields.begin(), fields.begin() + static_cast<std::ptrdiff_t>(shown),
                          fields.end(), [](const auto& a, const auto& b) {
                              const std::size_t pa = priority(a->first);
                              const std::size_t pb = priority(b->first);
                              return pa != pb ? pa < pb : a->first < b->first;
                          });
        for (std::size_t i = 0; i < shown && room(node); ++i)
            node.children.push_back(field(*fields[i], node, i));
        if (fields.size() > ReadableValue::kMaxFields) {
            const std::string count = std::to_string(fields.size());
            node.note =
                language_ == Language::italian
                    ? "Mostrati 30 campi su " + count + ". Gli altri sono nella risposta originale."
                    : "Showing 30 of " + count + " fields. The rest are in the original response.";
        }
    }

    ReadableNode field(const Member& member, const ReadableNode& parent, std::size_t position) {
        const auto& [key, value] = member;
        std::string id = parent.id + "/" + std::to_string(position);
        const std::size_t depth = parent.depth + 1;
        ReadableNode node;
        const bool container = value.isObject() || value.isArray();
        if (container && listed(kOpenKeys, key)) {
            node = build(value, depth, ReadableNode::Slot::open, std::move(id));
        } else if (container) {
            if (remaining_ > 0) --remaining_;
            node.kind = ReadableNode::Kind::folded;
            node.slot = ReadableNode::Slot::folded;
            node.depth = depth;
            node.id = std::move(id);
            node.value = value;
        } else {
            // A scalar's row belongs to the object that draws it, at the
            // object's own level: an object drawn at the deepest level shows
            // its fields too, not the sentence in place of each value.
            node = build(value, parent.depth, ReadableNode::Slot::row, std::move(id));
        }
        node.label = label(key);
        return node;
    }

    Language language_;
    std::size_t remaining_ = ReadableValue::kMaxNodes;
};

} // namespace

namespace ReadableValue {

std::string display(const JSONValue& value, Language language) {
    switch (value.kind()) {
    case JSONValue::Kind::string:
        return std::string(*value.string());
    case JSONValue::Kind::boolean:
        return *value.boolean() ? std::string(Pair{"Sì", "Yes"}.in(language)) : "No";
    case JSONValue::Kind::null:
        return std::string(Pair{"Non specificato", "Not specified"}.in(language));
    default:
        return value.pretty();
    }
}

ReadableNode tree(const JSONValue& value, Language language, std::size_t depth) {
    return Builder(language).build(value, depth, ReadableNode::Slot::top, "");
}

ReadableNode open(const ReadableNode& folded, Language language) {
    if (folded.kind != ReadableNode::Kind::folded) return folded;
    ReadableNode node =
        Builder(language).build(folded.value, folded.depth, ReadableNode::Slot::folded, folded.id);
    node.label = folded.label;
    return node;
}

} // namespace ReadableValue
} // namespace quorilanth
