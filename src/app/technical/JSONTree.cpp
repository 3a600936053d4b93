#include "app/technical/JSONTree.h"

#include "app/kit/DisclosureGroup.h"
#include "app/kit/QLTheme.h"
#include "app/kit/ViewKit.h"
#include "app/technical/SelectableText.h"

#include <QLabel>
#include <QVBoxLayout>

namespace quorilanth {
namespace {

// A key or a name is one line in a narrow column; more is never seen.
constexpr qsizetype titleLimit = 300;

QFont code() {
    return QLTheme::font(10, QFont::Normal, QLTheme::Design::monospaced);
}

QLabel* note(const QString& text, const QColor& colour, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QStringLiteral("ql-json-note"));
    label->setTextFormat(Qt::PlainText);
    label->setFont(QLTheme::font(10));
    setTextColour(label, colour);
    return label;
}

SelectableText* scalar(const JSONValue& value, const QColor& colour, QWidget* parent) {
    auto* text = new SelectableText(parent);
    text->setObjectName(QStringLiteral("ql-json-value"));
    text->setFont(code());
    text->setColour(colour);
    if (std::optional<std::string_view> string = value.string())
        text->setText(*string);
    else
        text->setText(std::string_view(value.text()));
    return text;
}

DisclosureGroup* group(const QString& title, const QColor& colour, const JSONValue& value,
                       int depth, QWidget* parent) {
    auto* disclosure = new DisclosureGroup(
        title, [value, depth](QWidget* owner) { return new JSONTree(value, depth, owner); },
        parent);
    disclosure->setObjectName(QStringLiteral("ql-json-group"));
    disclosure->header()->setFont(code());
    disclosure->header()->setColour(colour);
    return disclosure;
}

} // namespace

JSONTree::JSONTree(JSONValue value, int depth, QWidget* parent)
    : QWidget(parent), value_(std::move(value)), depth_(depth) {
    setObjectName(QStringLiteral("ql-json-tree"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (depth_ >= depthLimit) {
        layout->addWidget(
            note(QStringLiteral("Depth limit \u00B7 open RAW to inspect"), QLTheme::muted(), this));
    } else if (const JSONValue::Object* members = value_.object()) {
        buildObject(*members);
    } else if (value_.isArray()) {
        buildArray(value_.array());
    } else {
        layout->addWidget(scalar(value_, QLTheme::foreground(), this));
    }
}

void JSONTree::buildObject(const JSONValue::Object& members) {
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    layout->setSpacing(7);
    // The map keeps its keys in byte order of their UTF-8, which is the order
    // of their code points: every upper-case ASCII letter before any lower-case one.
    const QColor valueColour = QLTheme::tint(Qt::white, 0.85);
    std::size_t shown = 0;
    for (const auto& [key, member] : members) {
        if (shown++ == memberLimit) {
            layout->addWidget(
                note(QStringLiteral("More fields in RAW\u2026"), QLTheme::muted(), this));
            break;
        }
        const QString title = boundedText(key, titleLimit);
        if (member.isObject() || member.isArray()) {
            DisclosureGroup* disclosure = group(title, QLTheme::accent(), member, depth_ + 1, this);
            disclosure->setContentIndent(6);
            layout->addWidget(disclosure);
            continue;
        }
        auto* item = new QWidget(this);
        auto* stack = new QVBoxLayout(item);
        stack->setContentsMargins(0, 0, 0, 0);
        stack->setSpacing(3);
        auto* name = new ElidedLabel(item);
        name->setObjectName(QStringLiteral("ql-json-key"));
        name->setFont(code());
        name->setColour(QLTheme::muted());
        name->setText(title);
        stack->addWidget(name);
        stack->addWidget(scalar(member, valueColour, item));
        layout->addWidget(item);
    }
}

void JSONTree::buildArray(const JSONValue::Array& elements) {
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    layout->setSpacing(8);
    const std::size_t shown = std::min(elements.size(), elementLimit);
    for (std::size_t position = 0; position < shown; ++position)
        layout->addWidget(group(elementTitle(elements[position], position), QLTheme::foreground(),
                                elements[position], depth_ + 1, this));
    if (elements.size() > elementLimit)
        layout->addWidget(note(QString::number(elements.size() - elementLimit) +
                                   QStringLiteral(" more items in RAW\u2026"),
                               QLTheme::foreground(), this));
}

QString JSONTree::elementTitle(const JSONValue& element, std::size_t position) {
    std::string_view name = "item";
    if (std::optional<std::string_view> member = element["name"].string())
        name = *member;
    else if (std::optional<std::string_view> text = element.string())
        name = *text;
    return QLatin1Char('[') + QString::number(position) + QStringLiteral("] ") +
           boundedText(name, titleLimit);
}

} // namespace quorilanth
