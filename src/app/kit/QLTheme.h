#pragma once

#include "core/model/FindingStatus.h"
#include "core/model/NodeKind.h"

#include <QColor>
#include <QFont>
#include <QString>

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
};

// The Fusion style with the window's dark palette, for every widget and dialog.
void applyDarkLook();

// A button or menu text shows "&" as a mnemonic marker; text that did not come
// from us must show it literally.
QString literalMenuText(const QString& text);

} // namespace quorilanth
