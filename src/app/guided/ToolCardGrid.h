#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class QTextLayout;

namespace quorilanth {

// One card of the guide's tools: what it shows and how it is told apart.
struct ToolCard {
    // The tool's key among the offered tools (its id, made unique).
    std::string key;
    std::string toolID;
    // "guided-action-" and the tool's name: what tests and scripts look for.
    QString identifier;
    QString title;
    QString introduction;
    QString safety;
    bool readOnly = false;
    bool search = false;
};

// The tools of a report as a grid of painted cards in adaptive columns. A
// report can offer thousands of tools: the cards are plain data, measured once
// per width and painted only where they show, so a new selection repaints
// rather than rebuilds. Screen readers hear each card as a button.
class ToolCardGrid : public QWidget {
    Q_OBJECT
public:
    explicit ToolCardGrid(QWidget* parent = nullptr);
    ~ToolCardGrid() override;

    void setCards(std::vector<ToolCard> cards);
    const std::vector<ToolCard>& cards() const { return cards_; }
    // The card of the selected tool is drawn as selected: the card of this key
    // when it is one of that tool's, else the first card of the tool's id (two
    // tools of one name on a server share an id, never a key).
    void setSelected(std::optional<std::string> id, std::optional<std::string> key);
    bool isSelected(int index) const;

    // The first card with this identifier, or -1; and where a card lies.
    int indexOf(const QString& identifier) const;
    QRect cardRect(int index) const;
    int cardAt(const QPoint& point) const;
    // Presses a card as a click would.
    void press(int index);
    // The card the arrow keys move and Return presses.
    int focusCard() const { return focusCard_; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void pressed(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Geometry {
        int width = -1;
        int columns = 1;
        int columnWidth = 0;
        std::vector<int> rowTops;
        std::vector<int> rowHeights;
        int height = 0;
    };
    const Geometry& geometry(int width) const;
    int contentHeight(std::size_t index, int columnWidth) const;
    int titleLines(std::size_t index, int width) const;
    int introductionLines(std::size_t index, int width) const;
    void forgetGeometry();
    void paintCard(QPainter& painter, int index, const QRect& box) const;
    struct DrawnText;
    struct DrawnCard;
    const DrawnCard& drawnCard(int index, int width) const;
    const QPixmap& cardFrame(const QSize& size, bool selected) const;
    void announceFocus();

    std::vector<ToolCard> cards_;
    // Each card's texts measured on one line, once; the introduction's
    // layout is kept for the widths where that does not settle its lines.
    struct Measure {
        int title = 0;
        int introduction = 0;
        std::unique_ptr<QTextLayout> layout;
    };
    mutable std::vector<Measure> measures_;
    // Shaping a card's texts costs more than drawing them: a selection or a
    // scroll draws the same cards again at the same width.
    mutable std::unordered_map<int, std::unique_ptr<DrawnCard>> drawn_;
    struct Frame {
        QSize size;
        bool selected;
        qreal ratio;
        QPixmap pixmap;
    };
    mutable std::vector<Frame> frames_;
    int selectedCard_ = -1;
    // Layouts ask for a few widths in turn; each is measured once.
    mutable std::vector<Geometry> geometries_;
    int pressedCard_ = -1;
    int focusCard_ = 0;
};

} // namespace quorilanth
