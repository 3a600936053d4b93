#pragma once

#include <QAccessible>
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QObject>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

class QLabel;
class QTimer;

namespace quorilanth {

// Runs a render function at most once per event-loop turn, however many store
// signals asked for it: a burst of field changes costs one pass.
class CoalescedRender : public QObject {
    Q_OBJECT
public:
    CoalescedRender(QObject* owner, std::function<void()> render);
    void request();
    bool pending() const { return pending_; }

private:
    std::function<void()> render_;
    bool pending_ = false;
};

// The widget that Tab (forward) or Shift+Tab reaches from `from` among those
// under `root`, in the order a reader meets them: as layouts and splitters
// place them. Qt's own chain follows the order widgets were made, so a pane of
// a new tab, a form or an answer made later would come after everything else.
// Null when nothing there takes the keyboard.
QWidget* nextInReadingOrder(QWidget* root, QWidget* from, bool forward);

// Brings a control that has just taken the keyboard into view in each scroll
// area that holds it, moving each only as far as needed. One taller than the
// view fills it, or shows the place it gives for the keyboard (a card of a
// grid, the current row of a list) when it gives one.
void revealFocus(QWidget* focused);

// Enables or disables, shows or hides, a control that its own work makes
// unusable for a while. A control losing the keyboard that way would pass it
// to the next control of the window, and a page would scroll there: `holder`,
// a named stop of the control's area that shows the focus outline (a
// FocusHolder, or the control that takes its place), keeps it meanwhile and
// gives it back when the control is usable again, unless the reader has moved
// on. An alert open over the window changes none of this.
void setEnabledKeepingFocus(QWidget* control, bool enabled, QWidget* holder);
void setShownKeepingFocus(QWidget* control, bool shown, QWidget* holder);

// A painted widget, or a scrolling one, is heard as a filler: this widget is
// heard in `role` instead, under its accessible name. Set before anything asks.
void setAccessibleRole(QWidget* widget, QAccessible::Role role);

// Sets the colour of a widget's text.
void setTextColour(QWidget* widget, const QColor& colour);

// A label that shows its text as written, never as markup.
QLabel* plainLabel(QWidget* parent, const QFont& font, const QColor& colour,
                   const QString& text = {});

// One line of plain text, cut with an ellipsis when it does not fit. Its size
// hint never depends on the text's length, so a very long text cannot widen
// the window or stall the layout. A label, so that a picker can take it as its
// buddy and be heard by it; the text is painted and named, never given to the
// label itself, which would lay out again at each text and could take an "&"
// in it for a shortcut.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);
    void setText(const QString& text);
    QString text() const { return text_; }
    void setColour(const QColor& colour);
    // For a label that something follows on its line: the size hint becomes
    // the width of the text as shown, so the follower sits right after it.
    void setHintsTextWidth(bool value);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString shownText() const;

    QString text_;
    QColor colour_;
    bool hintsTextWidth_ = false;
    mutable int textWidth_ = -1; // measured once per text and font
};

// Plain text of our own on several lines ("\n" breaks) with a chosen extra
// space between lines.
class SpacedText : public QWidget {
    Q_OBJECT
public:
    explicit SpacedText(QWidget* parent = nullptr);
    void setText(const QString& text);
    QString text() const { return text_; }
    void setLineSpacing(int pixels);
    void setColour(const QColor& colour);
    // Also breaks lines between words (inside a word too long for a line) to
    // fit the width it is given, asking for at most preferredWidth; its height
    // then follows its width.
    void setWrapping(int preferredWidth);
    // Each line centred across the width rather than at the left.
    void setCentred(bool centred);
    bool hasHeightForWidth() const override { return wrapWidth_ > 0; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The lines to draw; without wrapping only the text's own breaks count.
    QStringList lines(int width) const;
    QStringList measureLines(int width) const;
    int drawnWidth(int width) const;
    void forgetLines();

    QString text_;
    // Breaking a text measures every word: a layout asks for the same few
    // widths many times before the first paint, so the lines are kept per
    // width until the text or font changes.
    mutable std::vector<std::pair<int, QStringList>> lines_;
    mutable int hintWidth_ = -1; // the widest line at the preferred width
    int lineSpacing_ = 0;
    QColor colour_;
    int wrapWidth_ = 0;
    bool centred_ = false;
};

// A bordered push button with room around its label.
class BorderedButton : public QPushButton {
    Q_OBJECT
public:
    explicit BorderedButton(const QString& text = {}, QWidget* parent = nullptr);
    QSize sizeHint() const override;
};

// Plain-text labels side by side on their first text baseline, gathered at
// one edge. A box layout's baseline alignment does not do this for labels of
// different sizes: it only centres them.
class BaselineRow : public QWidget {
    Q_OBJECT
public:
    BaselineRow(const QList<QLabel*>& labels, int spacing, Qt::Alignment edge,
                QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int ascent() const;
    void place();

    QList<QLabel*> labels_;
    int spacing_;
    Qt::Alignment edge_;
};

// A small indeterminate progress indicator; it only animates while shown.
class BusyIndicator : public QWidget {
    Q_OBJECT
public:
    explicit BusyIndicator(int diameter, const QColor& colour, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {diameter_, diameter_}; }
    bool turning() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int diameter_;
    QColor colour_;
    int angle_ = 0;
    QTimer* timer_;
};

// A filled rectangle of a fixed size: rules, separators, bars and dots.
class Swatch : public QWidget {
    Q_OBJECT
public:
    Swatch(int width, int height, const QColor& colour, QWidget* parent = nullptr,
           bool round = false);
    void setColour(const QColor& colour);
    QColor colour() const { return colour_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor colour_;
    bool round_;
};

// The window's card: a rounded rectangle of the widget's size filled with the
// panel colour and outlined with a hairline.
void paintCard(QWidget* widget, qreal radius);

// A full-width 1-pixel rule between the window's bands.
QWidget* horizontalRule(QWidget* parent);

// A widget that fills itself with one colour.
class Backdrop : public QWidget {
    Q_OBJECT
public:
    explicit Backdrop(const QColor& colour, QWidget* parent = nullptr);
    // A 1-pixel rule of that colour along the bottom edge.
    void setBottomRule(const QColor& colour) { bottomRule_ = colour; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor colour_;
    QColor bottomRule_;
};

} // namespace quorilanth
