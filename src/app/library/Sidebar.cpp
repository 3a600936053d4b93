#include "app/library/Sidebar.h"

#include "app/kit/QLTheme.h"
#include "app/kit/Symbols.h"
#include "app/library/LibraryText.h"
#include "app/store/AppLanguage.h"
#include "app/store/WorkspaceStore.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace quorilanth {
namespace {

constexpr int sectionRowHeight = 34;

void fillRounded(QPainter& painter, const QRectF& box, qreal radius, const QColor& colour) {
    if (colour.alpha() == 0) return;
    QPainterPath shape;
    shape.addRoundedRect(box, radius, radius);
    painter.fillPath(shape, colour);
}

// "Explore a site": symbol and title on an accent tint, the width of the column.
class NewScanButton : public QAbstractButton {
public:
    explicit NewScanButton(QWidget* parent) : QAbstractButton(parent) {
        setFont(QLTheme::font(13));
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override {
        return {11 + 16 + 7 + fontMetrics().horizontalAdvance(text()) + 11,
                11 + qMax(16, fontMetrics().height()) + 11};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(isEnabled() ? 1.0 : 0.4);
        fillRounded(painter, QRectF(rect()), 6, QLTheme::tint(QLTheme::accent(), 0.09));
        painter.drawPixmap(11, (height() - 16) / 2,
                           Symbols::pixmap(QStringLiteral("plus.viewfinder"), QLTheme::accent(), 16,
                                           devicePixelRatioF()));
        painter.setPen(QLTheme::accent());
        const QRect textBox = rect().adjusted(11 + 16 + 7, 0, -11, 0);
        painter.drawText(textBox, Qt::AlignVCenter | Qt::AlignLeft,
                         fontMetrics().elidedText(text(), Qt::ElideRight, textBox.width()));
        if (QLTheme::showsFocus(*this)) QLTheme::paintFocus(painter, QRectF(rect()), 6);
    }
};

QLabel* caption(QWidget* parent, int size, QFont::Weight weight, double tracking,
                const QColor& colour) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(QLTheme::font(size, weight, QLTheme::Design::monospaced, tracking));
    setTextColour(label, colour);
    return label;
}

} // namespace

SectionRow::SectionRow(const QString& section, const QString& symbol, QWidget* parent)
    : QAbstractButton(parent), section_(section), symbol_(symbol) {
    setObjectName(QStringLiteral("library-") + section);
    setFont(QLTheme::font(11));
    setFixedHeight(sectionRowHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

void SectionRow::bind(const QString& title, const QString& count, bool highlighted) {
    if (title == text() && count == count_ && highlighted == highlighted_) return;
    setText(title);
    setAccessibleName(title);
    count_ = count;
    highlighted_ = highlighted;
    update();
}

QSize SectionRow::sizeHint() const {
    return {13 + 17 + 6 + fontMetrics().horizontalAdvance(text()) + 13, sectionRowHeight};
}

void SectionRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(isEnabled() ? 1.0 : 0.4);
    fillRounded(painter, QRectF(rect()), 5,
                highlighted_ ? QColor::fromRgbF(1, 1, 1, 0.045f) : QColor(Qt::transparent));
    const QColor colour = highlighted_ ? QColor(Qt::white) : QLTheme::muted();
    const int symbolSize = 13;
    painter.drawPixmap(13 + (17 - symbolSize) / 2, (height() - symbolSize) / 2,
                       Symbols::pixmap(symbol_, colour, symbolSize, devicePixelRatioF()));
    painter.setPen(colour);
    int right = width() - 13;
    if (!count_.isEmpty()) {
        const QFont countFont = QLTheme::font(9, QFont::Normal, QLTheme::Design::monospaced);
        painter.setFont(countFont);
        const int countWidth = QFontMetrics(countFont).horizontalAdvance(count_);
        painter.drawText(QRect(right - countWidth, 0, countWidth, height()),
                         Qt::AlignVCenter | Qt::AlignRight, count_);
        right -= countWidth + 8;
    }
    painter.setFont(font());
    const QRect titleBox(13 + 17 + 6, 0, qMax(0, right - 36), height());
    painter.drawText(titleBox, Qt::AlignVCenter | Qt::AlignLeft,
                     fontMetrics().elidedText(text(), Qt::ElideRight, titleBox.width()));
    if (QLTheme::showsFocus(*this)) QLTheme::paintFocus(painter, QRectF(rect()), 5);
}

SidebarScanRow::SidebarScanRow(QWidget* parent) : QAbstractButton(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

void SidebarScanRow::bind(const SavedScan& scan, bool open) {
    scan_ = scan;
    open_ = open;
    site_ = scanSite(scan);
    detail_ = scan.collection ? *scan.collection : scanDate(scan.date);
    setObjectName(QStringLiteral("ql-sidebar-scan-") + scan.id);
    setAccessibleName(site_ + QStringLiteral(", ") + detail_ + QStringLiteral(", ") +
                      QString::number(scan.score));
    update();
}

void SidebarScanRow::setResponsive(bool responsive) {
    if (responsive == responsive_) return;
    responsive_ = responsive;
    setDown(false);
    setCursor(responsive ? Qt::PointingHandCursor : Qt::ArrowCursor);
    update();
}

bool SidebarScanRow::hitButton(const QPoint& position) const {
    return responsive_ && QAbstractButton::hitButton(position);
}

namespace {

// The keys with which a focused button clicks itself.
bool activates(const QKeyEvent* event) {
    return event->key() == Qt::Key_Space || event->key() == Qt::Key_Select;
}

} // namespace

void SidebarScanRow::keyPressEvent(QKeyEvent* event) {
    if (opensScan(event) && responsive_) {
        if (!event->isAutoRepeat()) click();
        event->accept();
    } else if (!responsive_ && (activates(event) || opensScan(event))) {
        event->ignore();
    } else {
        QAbstractButton::keyPressEvent(event);
    }
}

void SidebarScanRow::keyReleaseEvent(QKeyEvent* event) {
    if (!responsive_ && activates(event))
        event->ignore();
    else
        QAbstractButton::keyReleaseEvent(event);
}

QSize SidebarScanRow::sizeHint() const {
    const QFontMetrics site(QLTheme::font(11, QFont::Medium));
    const QFontMetrics detail(QLTheme::font(9));
    return {120, 10 + site.height() + 5 + detail.height() + 10};
}

void SidebarScanRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(isEnabled() && responsive_ ? 1.0 : 0.4);
    fillRounded(painter, QRectF(rect()), 5,
                open_ ? QLTheme::tint(QLTheme::accent(), 0.065) : QColor(Qt::transparent));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QLTheme::tint(QLTheme::accent(), 0.65));
    const QFont siteFont = QLTheme::font(11, QFont::Medium);
    const QFont detailFont = QLTheme::font(9);
    const QFont scoreFont = QLTheme::font(10, QFont::Normal, QLTheme::Design::monospaced);
    const QFontMetrics siteMetrics(siteFont);
    // The dot sits level with the middle of the first line.
    painter.drawEllipse(QRectF(10, 10 + (siteMetrics.height() - 5) / 2.0, 5, 5));

    const QString score = QString::number(scan_.score);
    const int scoreWidth = QFontMetrics(scoreFont).horizontalAdvance(score);
    painter.setFont(scoreFont);
    painter.setPen(QLTheme::accent());
    painter.drawText(QRect(width() - 10 - scoreWidth, 10, scoreWidth, siteMetrics.height()),
                     Qt::AlignVCenter | Qt::AlignRight, score);

    const int left = 10 + 5 + 9;
    const int textWidth = qMax(0, width() - 10 - scoreWidth - 8 - left);
    painter.setFont(siteFont);
    painter.setPen(QLTheme::foreground());
    painter.drawText(QRect(left, 10, textWidth, siteMetrics.height()),
                     Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                     siteMetrics.elidedText(site_, Qt::ElideRight, textWidth));
    painter.setFont(detailFont);
    painter.setPen(QLTheme::muted());
    const QFontMetrics detailMetrics(detailFont);
    painter.drawText(QRect(left, 10 + siteMetrics.height() + 5, textWidth, detailMetrics.height()),
                     Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                     detailMetrics.elidedText(detail_, Qt::ElideRight, textWidth));
    if (QLTheme::showsFocus(*this)) QLTheme::paintFocus(painter, QRectF(rect()), 5);
}

Sidebar::Sidebar(WorkspaceStore& store, QWidget* parent)
    : Backdrop(QLTheme::panel(), parent), store_(store),
      renderer_(new CoalescedRender(this, [this] { render(); })) {
    setObjectName(QStringLiteral("ql-sidebar"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(18, 18, 18, 18);
    heading_ = caption(this, 9, QFont::DemiBold, 1.3, QLTheme::muted());
    header->addWidget(heading_);
    header->addStretch(1);
    plus_ = new QToolButton(this);
    plus_->setObjectName(QStringLiteral("new-scan-plus"));
    plus_->setAutoRaise(true);
    plus_->setIcon(Symbols::icon(QStringLiteral("plus"), QLTheme::foreground(), 13));
    plus_->setIconSize(QSize(13, 13));
    connect(plus_, &QToolButton::clicked, this, [this] { store_.newScan(); });
    header->addWidget(plus_);
    column->addLayout(header);

    auto* newScanBox = new QHBoxLayout;
    newScanBox->setContentsMargins(10, 0, 10, 16);
    newScan_ = new NewScanButton(this);
    newScan_->setObjectName(QStringLiteral("new-scan"));
    connect(newScan_, &QAbstractButton::clicked, this, [this] { store_.newScan(); });
    newScanBox->addWidget(newScan_);
    column->addLayout(newScanBox);

    const std::array<std::pair<const char*, const char*>, 4> sections{{
        {"Recent", "clock"},
        {"Favorites", "star"},
        {"Collections", "square.stack"},
        {"History", "clock.arrow.circlepath"},
    }};
    for (std::size_t i = 0; i < sections.size(); ++i) {
        auto* row = new SectionRow(QString::fromLatin1(sections[i].first),
                                   QString::fromLatin1(sections[i].second), this);
        connect(row, &QAbstractButton::clicked, this,
                [this, row] { store_.openLibrary(row->section()); });
        auto* box = new QHBoxLayout;
        box->setContentsMargins(7, 0, 7, 0);
        box->addWidget(row);
        column->addLayout(box);
        sections_[i] = row;
    }

    auto* separator = new QHBoxLayout;
    separator->setContentsMargins(0, 18, 0, 18);
    separator->addWidget(horizontalRule(this));
    column->addLayout(separator);

    listHeader_ = caption(this, 9, QFont::DemiBold, 1.3, QLTheme::muted());
    listHeader_->setObjectName(QStringLiteral("ql-sidebar-list-title"));
    listHeader_->setContentsMargins(18, 0, 18, 12);
    column->addWidget(listHeader_);

    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Every saved scan listed is a row that takes focus, and the area
    // scrolls to the one that has it.
    scroll->setFocusPolicy(Qt::NoFocus);
    auto* list = new Backdrop(QLTheme::panel(), scroll);
    rowsLayout_ = new QVBoxLayout(list);
    rowsLayout_->setContentsMargins(8, 0, 8, 0);
    rowsLayout_->setSpacing(4);
    emptyNote_ = new SpacedText(list);
    emptyNote_->setObjectName(QStringLiteral("ql-sidebar-empty"));
    emptyNote_->setFont(QLTheme::font(11));
    emptyNote_->setColour(QLTheme::muted());
    emptyNote_->setLineSpacing(5);
    emptyNote_->setWrapping(220);
    auto* noteBox = new QHBoxLayout;
    noteBox->setContentsMargins(15, 15, 15, 15);
    noteBox->addWidget(emptyNote_);
    rowsLayout_->addLayout(noteBox);
    rowsLayout_->addStretch(1);
    scroll->setWidget(list);
    column->addWidget(scroll, 1);

    auto* answers = new QVBoxLayout;
    answers->setContentsMargins(18, 18, 18, 18);
    answers->setSpacing(7);
    auto* answersRow = new QHBoxLayout;
    answersRow->setSpacing(6);
    const QColor shieldColour = QLTheme::tint(QLTheme::accent(), 0.8);
    auto* shield = new QLabel(this);
    shield->setPixmap(
        Symbols::pixmap(QStringLiteral("lock.shield"), shieldColour, 11, devicePixelRatioF()));
    answersRow->addWidget(shield);
    answersHeading_ = caption(this, 9, QFont::Medium, 1, shieldColour);
    answersRow->addWidget(answersHeading_);
    answersRow->addStretch(1);
    answers->addLayout(answersRow);
    answersNote_ = new SpacedText(this);
    answersNote_->setFont(QLTheme::font(10));
    answersNote_->setColour(QLTheme::muted());
    answersNote_->setLineSpacing(4);
    answersNote_->setWrapping(220);
    answers->addWidget(answersNote_);
    column->addLayout(answers);

    for (auto signal : {&WorkspaceStore::busyChanged, &WorkspaceStore::toolBusyChanged,
                        &WorkspaceStore::showLibraryChanged, &WorkspaceStore::librarySectionChanged,
                        &WorkspaceStore::historyChanged, &WorkspaceStore::librarySearchChanged,
                        &WorkspaceStore::collectionFilterChanged, &WorkspaceStore::reportChanged})
        connect(&store_, signal, renderer_, &CoalescedRender::request);
    render();
}

void Sidebar::render() {
    const bool idle = !store_.busy() && !store_.toolBusy();
    heading_->setText(
        AppLanguage::pick(QStringLiteral("IL TUO SPAZIO"), QStringLiteral("YOUR WORKSPACE")));
    const QString explore =
        AppLanguage::pick(QStringLiteral("Esplora un sito"), QStringLiteral("Explore a site"));
    plus_->setAccessibleName(explore);
    plus_->setToolTip(explore);
    plus_->setEnabled(idle);
    newScan_->setText(explore);
    newScan_->setAccessibleName(explore);
    newScan_->setEnabled(idle);

    for (SectionRow* row : sections_) {
        const bool history = row->section() == QLatin1String("History");
        row->bind(libraryTitle(row->section()),
                  history ? QString::number(store_.history().size()) : QString(),
                  store_.showLibrary() && store_.librarySection() == row->section());
        row->setEnabled(idle);
    }
    listHeader_->setText(libraryTitle(store_.librarySection()).toUpper());

    const std::vector<SavedScan> scans = store_.libraryScans();
    const std::optional<std::string> openID =
        store_.report() ? std::optional(store_.report()->id) : std::nullopt;
    const std::size_t listed = std::min<std::size_t>(scans.size(), listLimit);
    while (rows_.size() < listed) {
        auto* row = new SidebarScanRow(rowsLayout_->parentWidget());
        connect(row, &QAbstractButton::clicked, this, [this, row] { store_.load(row->scan()); });
        connect(row, &QWidget::customContextMenuRequested, this,
                [this, row](const QPoint& at) { showMenu(row->scan(), row->mapToGlobal(at)); });
        rowsLayout_->insertWidget(int(rows_.size()), row);
        rows_.push_back(row);
    }
    const auto place = [&](std::size_t i) {
        SidebarScanRow* row = rows_[i];
        row->setVisible(i < listed);
        if (i >= listed) {
            row->setObjectName(QString());
            return;
        }
        row->bind(scans[i], openID && scans[i].id.toStdString() == *openID);
        row->setResponsive(idle);
    };
    // Rows are bound by position, so a scan that arrives or leaves moves the
    // others down or up a row; the keyboard goes with the scan it was on,
    // never to another scan under it. Its new row is bound and takes the focus
    // before the one it leaves is bound again, so a screen reader hears the
    // focus reach the same scan and no rename of the row it is leaving.
    const std::optional<std::size_t> heir = heirOfFocus(scans, listed);
    if (heir) {
        place(*heir);
        rows_[*heir]->setFocus(Qt::OtherFocusReason);
    }
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (i != heir) place(i);
    emptyNote_->setText(AppLanguage::pick(
        QStringLiteral("Qui ritroverai i siti esplorati.\nLe scansioni restano sul computer."),
        QStringLiteral("Your explored sites appear here.\nScans stay on this computer.")));
    emptyNote_->setVisible(scans.empty());

    answersHeading_->setText(AppLanguage::pick(QStringLiteral("RISPOSTE DAL SITO"),
                                               QStringLiteral("ANSWERS FROM THE SITE")));
    answersNote_->setText(AppLanguage::pick(
        QStringLiteral("Collegamenti verificati\nAI facoltativa per trovare siti"),
        QStringLiteral("Verified connections\nOptional AI to find websites")));
}

std::optional<std::size_t> Sidebar::heirOfFocus(const std::vector<SavedScan>& scans,
                                                std::size_t listed) const {
    const auto focused = std::find(rows_.begin(), rows_.end(), window()->focusWidget());
    if (focused == rows_.end() || !(*focused)->isVisible()) return std::nullopt;
    const auto at = std::size_t(focused - rows_.begin());
    for (std::size_t i = 0; i < listed; ++i)
        if (scans[i].id == (*focused)->scan().id) return i == at ? std::nullopt : std::optional(i);
    // The scan has left the list: the row stays where it was, or the last row
    // when the list no longer reaches it.
    if (at >= listed && listed > 0) return listed - 1;
    return std::nullopt;
}

void Sidebar::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) render();
    Backdrop::changeEvent(event);
}

void Sidebar::showMenu(const SavedScan& scan, const QPoint& where) {
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("ql-sidebar-scan-menu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* favorite =
        menu->addAction(scan.favorite ? AppLanguage::pick(QStringLiteral("Rimuovi dai preferiti"),
                                                          QStringLiteral("Remove favorite"))
                                      : AppLanguage::pick(QStringLiteral("Aggiungi ai preferiti"),
                                                          QStringLiteral("Add favorite")));
    QAction* collection = menu->addAction(AppLanguage::pick(
        QStringLiteral("Modifica raccolta\u2026"), QStringLiteral("Edit collection\u2026")));
    // The store's work runs after the menu has closed: the collection dialog is
    // modal and must not run inside the menu's own handler.
    connect(favorite, &QAction::triggered, this, [this, scan] {
        QMetaObject::invokeMethod(
            this, [this, scan] { store_.toggleFavorite(scan); }, Qt::QueuedConnection);
    });
    connect(collection, &QAction::triggered, this, [this, scan] {
        QMetaObject::invokeMethod(
            this, [this, scan] { store_.editCollection(scan); }, Qt::QueuedConnection);
    });
    menu->popup(where);
}

} // namespace quorilanth
