#include "app/kit/Panel.h"

#include "app/kit/QLTheme.h"
#include "app/kit/ViewKit.h"

#include <QVBoxLayout>

namespace quorilanth {
namespace {

// The content takes the card's inner width (a wrapped paragraph is laid out at
// that width) from the leading edge. In a card taller than it needs, only
// content that asks for height gets it: the rest stays at the top, under the
// title, instead of the spare height being spread between them.
class LeadingItem final : public QWidgetItem {
public:
    using QWidgetItem::QWidgetItem;
    Qt::Orientations expandingDirections() const override {
        return QWidgetItem::expandingDirections() | Qt::Vertical;
    }
    QSize maximumSize() const override {
        return {QWidgetItem::maximumSize().width(), QLAYOUTSIZE_MAX};
    }
    int heightForWidth(int width) const override {
        return QWidgetItem::heightForWidth(qMin(width, QWidgetItem::maximumSize().width()));
    }
    void setGeometry(const QRect& rect) override {
        QRect area = rect;
        if (!(QWidgetItem::expandingDirections() & Qt::Vertical))
            area.setHeight(qMin(rect.height(), hasHeightForWidth() ? heightForWidth(rect.width())
                                                                   : sizeHint().height()));
        QWidgetItem::setGeometry(area);
    }
};

} // namespace

Panel::Panel(const QString& title, QWidget* content, QWidget* parent) : QFrame(parent) {
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(20, 20, 20, 20);
    layout_->setSpacing(15);
    // A title may carry a value from a file (a server's transport): it wraps,
    // and never sets the card's width.
    title_ = new SpacedText(this);
    title_->setFont(QLTheme::font(10, QFont::DemiBold, QLTheme::Design::monospaced, 1.6));
    title_->setColour(QLTheme::muted());
    title_->setWrapping(QWIDGETSIZE_MAX);
    layout_->addWidget(title_);
    setTitle(title);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    if (content) setContent(content);
}

void Panel::setTitle(const QString& title) {
    title_->setText(title.toUpper());
}

QString Panel::title() const {
    return title_->text();
}

void Panel::setContent(QWidget* content) {
    if (content_) {
        layout_->removeWidget(content_);
        content_->hide();
        content_->deleteLater();
    }
    content_ = content;
    if (!content_) return;
    // Added as a widget first, so the layout adopts and shows it as usual.
    layout_->addWidget(content_);
    delete layout_->takeAt(layout_->count() - 1);
    layout_->addItem(new LeadingItem(content_));
}

void Panel::paintEvent(QPaintEvent*) {
    paintCard(this, 10);
}

} // namespace quorilanth
