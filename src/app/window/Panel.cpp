#include "app/window/Panel.h"

#include "app/window/QLTheme.h"
#include "app/window/ViewKit.h"

#include <QLabel>
#include <QVBoxLayout>

namespace quorilanth {

Panel::Panel(const QString& title, QWidget* content, QWidget* parent) : QFrame(parent) {
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(20, 20, 20, 20);
    layout_->setSpacing(15);
    title_ = new QLabel(this);
    title_->setTextFormat(Qt::PlainText);
    title_->setFont(QLTheme::font(10, QFont::DemiBold, QLTheme::Design::monospaced, 1.6));
    QPalette palette = title_->palette();
    palette.setColor(QPalette::WindowText, QLTheme::muted());
    title_->setPalette(palette);
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
    if (content_) layout_->addWidget(content_, 0, Qt::AlignLeft);
}

void Panel::paintEvent(QPaintEvent*) {
    paintCard(this, 10);
}

} // namespace quorilanth
