#pragma once

#include <QAbstractButton>
#include <QWidget>
#include <functional>

class QVBoxLayout;

namespace quorilanth {

// The clickable title of a disclosure group: a chevron and one line of plain
// text, cut with an ellipsis. Painted rather than set as button text, so a
// remote "&" is never read as a mnemonic and a megabyte title costs nothing.
class DisclosureHeader : public QAbstractButton {
    Q_OBJECT
public:
    explicit DisclosureHeader(const QString& title, QWidget* parent = nullptr);
    QString title() const { return title_; }
    void setColour(const QColor& colour);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString title_;
    QColor colour_;
};

// A titled group that starts collapsed and builds its content only when it is
// first opened; closing it hides the content and keeps it, with whatever the
// reader opened inside.
class DisclosureGroup : public QWidget {
    Q_OBJECT
public:
    using ContentFactory = std::function<QWidget*(QWidget* parent)>;

    DisclosureGroup(const QString& title, ContentFactory makeContent, QWidget* parent = nullptr);
    DisclosureHeader* header() const { return header_; }
    bool isExpanded() const;
    void setExpanded(bool expanded);
    // Nothing until the group was first opened.
    QWidget* content() const { return content_; }
    // Extra space before the content, beyond the chevron's.
    void setContentIndent(int pixels);

private:
    DisclosureHeader* header_;
    QVBoxLayout* layout_;
    ContentFactory makeContent_;
    QWidget* content_ = nullptr;
    int indent_ = 0;
};

} // namespace quorilanth
