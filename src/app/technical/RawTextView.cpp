#include "app/technical/RawTextView.h"

#include "app/kit/FocusOutline.h"
#include "app/kit/QLTheme.h"

namespace quorilanth {

RawTextView::RawTextView(QWidget* parent) : PlainTextView(parent) {
    setObjectName(QStringLiteral("ql-raw-text"));
    setFocusPolicy(Qt::StrongFocus);
    setScrolling(true);
    new FocusOutline(this, 0);
    setFont(QLTheme::font(11, QFont::Normal, QLTheme::Design::monospaced));
    setInsets(16, 14);
    setColour(QColor::fromRgbF(0.82f, 0.82f, 0.82f));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, QLTheme::background());
    setPalette(palette);
}

} // namespace quorilanth
