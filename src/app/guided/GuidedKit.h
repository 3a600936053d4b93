#pragma once

// Pieces shared by the plain-language views: the language of the moment,
// remote text made safe to show, wrapped selectable text, and small layout
// helpers.
#include "core/guided/GuidedPresentation.h"

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string_view>

class QLabel;
class QTextLayout;
class QToolButton;
class QVBoxLayout;

namespace quorilanth {

class DisclosureGroup;

// The language of every text built now.
Language guidedLanguage();
QString pick(Language language, const char* italian, const char* english);

// Remote text as shown: at most `graphemes` user-perceived characters, and
// eight bytes for each, with "…" when cut, so no single text can stall a
// layout or a paint (one letter under a million accents is one character).
QString shownText(std::string_view text, std::size_t graphemes = 4000);
QString fromUtf8(std::string_view text);

// Runs `work` after the current event has been handled: a button that switches
// the tab or clears the selection destroys the view that holds it.
void later(QObject* context, std::function<void()> work);

// Plain text, wrapped at word boundaries or anywhere inside a word too long for
// a line, so a long address or token never widens the page. "\n" breaks lines;
// direction controls are dropped and right-to-left text isolated (RemoteText.h).
// Optionally selectable (mouse, Ctrl+C, Ctrl+A), and optionally preceded by a
// label in a column of its own (a field's name beside its value). A label, so
// that a field can take it as its buddy and be heard by it; the text is
// painted and named, never given to the label itself, which could take an "&"
// in it for a shortcut.
class TextBlock : public QLabel {
    Q_OBJECT
public:
    explicit TextBlock(QWidget* parent = nullptr);
    TextBlock(const QString& text, const QFont& font, const QColor& colour,
              QWidget* parent = nullptr);
    ~TextBlock() override;

    void setText(const QString& text);
    QString text() const { return text_; }
    void setColour(const QColor& colour);
    QColor colour() const { return colour_; }
    void setLineSpacing(int pixels);
    void setSelectable(bool selectable);
    bool isSelectable() const { return selectable_; }
    void setLead(const QString& lead, int columnWidth, int gap, const QColor& colour);
    // Lines no wider than this, however wide the block (a maximum width on the
    // widget would be ignored by the height its layout asks for).
    void setLineWidthLimit(int pixels);
    QString selectedText() const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int laidHeight(int width) const;
    int placeAt(int width) const;
    int textLeft() const;
    int cursorAt(const QPoint& point) const;
    void invalidate();

    QString text_;
    QString lead_;
    QColor colour_;
    QColor leadColour_;
    int lineSpacing_ = 0;
    int leadWidth_ = 0;
    int leadGap_ = 0;
    int lineLimit_ = QWIDGETSIZE_MAX;
    bool selectable_ = false;
    bool keyboardFocus_ = false;
    int anchor_ = 0;
    int cursor_ = 0;
    std::unique_ptr<QTextLayout> layout_;
    std::unique_ptr<QTextLayout> leadLayout_;
    // The width the layouts are placed at, and heights already known: a
    // layout asks for a few widths in turn, and a long answer holds hundreds
    // of blocks.
    mutable int placedWidth_ = -1;
    mutable int placedHeight_ = 0;
    mutable int leadHeight_ = -1;
    mutable std::array<std::pair<int, int>, 4> heights_{};
    mutable std::size_t nextHeight_ = 0;
    mutable int oneLine_ = -2; // single-line width, -1 when the text has breaks
    mutable int naturalWidth_ = -1;
};

// A group closed at first, titled in a font and colour, whose content is made
// when it is first opened and sits `gap` pixels under the title.
DisclosureGroup* disclosure(const QString& title, const QFont& font, const QColor& tint, int gap,
                            std::function<QWidget*(QWidget* parent)> content, QWidget* parent);

// A rounded rectangle of one colour behind a widget's children.
class RoundedGround : public QWidget {
    Q_OBJECT
public:
    RoundedGround(const QColor& colour, qreal radius, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor colour_;
    qreal radius_;
};

// A one-line label of our own text in a given font and colour.
QLabel* plainLabel(const QString& text, const QFont& font, const QColor& colour, QWidget* parent);
// A symbol and a text side by side, the symbol at the text's size.
QWidget* symbolLabel(const QString& symbol, const QString& text, const QFont& font,
                     const QColor& colour, QWidget* parent, QLabel** textLabel = nullptr);
// A button that is only its text, in the accent colour.
QToolButton* borderlessButton(const QString& text, QWidget* parent);
// A column without margins, its children at the leading edge.
QVBoxLayout* column(QWidget* owner, int spacing, const QMargins& margins = {});

} // namespace quorilanth
