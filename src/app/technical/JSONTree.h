#pragma once

#include "core/base/JSONValue.h"

#include <QWidget>

namespace quorilanth {

// A read-only view of one JSON value, bounded: ten levels of nesting, the
// first fifty members of an object in code-point order of their keys and the
// first thirty elements of an array, each limit replaced by a note that sends
// the reader to the raw trace. Nested objects and arrays are groups that start
// collapsed and are built only when opened, so a large value costs one level.
// The value never changes; a caller that has a new value makes a new tree,
// and one that keeps its tree keeps what the reader opened.
class JSONTree : public QWidget {
    Q_OBJECT
public:
    static constexpr int depthLimit = 10;
    static constexpr std::size_t memberLimit = 50;
    static constexpr std::size_t elementLimit = 30;

    explicit JSONTree(JSONValue value, int depth = 0, QWidget* parent = nullptr);
    const JSONValue& value() const { return value_; }
    int depth() const { return depth_; }

    // The title of an array element's group: "[3] " and the element's name.
    static QString elementTitle(const JSONValue& element, std::size_t position);

private:
    void buildObject(const JSONValue::Object& members);
    void buildArray(const JSONValue::Array& elements);

    JSONValue value_;
    int depth_;
};

} // namespace quorilanth
