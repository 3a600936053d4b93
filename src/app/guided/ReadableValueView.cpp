#include "app/guided/ReadableValueView.h"

#include "app/guided/GuidedKit.h"
#include "app/kit/DisclosureGroup.h"
#include "app/kit/ExternalURL.h"
#include "app/kit/QLTheme.h"
#include "app/kit/ViewKit.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorilanth {
namespace {

using Kind = ReadableNode::Kind;
using Slot = ReadableNode::Slot;

TextBlock* text(const std::string& shown, int size, const QColor& colour, QWidget* parent,
                bool selectable = false, int lineSpacing = 0,
                QFont::Weight weight = QFont::Normal) {
    auto* block = new TextBlock(fromUtf8(shown), QLTheme::font(size, weight), colour, parent);
    block->setSelectable(selectable);
    block->setLineSpacing(lineSpacing);
    return block;
}

// A text cut for its length, with the sentence under it that says so.
QWidget* withNote(TextBlock* shown, const ReadableNode& node, QWidget* parent) {
    if (!node.note) return shown;
    auto* box = new QWidget(parent);
    auto* layout = column(box, 6);
    shown->setParent(box);
    layout->addWidget(shown);
    layout->addWidget(text(*node.note, 12, QLTheme::muted(), box));
    return box;
}

} // namespace

ReadableValueView::ReadableValueView(std::shared_ptr<const ReadableNode> tree, Language language,
                                     QWidget* parent)
    : QWidget(parent), tree_(std::move(tree)), language_(language) {
    setObjectName(QStringLiteral("ql-readable-value"));
    auto* layout = column(this, 0);
    if (tree_) layout->addWidget(build(*tree_, this));
}

ReadableValueView::ReadableValueView(const JSONValue& value, Language language, QWidget* parent)
    : ReadableValueView(std::make_shared<const ReadableNode>(ReadableValue::tree(value, language)),
                        language, parent) {}

QWidget* ReadableValueView::build(const ReadableNode& node, QWidget* parent) {
    switch (node.kind) {
    case Kind::list:
        return buildList(node, parent);
    case Kind::object:
        return buildObject(node, parent);
    case Kind::folded:
        return buildField(node, parent);
    case Kind::omitted:
        return text(node.text, 12, QLTheme::muted(), parent);
    case Kind::text:
        break;
    }
    return withNote(text(node.text, 14, QLTheme::foreground(), parent, true, 4), node, parent);
}

QWidget* ReadableValueView::buildList(const ReadableNode& node, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* layout = column(box, 14);
    if (node.children.empty() && !node.text.empty())
        layout->addWidget(text(node.text, 13, QLTheme::muted(), box));
    for (const ReadableNode& child : node.children) {
        if (child.slot != Slot::card) {
            layout->addWidget(build(child, box));
            continue;
        }
        // An object among the items of a list sits on a card of its own.
        auto* card = new RoundedGround(QLTheme::background(), 9, box);
        column(card, 0, QMargins(18, 18, 18, 18))->addWidget(build(child, card));
        layout->addWidget(card);
    }
    if (node.note) layout->addWidget(text(*node.note, 12, QLTheme::muted(), box));
    return box;
}

QWidget* ReadableValueView::buildObject(const ReadableNode& node, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* layout = column(box, 12);
    if (node.title)
        layout->addWidget(text(*node.title, node.depth <= 1 ? 21 : 16, QLTheme::foreground(), box,
                               true, 0, QFont::DemiBold));
    if (node.description)
        layout->addWidget(text(*node.description, 14, QLTheme::foreground(), box, true, 4));
    if (node.page) {
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        QPushButton* open = new BorderedButton(fromUtf8(node.pageButton), box);
        open->setObjectName(QStringLiteral("ql-readable-open-page"));
        const QUrl url(fromUtf8(*node.page));
        connect(open, &QPushButton::clicked, this, [url] { openExternalURL(url); });
        row->addWidget(open);
        auto* host = new ElidedLabel(box);
        host->setFont(QLTheme::font(11));
        host->setColour(QLTheme::muted());
        host->setText(fromUtf8(node.pageHost));
        row->addWidget(host, 1);
        layout->addLayout(row);
    }
    for (const ReadableNode& field : node.children)
        layout->addWidget(buildField(field, box));
    if (node.note) layout->addWidget(text(*node.note, 11, QLTheme::muted(), box));
    return box;
}

QWidget* ReadableValueView::buildField(const ReadableNode& field, QWidget* parent) {
    switch (field.slot) {
    case Slot::row: {
        const bool shown = field.kind == Kind::text;
        TextBlock* row =
            text(field.text, 13, shown ? QLTheme::foreground() : QLTheme::muted(), parent, shown);
        row->setLead(fromUtf8(field.label), 190, 20, QLTheme::muted());
        return withNote(row, field, parent);
    }
    case Slot::open: {
        auto* box = new QWidget(parent);
        auto* layout = column(box, 8);
        layout->addWidget(
            text(field.label, 14, QLTheme::foreground(), box, false, 0, QFont::Medium));
        layout->addWidget(build(field, box));
        return box;
    }
    case Slot::folded:
        if (field.kind == Kind::folded) {
            // The tree outlives the group: the node is read when the group opens.
            const ReadableNode* folded = &field;
            DisclosureGroup* group = disclosure(
                fromUtf8(field.label), QLTheme::font(13), QLTheme::muted(), 8,
                [tree = tree_, folded, language = language_](QWidget* holder) -> QWidget* {
                    return new ReadableValueView(std::make_shared<const ReadableNode>(
                                                     ReadableValue::open(*folded, language)),
                                                 language, holder);
                },
                parent);
            group->setObjectName(QStringLiteral("ql-readable-group"));
            return group;
        }
        break;
    default:
        break;
    }
    return build(field, parent);
}

} // namespace quorilanth
