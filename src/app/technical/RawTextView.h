#pragma once

#include "app/technical/PlainTextView.h"

namespace quorilanth {

// The scrolling, monospaced text of an exchange (or of any raw text a pane
// shows whole), wrapped at the width of the view.
class RawTextView : public PlainTextView {
    Q_OBJECT
public:
    explicit RawTextView(QWidget* parent = nullptr);
};

} // namespace quorilanth
