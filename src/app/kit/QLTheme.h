#pragma once

#include "core/model/FindingStatus.h"
#include "core/model/NodeKind.h"

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>

class QPainter;
class QStyleOption;
class QWidget;

namespace quorilanth {

// The one palette of the window. The colours are fixed: the window is always
// dark and never follows the desktop's theme.
class QLTheme {
public:
    static const QColor& background();
    static const QColor& panel();
    static const QColor& raised();
    static const QColor& accent();
    static const QColor& muted();
    static const QColor& line();
    // Text that sets no colour of its own.
    static const QColor& foreground();
    // What needs attention: failed checks, issues, unexpected HTTP codes.
    static const QColor& attention();

    static QColor color(NodeKind kind);
    static QColor status(FindingStatus status);
    // The badge word, which is not the raw value ("NOT FOUND").
    static QString statusWord(FindingStatus status);

    enum class Design { standard, monospaced, rounded };
    // Sizes are device-independent pixels; tracking is the extra space
    // between letters, in pixels.
    static QFont font(int pixelSize, QFont::Weight weight = QFont::Normal,
                      Design design = Design::standard, double tracking = 0);

    // A colour at an opacity, for tints.
    static QColor tint(const QColor& color, double opacity);

    // Keyboard focus is drawn alike on every control the window paints itself,
    // under the rule the style keeps for its own buttons: only once the
    // keyboard has moved focus in the window, so a click leaves no outline.
    static bool showsFocus(const QWidget& control);
    static bool showsFocus(const QStyleOption& option);
    // The outline just inside `edge`. On a control filled with the accent an
    // accent outline would vanish: there it takes the window's ground colour.
    static void paintFocus(QPainter& painter, const QRectF& edge, qreal radius,
                           bool onAccent = false);
};

// The Fusion style with the window's dark palette and focus outline, for every
// widget and dialog.
void applyDarkLook();

// A button or menu text shows "&" as a mnemonic marker; text that did not come
// from us must show it literally.
QString literalMenuText(const QString& text);

} // namespace quorilanth
