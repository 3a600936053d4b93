#include "app/window/SearchBar.h"

#include "app/kit/QLTheme.h"
#include "app/kit/RemoteText.h"
#include "app/kit/Symbols.h"
#include "app/store/AppLanguage.h"
#include "app/store/WorkspaceStore.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QShortcut>
#include <QStyleHints>
#include <QToolButton>

namespace quorilanth {
namespace {

// The card behind the controls: a rounded panel with a hairline outline.
class Card : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 9, 9);
        painter.fillPath(shape, QLTheme::panel());
        painter.setPen(QPen(QLTheme::line(), 1));
        painter.drawPath(shape);
    }
};

// SCAN: accent fill, dark bold label.
class ScanButton : public QPushButton {
public:
    explicit ScanButton(QWidget* parent) : QPushButton(parent) {
        setFlat(true);
        setFixedHeight(33);
        setFont(QLTheme::font(11, QFont::Bold, QLTheme::Design::standard, 1.2));
        setText(QStringLiteral("SCAN"));
        setCursor(Qt::PointingHandCursor);
    }
    QSize sizeHint() const override {
        return {16 + 13 + 7 + fontMetrics().horizontalAdvance(text()) + 16, 33};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), 6, 6);
        painter.setOpacity(isEnabled() ? 1.0 : 0.4);
        painter.fillPath(shape, QLTheme::accent());
        const QFontMetrics metrics(font());
        const int content = 13 + 7 + metrics.horizontalAdvance(text());
        int x = (width() - content) / 2;
        painter.drawPixmap(x, (height() - 13) / 2,
                           Symbols::pixmap(QStringLiteral("arrow.up.right"), QLTheme::background(),
                                           13, devicePixelRatioF()));
        painter.setFont(font());
        painter.setPen(QLTheme::background());
        painter.drawText(QRect(x + 20, 0, width() - x - 20, height()),
                         Qt::AlignVCenter | Qt::AlignLeft, text());
        if (QLTheme::showsFocus(*this)) QLTheme::paintFocus(painter, QRectF(rect()), 6, true);
    }
};

} // namespace

SearchBar::SearchBar(WorkspaceStore& store, QWidget* parent)
    : QWidget(parent), store_(store), renderer_(new CoalescedRender(this, [this] { render(); })) {
    setObjectName(QStringLiteral("ql-search-bar"));
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(18, 18, 18, 18);
    card_ = new Card(this);
    outer->addWidget(card_);
    auto* row = new QHBoxLayout(card_);
    row->setContentsMargins(14, 9, 14, 9);
    row->setSpacing(10);

    mode_ = new QToolButton(card_);
    mode_->setObjectName(QStringLiteral("ql-scan-mode"));
    mode_->setAutoRaise(true);
    mode_->setPopupMode(QToolButton::InstantPopup);
    mode_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    mode_->setFixedWidth(128);
    mode_->setFont(QLTheme::font(11, QFont::Medium));
    mode_->setIconSize(QSize(13, 13));
    setTextColour(mode_, QLTheme::accent());
    auto* modes = new QMenu(mode_);
    siteMode_ = modes->addAction(QString());
    aiMode_ = modes->addAction(QString());
    connect(siteMode_, &QAction::triggered, this, [this] { store_.setDiscoveryMode(false); });
    connect(aiMode_, &QAction::triggered, this, [this] { store_.setDiscoveryMode(true); });
    mode_->setMenu(modes);
    row->addWidget(mode_);

    row->addWidget(new Swatch(1, 20, QLTheme::line(), card_));

    field_ = new QLineEdit(card_);
    field_->setObjectName(QStringLiteral("scan-input"));
    field_->setFrame(false);
    field_->setFont(QLTheme::font(13, QFont::Normal, QLTheme::Design::monospaced));
    QPalette fieldPalette = field_->palette();
    fieldPalette.setColor(QPalette::Base, Qt::transparent);
    fieldPalette.setColor(QPalette::Text, QLTheme::foreground());
    fieldPalette.setColor(QPalette::PlaceholderText, QLTheme::muted());
    field_->setPalette(fieldPalette);
    connect(field_, &QLineEdit::textEdited, this,
            [this](const QString& text) { store_.setInput(text); });
    // Return starts whatever is typed, blank included: the store reports
    // an unusable address in its ordinary way.
    connect(field_, &QLineEdit::returnPressed, this, [this] { store_.start(); });
    row->addWidget(field_, 1);

    scan_ = new ScanButton(card_);
    scan_->setObjectName(QStringLiteral("scan-start"));
    connect(scan_, &QPushButton::clicked, this, [this] { scanIfAllowed(); });
    row->addWidget(scan_);

    stop_ = new QPushButton(Symbols::icon(QStringLiteral("stop.fill"), QLTheme::foreground(), 12),
                            QStringLiteral("STOP"), card_);
    stop_->setObjectName(QStringLiteral("ql-scan-stop"));
    stop_->setFont(QLTheme::font(11, QFont::DemiBold));
    // As tall as SCAN, so the bar and the rows below it keep still when the two swap.
    stop_->setFixedHeight(33);
    connect(stop_, &QPushButton::clicked, this, [this] { store_.cancel(); });
    stop_->installEventFilter(this);
    row->addWidget(stop_);

    for (const QKeySequence& keys :
         {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] { scanIfAllowed(); });
    }

    for (auto signal : {&WorkspaceStore::inputChanged, &WorkspaceStore::discoveryModeChanged,
                        &WorkspaceStore::busyChanged, &WorkspaceStore::toolBusyChanged})
        connect(&store_, signal, renderer_, &CoalescedRender::request);
    render();
}

void SearchBar::scanIfAllowed() {
    if (!scan_->isHidden() && scan_->isEnabled()) store_.start();
}

// STOP appears where SCAN was pressed, so the second click of a double-click
// on SCAN lands on it: a press that comes within the desktop's double-click
// time of STOP appearing belongs to SCAN and is dropped. The keyboard and a
// later click stop the work as ever.
bool SearchBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == stop_ &&
        (event->type() == QEvent::MouseButtonPress ||
         event->type() == QEvent::MouseButtonDblClick) &&
        stopShown_.isValid() &&
        !stopShown_.hasExpired(QGuiApplication::styleHints()->mouseDoubleClickInterval()))
        return true;
    return QWidget::eventFilter(watched, event);
}

void SearchBar::render() {
    const bool working = store_.busy() || store_.toolBusy();
    const bool ai = store_.discoveryMode();
    mode_->setIcon(Symbols::icon(ai ? QStringLiteral("sparkles") : QStringLiteral("globe"),
                                 QLTheme::accent(), 13));
    mode_->setText(ai ? AppLanguage::pick(QStringLiteral("Trova siti \u00B7 AI"),
                                          QStringLiteral("Find sites \u00B7 AI"))
                      : AppLanguage::pick(QStringLiteral("Esplora un sito"),
                                          QStringLiteral("Explore a site")));
    siteMode_->setText(AppLanguage::pick(QStringLiteral("Conosco il sito \u00B7 senza AI"),
                                         QStringLiteral("I know the site \u00B7 no AI")));
    aiMode_->setText(AppLanguage::pick(QStringLiteral("Trova siti \u00B7 con AI"),
                                       QStringLiteral("Find sites \u00B7 with AI")));
    // STOP stands where SCAN was while the work runs: the keyboard waits
    // there, and goes back to what started the work when it ends.
    if (working && stop_->isHidden()) {
        stop_->setVisible(true);
        stopShown_.start();
    }
    setEnabledKeepingFocus(mode_, !working, stop_);

    // An address from a report file may hold direction controls that turn it
    // around on screen: the field spells them out, while the store keeps the
    // address as recorded for SCAN. What the user types is theirs and is left
    // alone, since rewriting it would move the cursor to the end.
    const QString address = withoutDirectionControls(store_.input(), DirectionControls::shown);
    if (field_->text() != store_.input() && field_->text() != address) field_->setText(address);
    field_->setPlaceholderText(
        ai ? AppLanguage::pick(QStringLiteral("Descrivi cosa vuoi trovare\u2026"),
                               QStringLiteral("Describe what you want to find\u2026"))
           : AppLanguage::pick(QStringLiteral("Inserisci l\u2019indirizzo di un sito\u2026"),
                               QStringLiteral("Enter a website address\u2026")));
    // The field has no label of its own: it is heard by its help text.
    field_->setAccessibleName(field_->placeholderText());
    setEnabledKeepingFocus(field_, !working, stop_);

    const bool scannable = !store_.input().trimmed().isEmpty() && !store_.toolBusy();
    if (working) {
        setShownKeepingFocus(scan_, false, stop_);
        scan_->setEnabled(scannable);
        return;
    }
    scan_->setEnabled(scannable);
    setShownKeepingFocus(scan_, true, stop_);
    // Reached by Tab while the work ran, STOP hands the keyboard to the field.
    if (stop_->window()->focusWidget() == stop_) field_->setFocus(Qt::OtherFocusReason);
    stop_->setVisible(false);
}

} // namespace quorilanth
