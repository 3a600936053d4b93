#pragma once

#include "core/guided/ReadableValue.h"

#include <QWidget>
#include <memory>

namespace quorilanth {

// Any JSON value as a non-technical reader sees it: objects as cards of
// labelled fields, lists as items, scalars as words. It draws the readable
// tree the guided logic decided (texts, order and limits are all there), and
// builds a closed group's content only when the reader opens it.
class ReadableValueView : public QWidget {
    Q_OBJECT
public:
    ReadableValueView(std::shared_ptr<const ReadableNode> tree, Language language,
                      QWidget* parent = nullptr);
    // Builds the tree of a value here; for values small enough to read on the GUI thread.
    ReadableValueView(const JSONValue& value, Language language, QWidget* parent = nullptr);

private:
    QWidget* build(const ReadableNode& node, QWidget* parent);
    QWidget* buildObject(const ReadableNode& node, QWidget* parent);
    QWidget* buildList(const ReadableNode& node, QWidget* parent);
    QWidget* buildField(const ReadableNode& field, QWidget* parent);

    std::shared_ptr<const ReadableNode> tree_;
    Language language_;
};

} // namespace quorilanth
