#include "app/kit/QLTheme.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPainter>
#include <QPalette>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QWidget>

namespace quorilanth {
namespace {

QColor rgb(double red, double green, double blue) {
    return QColor::fromRgbF(float(red), float(green), float(blue));
}

// Fusion draws its focus frame in a shade of the highlight, which the dark
// palette keeps faint for selections: the style's controls take the outline
// the window's own controls draw.
class ThemeStyle final : public QProxyStyle {
public:
    ThemeStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        if (element != PE_FrameFocusRect) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        if (QLTheme::showsFocus(*option)) QLTheme::paintFocus(*painter, QRectF(option->rect), 3);
    }

    // Fusion marks a focused push button by a tint of its border alone.
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        QProxyStyle::drawControl(element, option, painter, widget);
        if (element == CE_PushButton && QLTheme::showsFocus(*option))
            QLTheme::paintFocus(*painter, QRectF(option->rect), 3);
    }
};

} // namespace

const QColor& QLTheme::background() {
    static const QColor value = rgb(0.038, 0.047, 0.06);
    return value;
}
const QColor& QLTheme::panel() {
    static const QColor value = rgb(0.066, 0.08, 0.096);
    return value;
}
const QColor& QLTheme::raised() {
    static const QColor value = rgb(0.088, 0.105, 0.125);
    return value;
}
const QColor& QLTheme::accent() {
    static const QColor value = rgb(0.27, 0.83, 0.8);
    return value;
}
const QColor& QLTheme::muted() {
    static const QColor value = rgb(0.5, 0.57, 0.65);
    return value;
}
const QColor& QLTheme::line() {
    static const QColor value = QColor::fromRgbF(1, 1, 1, 0.075f);
    return value;
}
const QColor& QLTheme::foreground() {
    static const QColor value = rgb(0.9, 0.9, 0.9);
    return value;
}
const QColor& QLTheme::attention() {
    static const QColor value = rgb(1.0, 0.584, 0.0);
    return value;
}

QColor QLTheme::color(NodeKind kind) {
    switch (kind) {
    case NodeKind::domain:
        return rgb(0.8, 0.89, 0.94);
    case NodeKind::discovery:
        return rgb(0.34, 0.68, 0.9);
    case NodeKind::manifest:
        return rgb(0.59, 0.58, 0.88);
    case NodeKind::endpoint:
        return rgb(0.36, 0.7, 0.76);
    case NodeKind::mcp:
        return accent();
    case NodeKind::tool:
        return rgb(0.57, 0.79, 0.63);
    case NodeKind::resource:
    case NodeKind::prompt:
        return rgb(0.85, 0.69, 0.43);
    case NodeKind::content:
        return rgb(0.76, 0.71, 0.63);
    }
    return foreground();
}

QColor QLTheme::status(FindingStatus status) {
    switch (status) {
    case FindingStatus::found:
        return rgb(0.39, 0.67, 0.94);
    case FindingStatus::valid:
        return rgb(0.39, 0.82, 0.63);
    case FindingStatus::invalid:
    case FindingStatus::unreachable:
        return rgb(0.98, 0.43, 0.43);
    case FindingStatus::unsupported:
    case FindingStatus::blocked:
        return rgb(0.88, 0.69, 0.36);
    case FindingStatus::notFound:
    case FindingStatus::pending:
        return muted();
    }
    return muted();
}

QString QLTheme::statusWord(FindingStatus status) {
    switch (status) {
    case FindingStatus::found:
        return QStringLiteral("FOUND");
    case FindingStatus::valid:
        return QStringLiteral("VALID");
    case FindingStatus::invalid:
        return QStringLiteral("INVALID");
    case FindingStatus::unreachable:
        return QStringLiteral("UNREACHABLE");
    case FindingStatus::unsupported:
        return QStringLiteral("UNSUPPORTED");
    case FindingStatus::notFound:
        return QStringLiteral("NOT FOUND");
    case FindingStatus::blocked:
        return QStringLiteral("BLOCKED");
    case FindingStatus::pending:
        return QStringLiteral("PENDING");
    }
    return {};
}

QFont QLTheme::font(int pixelSize, QFont::Weight weight, Design design, double tracking) {
    QFont font = design == Design::monospaced
                     ? QFontDatabase::systemFont(QFontDatabase::FixedFont)
                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    if (tracking != 0) font.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    return font;
}

QColor QLTheme::tint(const QColor& color, double opacity) {
    QColor result = color;
    result.setAlphaF(float(color.alphaF() * opacity));
    return result;
}

bool QLTheme::showsFocus(const QWidget& control) {
    return control.hasFocus() && control.window()->testAttribute(Qt::WA_KeyboardFocusChange);
}

bool QLTheme::showsFocus(const QStyleOption& option) {
    return (option.state & QStyle::State_HasFocus) &&
           (option.state & QStyle::State_KeyboardFocusChange);
}

void QLTheme::paintFocus(QPainter& painter, const QRectF& edge, qreal radius, bool onAccent) {
    constexpr qreal width = 1.5;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(1);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(onAccent ? background() : accent(), width));
    // Inset by the pen, so a widget's clip cannot cut the outline in half; a
    // filled control's outline keeps clear of its edge, where it would blur
    // into the fill's own antialiasing.
    const qreal inset = width / 2 + (onAccent ? 1.5 : 0);
    painter.drawRoundedRect(edge.adjusted(inset, inset, -inset, -inset),
                            qMax<qreal>(0, radius - inset), qMax<qreal>(0, radius - inset));
    painter.restore();
}

void applyDarkLook() {
    QApplication::setStyle(new ThemeStyle);
    QPalette palette;
    const QColor text = QLTheme::foreground();
    const QColor dimmed = QLTheme::tint(text, 0.35);
    palette.setColor(QPalette::Window, QLTheme::background());
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, QLTheme::panel());
    palette.setColor(QPalette::AlternateBase, QLTheme::raised());
    palette.setColor(QPalette::ToolTipBase, QLTheme::raised());
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, QLTheme::muted());
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QLTheme::raised());
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Light, QLTheme::raised().lighter(140));
    palette.setColor(QPalette::Midlight, QLTheme::raised().lighter(120));
    palette.setColor(QPalette::Mid, QLTheme::panel());
    palette.setColor(QPalette::Dark, QLTheme::background().darker(150));
    palette.setColor(QPalette::Shadow, Qt::black);
    palette.setColor(QPalette::Highlight, QLTheme::tint(QLTheme::accent(), 0.45));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QLTheme::accent());
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, dimmed);
    QApplication::setPalette(palette);
}

QString literalMenuText(const QString& text) {
    QString result = text;
    result.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return result;
}

} // namespace quorilanth
