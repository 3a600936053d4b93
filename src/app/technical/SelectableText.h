#pragma once

#include "app/technical/PlainTextView.h"

#include <string_view>

namespace quorilanth {

// At most `limit` UTF-16 units of a UTF-8 text, with "…" added when anything
// was cut, its direction controls shown and kept from reordering its
// neighbours (RemoteText.h). Only the part that can be shown is converted, so a 2 MB value costs
// no more than a short one; a character is never split.
QString boundedText(std::string_view utf8, qsizetype limit);
QString boundedText(const QString& text, qsizetype limit);

// A technical value in a column: plain text the reader can select and copy,
// as tall as its rows at the width it is given. A value longer than
// `displayLimit` shows its beginning and "…": the whole text is in the raw
// trace, and a column of megabytes helps no reader.
class SelectableText : public PlainTextView {
    Q_OBJECT
public:
    static constexpr qsizetype displayLimit = 4000;

    explicit SelectableText(QWidget* parent = nullptr);
    void setText(const QString& text) { PlainTextView::setText(boundedText(text, displayLimit)); }
    void setText(std::string_view utf8) { PlainTextView::setText(boundedText(utf8, displayLimit)); }
};

} // namespace quorilanth
