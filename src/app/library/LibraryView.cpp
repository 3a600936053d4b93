#include "app/library/LibraryView.h"

#include "app/kit/FocusOutline.h"
#include "app/kit/QLTheme.h"
#include "app/kit/Symbols.h"
#include "app/library/LibraryText.h"
#include "app/store/AppLanguage.h"
#include "app/store/WorkspaceStore.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace quorilanth {
namespace {

constexpr int rowPadding = 19;

QFont siteFont() {
    return QLTheme::font(16, QFont::Medium);
}
QFont dateFont() {
    return QLTheme::font(12);
}
QFont collectionFont() {
    return QLTheme::font(11);
}
QFont scoreFont() {
    return QLTheme::font(16, QFont::Normal, QLTheme::Design::rounded);
}

// The height of the row's texts with a collection line; rows without one
// centre their two lines in the same height, so every row is alike.
int textBlockHeight() {
    return QFontMetrics(siteFont()).height() + 7 + QFontMetrics(dateFont()).height() + 7 +
           QFontMetrics(collectionFont()).height();
}

// The row's open button: symbol, site, date, collection, score and arrow, all
// of it clickable.
class OpenButton : public QAbstractButton {
public:
    explicit OpenButton(QWidget* parent) : QAbstractButton(parent) {
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    }
    void bind(const SavedScan& scan) {
        site_ = scanSite(scan);
        date_ = scanDate(scan.date);
        collection_ = scan.collection.value_or(QString());
        score_ = QString::number(scan.score) + QStringLiteral("/100");
        setAccessibleName(site_ + QStringLiteral(", ") + date_ + QStringLiteral(", ") + score_);
        update();
    }
    QSize sizeHint() const override { return {300, textBlockHeight()}; }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (!opensScan(event)) {
            QAbstractButton::keyPressEvent(event);
            return;
        }
        if (!event->isAutoRepeat()) click();
        event->accept();
    }
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal ratio = devicePixelRatioF();
        painter.drawPixmap(0, (height() - 22) / 2,
                           Symbols::pixmap(QStringLiteral("doc.text.magnifyingglass"),
                                           QLTheme::accent(), 22, ratio));
        const int arrowSize = 13;
        const int arrowX = width() - arrowSize;
        painter.drawPixmap(
            arrowX, (height() - arrowSize) / 2,
            Symbols::pixmap(QStringLiteral("arrow.up.right"), QLTheme::muted(), arrowSize, ratio));
        const QFontMetrics scoreMetrics(scoreFont());
        const int scoreWidth = scoreMetrics.horizontalAdvance(score_);
        const int scoreX = arrowX - 16 - scoreWidth;
        painter.setFont(scoreFont());
        painter.setPen(QLTheme::accent());
        painter.drawText(QRect(scoreX, 0, scoreWidth, height()), Qt::AlignVCenter | Qt::AlignRight,
                         score_);

        const int left = 22 + 16;
        const int textWidth = qMax(0, scoreX - 16 - left);
        struct Line {
            QFont font;
            QColor colour;
            QString text;
            int indent;
        };
        std::vector<Line> lines{{siteFont(), QLTheme::foreground(), site_, 0},
                                {dateFont(), QLTheme::muted(), date_, 0}};
        if (!collection_.isEmpty())
            lines.push_back({collectionFont(), QLTheme::accent(), collection_, 11 + 5});
        int blockHeight = -7;
        for (const Line& line : lines)
            blockHeight += QFontMetrics(line.font).height() + 7;
        int y = (height() - blockHeight) / 2;
        for (const Line& line : lines) {
            const QFontMetrics metrics(line.font);
            if (line.indent)
                painter.drawPixmap(
                    left, y + (metrics.height() - 11) / 2,
                    Symbols::pixmap(QStringLiteral("square.stack"), line.colour, 11, ratio));
            painter.setFont(line.font);
            painter.setPen(line.colour);
            const int width = qMax(0, textWidth - line.indent);
            painter.drawText(QRect(left + line.indent, y, width, metrics.height()),
                             Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                             metrics.elidedText(line.text, Qt::ElideRight, width));
            y += metrics.height() + 7;
        }
        if (QLTheme::showsFocus(*this)) QLTheme::paintFocus(painter, QRectF(rect()), 6);
    }

private:
    QString site_, date_, collection_, score_;
};

QToolButton* rowButton(QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setIconSize(QSize(16, 16));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QPushButton* borderedButton(QWidget* parent, const QString& name) {
    auto* button = new BorderedButton(QString(), parent);
    button->setObjectName(name);
    return button;
}

} // namespace

LibraryRow::LibraryRow(Actions actions, QWidget* parent)
    : QWidget(parent), marked_(Symbols::icon(QStringLiteral("star.fill"), QLTheme::accent(), 16)),
      unmarked_(Symbols::icon(QStringLiteral("star"), QLTheme::muted(), 16)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(rowPadding, rowPadding, rowPadding, rowPadding);
    row->setSpacing(16);
    auto* open = new OpenButton(this);
    open_ = open;
    row->addWidget(open_, 1);
    row->addWidget(new Swatch(1, 36, QLTheme::line(), this));
    favorite_ = rowButton(this);
    row->addWidget(favorite_);
    collection_ = rowButton(this);
    collection_->setIcon(
        Symbols::icon(QStringLiteral("folder.badge.plus"), QLTheme::foreground(), 16));
    row->addWidget(collection_);
    connect(open_, &QAbstractButton::clicked, this, [this, run = actions.open] { run(scan_); });
    connect(favorite_, &QToolButton::clicked, this, [this, run = actions.favorite] { run(scan_); });
    connect(collection_, &QToolButton::clicked, this,
            [this, run = actions.collection] { run(scan_); });
}

int LibraryRow::rowHeight() {
    return rowPadding + qMax(textBlockHeight(), 36) + rowPadding;
}

void LibraryRow::bind(const SavedScan& scan) {
    scan_ = scan;
    static_cast<OpenButton*>(open_)->bind(scan);
    open_->setObjectName(QStringLiteral("library-open-") + scan.id);
    favorite_->setObjectName(QStringLiteral("library-favorite-") + scan.id);
    collection_->setObjectName(QStringLiteral("library-collection-") + scan.id);
    favorite_->setIcon(scan.favorite ? marked_ : unmarked_);
    const QString favoriteTip = scan.favorite
                                    ? AppLanguage::pick(QStringLiteral("Rimuovi dai preferiti"),
                                                        QStringLiteral("Remove favorite"))
                                    : AppLanguage::pick(QStringLiteral("Aggiungi ai preferiti"),
                                                        QStringLiteral("Add favorite"));
    favorite_->setToolTip(favoriteTip);
    favorite_->setAccessibleName(favoriteTip);
    const QString collectionTip =
        AppLanguage::pick(QStringLiteral("Modifica raccolta"), QStringLiteral("Edit collection"));
    collection_->setToolTip(collectionTip);
    collection_->setAccessibleName(collectionTip);
}

void LibraryRow::unbind() {
    for (QWidget* control : {static_cast<QWidget*>(open_), static_cast<QWidget*>(favorite_),
                             static_cast<QWidget*>(collection_)})
        control->setObjectName(QString());
}

void LibraryRow::paintEvent(QPaintEvent*) {
    paintCard(this, 10);
}

LibraryList::LibraryList(LibraryRow::Actions actions, QWidget* parent)
    : QAbstractScrollArea(parent), actions_(std::move(actions)) {
    setAccessibleRole(this, QAccessible::List);
    setObjectName(QStringLiteral("ql-library-list"));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setAutoFillBackground(false);
    // The list keeps its focus: only the rows in view exist, and the keys
    // that scroll it are the keyboard's one way to the rows below.
    new FocusOutline(this, 10);
}

void LibraryList::setScans(std::vector<SavedScan> scans) {
    scans_ = std::move(scans);
    layoutRows();
}

void LibraryList::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    layoutRows();
}

void LibraryList::scrollContentsBy(int, int) {
    layoutRows();
}

void LibraryList::layoutRows() {
    const int height = LibraryRow::rowHeight();
    const int step = height + rowSpacing;
    const int total = scans_.empty() ? 0 : int(scans_.size()) * step - rowSpacing;
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, qMax(0, total - viewport()->height()));
    bar->setPageStep(viewport()->height());
    bar->setSingleStep(step / 3);
    const int top = bar->value();
    const int first = top / step;
    const int last = qMin(int(scans_.size()), (top + viewport()->height()) / step + 1);
    const std::size_t needed = std::size_t(qMax(0, last - first));
    while (pool_.size() < needed) {
        auto* row = new LibraryRow(actions_, viewport());
        pool_.push_back(row);
    }
    for (std::size_t slot = 0; slot < pool_.size(); ++slot) {
        LibraryRow* row = pool_[slot];
        if (slot >= needed) {
            row->hide();
            row->unbind();
            continue;
        }
        const int index = first + int(slot);
        row->bind(scans_[std::size_t(index)]);
        row->setGeometry(0, index * step - top, viewport()->width(), height);
        row->show();
    }
}

LibraryView::LibraryView(WorkspaceStore& store, QWidget* parent)
    : QWidget(parent), store_(store), renderer_(new CoalescedRender(this, [this] { render(); })) {
    setObjectName(QStringLiteral("ql-library"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(30, 30, 30, 30);
    column->setSpacing(20);

    auto* header = new QHBoxLayout;
    auto* titles = new QVBoxLayout;
    titles->setSpacing(9);
    title_ = new QLabel(this);
    title_->setObjectName(QStringLiteral("library-title"));
    title_->setTextFormat(Qt::PlainText);
    title_->setFont(QLTheme::font(34, QFont::Light));
    setTextColour(title_, QLTheme::foreground());
    titles->addWidget(title_);
    subtitle_ = new QLabel(this);
    subtitle_->setObjectName(QStringLiteral("ql-library-subtitle"));
    subtitle_->setTextFormat(Qt::PlainText);
    subtitle_->setFont(QLTheme::font(13));
    setTextColour(subtitle_, QLTheme::muted());
    titles->addWidget(subtitle_);
    header->addLayout(titles);
    header->addStretch(1);
    back_ = borderedButton(this, QStringLiteral("library-back"));
    connect(back_, &QPushButton::clicked, this, [this] { store_.setShowLibrary(false); });
    header->addWidget(back_, 0, Qt::AlignTop);
    newScan_ = borderedButton(this, QStringLiteral("library-new"));
    connect(newScan_, &QPushButton::clicked, this, [this] { store_.newScan(); });
    header->addWidget(newScan_, 0, Qt::AlignTop);
    column->addLayout(header);

    auto* searchCard = new QFrame(this);
    searchCard->setObjectName(QStringLiteral("ql-library-search-row"));
    searchCard->setStyleSheet(QStringLiteral("#ql-library-search-row { background: %1; "
                                             "border-radius: 8px; }")
                                  .arg(QLTheme::panel().name()));
    auto* searchRow = new QHBoxLayout(searchCard);
    searchRow->setContentsMargins(14, 14, 14, 14);
    auto* glass = new QLabel(searchCard);
    glass->setPixmap(Symbols::pixmap(QStringLiteral("magnifyingglass"), QLTheme::muted(), 15,
                                     devicePixelRatioF()));
    searchRow->addWidget(glass);
    search_ = new QLineEdit(searchCard);
    search_->setObjectName(QStringLiteral("library-search"));
    search_->setFrame(false);
    search_->setFont(QLTheme::font(13));
    QPalette fieldPalette = search_->palette();
    fieldPalette.setColor(QPalette::Base, Qt::transparent);
    search_->setPalette(fieldPalette);
    connect(search_, &QLineEdit::textEdited, this,
            [this](const QString& text) { store_.setLibrarySearch(text); });
    searchRow->addWidget(search_, 1);
    clear_ = new QToolButton(searchCard);
    clear_->setObjectName(QStringLiteral("library-clear"));
    clear_->setAutoRaise(true);
    clear_->setIcon(Symbols::icon(QStringLiteral("xmark.circle.fill"), QLTheme::muted(), 14));
    clear_->setIconSize(QSize(14, 14));
    connect(clear_, &QToolButton::clicked, this, [this] { store_.setLibrarySearch(QString()); });
    searchRow->addWidget(clear_);
    filterBox_ = new QWidget(searchCard);
    filterBox_->setFixedWidth(250);
    auto* filterRow = new QHBoxLayout(filterBox_);
    filterRow->setContentsMargins(0, 0, 0, 0);
    filterLabel_ = new QLabel(filterBox_);
    filterLabel_->setTextFormat(Qt::PlainText);
    filterLabel_->setFont(QLTheme::font(13));
    filterRow->addWidget(filterLabel_);
    filter_ = new QComboBox(filterBox_);
    filter_->setObjectName(QStringLiteral("collection-filter"));
    filter_->setFont(QLTheme::font(13));
    filter_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    filter_->setMinimumContentsLength(8);
    filterLabel_->setBuddy(filter_);
    connect(filter_, &QComboBox::activated, this,
            [this](int index) { store_.setCollectionFilter(filter_->itemData(index).toString()); });
    filterRow->addWidget(filter_, 1);
    searchRow->addWidget(filterBox_);
    count_ = new QLabel(searchCard);
    count_->setObjectName(QStringLiteral("ql-library-count"));
    count_->setFont(QLTheme::font(13, QFont::Normal, QLTheme::Design::monospaced));
    setTextColour(count_, QLTheme::muted());
    searchRow->addWidget(count_);
    column->addWidget(searchCard);

    body_ = new QStackedWidget(this);
    empty_ = new QWidget(body_);
    auto* emptyColumn = new QVBoxLayout(empty_);
    emptyColumn->setSpacing(15);
    emptyColumn->addStretch(1);
    emptySymbol_ = new QLabel(empty_);
    emptyColumn->addWidget(emptySymbol_, 0, Qt::AlignHCenter);
    emptyTitle_ = new QLabel(empty_);
    emptyTitle_->setObjectName(QStringLiteral("library-empty"));
    emptyTitle_->setTextFormat(Qt::PlainText);
    emptyTitle_->setFont(QLTheme::font(21));
    setTextColour(emptyTitle_, QLTheme::foreground());
    emptyColumn->addWidget(emptyTitle_, 0, Qt::AlignHCenter);
    emptyDetail_ = new SpacedText(empty_);
    emptyDetail_->setObjectName(QStringLiteral("ql-library-empty-detail"));
    emptyDetail_->setFont(QLTheme::font(13));
    emptyDetail_->setColour(QLTheme::muted());
    emptyDetail_->setCentred(true);
    emptyDetail_->setWrapping(520);
    emptyDetail_->setMaximumWidth(520);
    emptyColumn->addWidget(emptyDetail_, 0, Qt::AlignHCenter);
    emptyButton_ = borderedButton(empty_, QStringLiteral("ql-library-empty-action"));
    connect(emptyButton_, &QPushButton::clicked, this, [this] { runEmptyAction(); });
    emptyColumn->addWidget(emptyButton_, 0, Qt::AlignHCenter);
    emptyColumn->addStretch(1);
    body_->addWidget(empty_);
    // Row actions run after the click has been handled: opening a scan leaves
    // the library, and the collection prompt is modal.
    list_ = new LibraryList(
        {[this](const SavedScan& scan) { later([this, scan] { store_.load(scan); }); },
         [this](const SavedScan& scan) { later([this, scan] { store_.toggleFavorite(scan); }); },
         [this](const SavedScan& scan) { later([this, scan] { store_.editCollection(scan); }); }},
        body_);
    body_->addWidget(list_);
    column->addWidget(body_, 1);

    for (auto signal :
         {&WorkspaceStore::librarySectionChanged, &WorkspaceStore::librarySearchChanged,
          &WorkspaceStore::collectionFilterChanged, &WorkspaceStore::reportChanged,
          &WorkspaceStore::historyChanged, &WorkspaceStore::showLibraryChanged})
        connect(&store_, signal, renderer_, &CoalescedRender::request);
    render();
}

void LibraryView::later(std::function<void()> work) {
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void LibraryView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) render();
    QWidget::changeEvent(event);
}

void LibraryView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (stale_) render();
}

void LibraryView::render() {
    const QString section = store_.librarySection();
    const bool collections = section == QLatin1String("Collections");
    title_->setText(libraryTitle(section));
    list_->setAccessibleName(title_->text());
    subtitle_->setText(
        section == QLatin1String("Recent")
            ? AppLanguage::pick(QStringLiteral("Le ultime 20 scansioni salvate sul computer."),
                                QStringLiteral("The last 20 scans saved on this computer."))
            : AppLanguage::pick(
                  QStringLiteral("Riapri un risultato salvato, senza ripetere la scansione."),
                  QStringLiteral("Reopen a saved result without scanning again.")));
    back_->setText(
        AppLanguage::pick(QStringLiteral("Torna alla scansione"), QStringLiteral("Back to scan")));
    back_->setVisible(store_.report().has_value());
    newScan_->setText(
        AppLanguage::pick(QStringLiteral("Nuova scansione"), QStringLiteral("New scan")));

    // Rewriting the same text would move the cursor while the user types.
    if (search_->text() != store_.librarySearch()) search_->setText(store_.librarySearch());
    search_->setPlaceholderText(AppLanguage::pick(QStringLiteral("Cerca un dominio o una raccolta"),
                                                  QStringLiteral("Search domains or collections")));
    search_->setAccessibleName(search_->placeholderText());
    const QString clearTip =
        AppLanguage::pick(QStringLiteral("Cancella ricerca"), QStringLiteral("Clear search"));
    clear_->setToolTip(clearTip);
    clear_->setAccessibleName(clearTip);
    clear_->setVisible(!store_.librarySearch().isEmpty());

    filterBox_->setVisible(collections);
    const bool filtered = !store_.librarySearch().isEmpty() || !store_.collectionFilter().isEmpty();
    // The empty state costs nothing to word; the list costs a pass over the
    // whole index. A scan in progress changes the report many times a second
    // while the page is usually hidden: a hidden page lists when shown.
    renderEmptyState(filtered);
    stale_ = !isVisible();
    if (stale_) return;
    if (collections) {
        const QString label =
            AppLanguage::pick(QStringLiteral("Raccolta"), QStringLiteral("Collection"));
        filterLabel_->setText(label);
        filter_->setAccessibleName(label);
        QStringList choices{QString()};
        choices += store_.collectionNames();
        const QString allLabel = AppLanguage::pick(QStringLiteral("Tutte le raccolte"),
                                                   QStringLiteral("All collections"));
        bool same = filter_->count() == choices.size() && filter_->itemText(0) == allLabel;
        for (int i = 1; same && i < choices.size(); ++i)
            same = filter_->itemData(i).toString() == choices[i];
        if (!same) {
            const QSignalBlocker quiet(filter_);
            filter_->clear();
            filter_->addItem(allLabel, QString());
            for (qsizetype i = 1; i < choices.size(); ++i)
                filter_->addItem(choices[i], choices[i]);
        }
        const QSignalBlocker quiet(filter_);
        filter_->setCurrentIndex(int(choices.indexOf(store_.collectionFilter())));
    }

    std::vector<SavedScan> scans = store_.libraryScans();
    count_->setText(QString::number(scans.size()));
    body_->setCurrentWidget(scans.empty() ? empty_ : static_cast<QWidget*>(list_));
    list_->setScans(std::move(scans));
}

void LibraryView::renderEmptyState(bool filtered) {
    const QString section = store_.librarySection();
    const bool favorites = section == QLatin1String("Favorites");
    const bool collections = section == QLatin1String("Collections");
    emptySymbol_->setPixmap(
        Symbols::pixmap(favorites ? QStringLiteral("star") : QStringLiteral("tray"),
                        QLTheme::accent(), 32, devicePixelRatioF()));
    if (filtered) {
        emptyTitle_->setText(
            AppLanguage::pick(QStringLiteral("Nessun risultato"), QStringLiteral("No results")));
        emptyDetail_->setText(
            AppLanguage::pick(QStringLiteral("Prova un altro dominio o rimuovi i filtri."),
                              QStringLiteral("Try another domain or clear the filters.")));
    } else if (favorites) {
        emptyTitle_->setText(AppLanguage::pick(QStringLiteral("Nessun preferito"),
                                               QStringLiteral("No favorites yet")));
        emptyDetail_->setText(AppLanguage::pick(
            QStringLiteral("Apri Cronologia e premi la stella accanto a una scansione."),
            QStringLiteral("Open History and click the star beside a scan.")));
    } else if (collections) {
        emptyTitle_->setText(AppLanguage::pick(QStringLiteral("Nessuna raccolta"),
                                               QStringLiteral("No collections yet")));
        emptyDetail_->setText(AppLanguage::pick(
            QStringLiteral("Apri Cronologia e usa il pulsante della cartella per assegnare una "
                           "scansione a una raccolta."),
            QStringLiteral(
                "Open History and use the folder button to assign a scan to a collection.")));
    } else {
        emptyTitle_->setText(AppLanguage::pick(QStringLiteral("Nessuna scansione salvata"),
                                               QStringLiteral("No saved scans yet")));
        emptyDetail_->setText(AppLanguage::pick(
            QStringLiteral("Le scansioni completate e i report importati appariranno qui."),
            QStringLiteral("Completed scans and imported reports will appear here.")));
    }
    if (filtered) {
        emptyAction_ = EmptyAction::clearFilters;
        emptyButton_->setText(
            AppLanguage::pick(QStringLiteral("Rimuovi filtri"), QStringLiteral("Clear filters")));
    } else if (section != QLatin1String("History") && !store_.history().empty()) {
        emptyAction_ = EmptyAction::openHistory;
        emptyButton_->setText(
            AppLanguage::pick(QStringLiteral("Apri cronologia"), QStringLiteral("Open history")));
    } else {
        emptyAction_ = EmptyAction::newScan;
        emptyButton_->setText(
            AppLanguage::pick(QStringLiteral("Esplora un sito"), QStringLiteral("Explore a site")));
    }
}

void LibraryView::runEmptyAction() {
    switch (emptyAction_) {
    case EmptyAction::clearFilters:
        store_.setLibrarySearch(QString());
        store_.setCollectionFilter(QString());
        break;
    case EmptyAction::openHistory:
        store_.openLibrary(QStringLiteral("History"));
        break;
    case EmptyAction::newScan:
        store_.newScan();
        break;
    }
}

} // namespace quorilanth
