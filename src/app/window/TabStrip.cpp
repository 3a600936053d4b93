#include "app/window/TabStrip.h"

#include "app/kit/QLTheme.h"
#include "app/kit/Symbols.h"
#include "app/store/AppLanguage.h"
#include "app/store/WorkspaceStore.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace quorilanth {
namespace {

QWidget* gap(int width, QWidget* parent) {
    auto* widget = new QWidget(parent);
    widget->setFixedWidth(width);
    return widget;
}

QWidget* flexibleSpace(int minimum, QWidget* parent) {
    auto* widget = new QWidget(parent);
    widget->setMinimumWidth(minimum);
    widget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    return widget;
}

} // namespace

QString tabSymbol(WorkspaceTab tab) {
    switch (tab) {
    case WorkspaceTab::guide:
        return QStringLiteral("hand.wave");
    case WorkspaceTab::overview:
        return QStringLiteral("square.grid.2x2");
    case WorkspaceTab::discovery:
        return QStringLiteral("antenna.radiowaves.left.and.right");
    case WorkspaceTab::endpoints:
        return QStringLiteral("arrow.triangle.branch");
    case WorkspaceTab::mcp:
        return QStringLiteral("server.rack");
    case WorkspaceTab::tools:
        return QStringLiteral("wrench.and.screwdriver");
    case WorkspaceTab::raw:
        return QStringLiteral("curlybraces");
    case WorkspaceTab::schema:
        return QStringLiteral("point.3.connected.trianglepath.dotted");
    }
    return {};
}

TabButton::TabButton(WorkspaceTab tab, QWidget* parent) : QAbstractButton(parent), tab_(tab) {
    setObjectName(QStringLiteral("tab-") + rawValue(tab));
    setText(rawValue(tab));
    setFixedHeight(32);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void TabButton::setSelected(bool selected) {
    if (selected == selected_) return;
    selected_ = selected;
    updateGeometry();
    update();
}

QFont TabButton::labelFont() const {
    return QLTheme::font(11, selected_ ? QFont::DemiBold : QFont::Normal);
}

int TabButton::padding() const {
    return tab_ == WorkspaceTab::schema ? 13 : 9;
}

QSize TabButton::sizeHint() const {
    return {padding() + 12 + 6 + QFontMetrics(labelFont()).horizontalAdvance(text()) + padding(),
            32};
}

void TabButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) painter.setOpacity(0.45);
    const bool schema = tab_ == WorkspaceTab::schema;
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    if (selected_) painter.fillPath(shape, QLTheme::tint(QLTheme::accent(), schema ? 0.13 : 0.065));
    if (schema) {
        painter.setPen(QPen(QLTheme::tint(QLTheme::accent(), 0.38), 1));
        painter.drawPath(shape);
    }
    const QColor colour = selected_ ? QLTheme::accent() : QLTheme::muted();
    painter.drawPixmap(padding(), (height() - 12) / 2,
                       Symbols::pixmap(tabSymbol(tab_), colour, 12, devicePixelRatioF()));
    painter.setFont(labelFont());
    painter.setPen(colour);
    painter.drawText(QRect(padding() + 18, 0, width() - padding() - 18, height()),
                     Qt::AlignVCenter | Qt::AlignLeft, text());
    if (QLTheme::showsFocus(*this)) QLTheme::paintFocus(painter, QRectF(rect()), 5);
}

TabStrip::TabStrip(WorkspaceStore& store, QWidget* parent)
    : Backdrop(QLTheme::background(), parent), store_(store),
      renderer_(new CoalescedRender(this, [this] { render(); })) {
    setObjectName(QStringLiteral("ql-tab-strip"));
    setBottomRule(QLTheme::line());
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(18, 0, 18, 13);
    row->setSpacing(5);

    chip_ = new QWidget(this);
    chip_->setObjectName(QStringLiteral("ql-tab-chip"));
    auto* chipRow = new QHBoxLayout(chip_);
    chipRow->setContentsMargins(0, 0, 0, 0);
    chipRow->setSpacing(6);
    auto* chipSymbol = new QLabel(chip_);
    chipSymbol->setPixmap(
        Symbols::pixmap(QStringLiteral("hand.wave"), QLTheme::accent(), 13, devicePixelRatioF()));
    chipText_ = new QLabel(chip_);
    chipText_->setTextFormat(Qt::PlainText);
    chipText_->setFont(QLTheme::font(12, QFont::Medium));
    setTextColour(chipText_, QLTheme::accent());
    chipRow->addWidget(chipSymbol);
    chipRow->addWidget(chipText_);
    row->addWidget(chip_);

    back_ = new QToolButton(this);
    back_->setObjectName(QStringLiteral("ql-tab-back"));
    back_->setAutoRaise(true);
    back_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    back_->setIcon(Symbols::icon(QStringLiteral("arrow.left"), QLTheme::foreground(), 11));
    back_->setFont(QLTheme::font(11));
    connect(back_, &QToolButton::clicked, this, [this] { store_.setTab(WorkspaceTab::guide); });
    row->addWidget(back_);
    backGap_ = gap(5, this); // with the row's spacing, 10 after the back button
    row->addWidget(backGap_);

    guideSpacer_ = flexibleSpace(0, this);
    row->addWidget(guideSpacer_);
    technical_ = new QToolButton(this);
    technical_->setObjectName(QStringLiteral("ql-tab-technical"));
    technical_->setAutoRaise(true);
    technical_->setFont(QLTheme::font(12));
    connect(technical_, &QToolButton::clicked, this,
            [this] { store_.setTab(WorkspaceTab::overview); });
    row->addWidget(technical_);
    technicalGap_ = gap(10, this); // with the row's spacing, 15 after it
    row->addWidget(technicalGap_);

    for (WorkspaceTab tab : allWorkspaceTabs) {
        if (tab == WorkspaceTab::guide) continue;
        if (tab == WorkspaceTab::schema) row->addWidget(flexibleSpace(5, this));
        auto* button = new TabButton(tab, this);
        connect(button, &TabButton::clicked, this, [this, tab] { store_.setTab(tab); });
        buttons_[tab] = button;
        row->addWidget(button);
    }

    for (auto signal : {&WorkspaceStore::tabChanged, &WorkspaceStore::reportChanged,
                        &WorkspaceStore::researchChanged})
        connect(&store_, signal, renderer_, &CoalescedRender::request);
    render();
}

void TabStrip::render() {
    const bool guide = store_.tab() == WorkspaceTab::guide;
    chipText_->setText(AppLanguage::pick(QStringLiteral("Per te \u00B7 vista semplice"),
                                         QStringLiteral("For you \u00B7 simple view")));
    technical_->setText(
        AppLanguage::pick(QStringLiteral("Vista tecnica"), QStringLiteral("Technical view")));
    back_->setText(AppLanguage::pick(QStringLiteral("Per te"), QStringLiteral("For you")));
    chip_->setVisible(guide);
    guideSpacer_->setVisible(guide);
    technical_->setVisible(guide);
    technicalGap_->setVisible(guide);
    back_->setVisible(!guide);
    backGap_->setVisible(!guide);
    for (const auto& [tab, button] : buttons_) {
        button->setVisible(!guide || tab == WorkspaceTab::schema);
        button->setSelected(store_.tab() == tab);
    }
    // Nothing to look at yet: the strip shows its face but does not respond.
    setEnabled(store_.report().has_value() || store_.research().has_value());
}

} // namespace quorilanth
