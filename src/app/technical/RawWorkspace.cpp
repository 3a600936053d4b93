#include "app/technical/RawWorkspace.h"

#include "app/kit/FocusOutline.h"
#include "app/kit/QLTheme.h"
#include "app/kit/RemoteText.h"
#include "app/kit/Symbols.h"
#include "app/kit/ViewKit.h"
#include "app/store/WorkspaceStore.h"
#include "app/technical/RawTextView.h"
#include "app/technical/SelectableText.h"
#include "app/technical/TechnicalKit.h"
#include "core/base/Url.h"
#include "core/report/ReportGenerator.h"

#include <QAbstractListModel>
#include <QButtonGroup>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QToolButton>

namespace quorilanth {

// The rows of the exchange list, read from the store's report as they are
// painted: the list never copies an exchange, let alone a body.
class EvidenceListModel final : public QAbstractListModel {
public:
    explicit EvidenceListModel(WorkspaceStore& store, QObject* parent)
        : QAbstractListModel(parent), store_(store) {}

    const Evidence* exchange(int row) const {
        const auto& report = store_.report();
        if (!report || row < 0 || std::size_t(row) >= report->evidence.size()) return nullptr;
        return &report->evidence[std::size_t(row)];
    }
    int rowCount(const QModelIndex& parent = {}) const override {
        const auto& report = store_.report();
        return parent.isValid() || !report
                   ? 0
                   : int(qMin<std::size_t>(report->evidence.size(), INT_MAX));
    }
    QVariant data(const QModelIndex& index, int role) const override {
        const Evidence* record = exchange(index.row());
        if (!record || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)) return {};
        return method(*record, 40) + QLatin1Char(' ') +
               QString::number(record->statusCode.value_or(0)) + QLatin1Char(' ') +
               location(*record);
    }
    void reset() {
        beginResetModel();
        ++generation;
        endResetModel();
    }

    // The id of the selected exchange: every row recorded under it is marked.
    std::optional<std::string> highlighted;
    // Counts the reports shown.
    std::uint64_t generation = 0;

    // The method as a file recorded it: its controls shown, so "\u202ETEG"
    // cannot pass for GET.
    static QString method(const Evidence& record, qsizetype limit) {
        return boundedText(record.method, limit);
    }
    // The path of the address, or the whole text when it is no URL.
    static QString location(const Evidence& record) {
        // No address the transport accepts is this long; a hand-edited one
        // is shown, not parsed at every paint.
        if (record.url.size() <= 8192)
            if (const std::optional<Url> url = Url::parse(record.url))
                return boundedText(url->path(), 2000);
        return boundedText(record.url, 2000);
    }

private:
    WorkspaceStore& store_;
};

namespace {

constexpr int rowPadding = 10;
constexpr int rowGap = 2;

QFont smallCode() {
    return QLTheme::font(9, QFont::Normal, QLTheme::Design::monospaced);
}
QFont code() {
    return QLTheme::font(10, QFont::Normal, QLTheme::Design::monospaced);
}

class EvidenceRowDelegate final : public QStyledItemDelegate {
public:
    EvidenceRowDelegate(EvidenceListModel& model, QObject* parent)
        : QStyledItemDelegate(parent), model_(model) {}

    // A location takes a second line only when it needs one.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const Evidence* record = model_.exchange(index.row());
        int lines = 1;
        if (record) {
            const auto* list = qobject_cast<const QAbstractScrollArea*>(option.widget);
            const int width = (list ? list->viewport()->width() : 160) - 2 * rowPadding;
            lines = locationLines(EvidenceListModel::location(*record), width);
        }
        return {160, headHeight_ + lines * codeMetrics_.height() + rowPadding + rowGap};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const Evidence* record = model_.exchange(index.row());
        if (!record) return;
        painter->save();
        const QRect row = option.rect.adjusted(0, 0, 0, -rowGap);
        if (model_.highlighted && record->id == *model_.highlighted)
            painter->fillRect(row, QLTheme::tint(QLTheme::accent(), 0.09));
        if (QLTheme::showsFocus(option)) QLTheme::paintFocus(*painter, QRectF(row), 4);
        const QRect inner = row.adjusted(rowPadding, rowPadding, -rowPadding, -rowPadding);

        // Texts sit on their baselines, unclipped, so no descender is cut.
        painter->setFont(smallCode());
        const QFontMetrics small(smallCode());
        const int baseline = inner.top() + small.ascent();
        const QString duration =
            QString::number(ReportGenerator::wholeMilliseconds(record->durationMS)) +
            QStringLiteral(" ms");
        const int durationWidth = small.horizontalAdvance(duration);
        painter->setPen(QLTheme::muted());
        painter->drawText(inner.right() + 1 - durationWidth, baseline, duration);
        const int room = qMax(0, inner.width() - durationWidth - 8);
        const std::int64_t status = record->statusCode.value_or(0);
        const auto [method, statusText] = rawRowHead(EvidenceListModel::method(*record, 200),
                                                     QString::number(status), smallCode(), room);
        painter->setPen(QLTheme::accent());
        painter->drawText(inner.left(), baseline, method);
        const bool expected = record->statusCode && status >= 200 && status <= 299;
        painter->setPen(expected ? QLTheme::muted() : QLTheme::attention());
        const int after =
            small.horizontalAdvance(method) + small.horizontalAdvance(QLatin1Char(' '));
        painter->drawText(inner.left() + after, baseline, statusText);

        painter->setFont(code());
        painter->setPen(QLTheme::foreground());
        const QFontMetrics metrics(code());
        int y = inner.top() + small.height() + 5;
        for (const QString& line :
             wrappedLines(EvidenceListModel::location(*record), code(), inner.width(), 2)) {
            painter->drawText(inner.left(), y + metrics.ascent(), line);
            y += metrics.height();
        }
        painter->restore();
    }

private:
    // Every row is measured when the list is laid out: a plain address in the
    // monospaced font is as wide as its characters, and one too wide for a
    // line takes the two it is allowed; only other text is laid out.
    int locationLines(const QString& location, int width) const {
        for (const QChar c : location)
            if (c.unicode() < 0x20 || c.unicode() > 0x7e)
                return int(qMax<qsizetype>(1, wrappedLines(location, codeFont_, width, 2).size()));
        return qreal(location.size()) * codeAdvance_ > width ? 2 : 1;
    }

    EvidenceListModel& model_;
    const QFont codeFont_ = code();
    const QFontMetrics codeMetrics_{codeFont_};
    const qreal codeAdvance_ = QFontMetricsF(codeFont_).horizontalAdvance(QLatin1Char('x'));
    const int headHeight_ = rowPadding + QFontMetrics(smallCode()).height() + 5;
};

} // namespace

std::pair<QString, QString> rawRowHead(const QString& method, const QString& status,
                                       const QFont& font, int room) {
    const QFontMetrics metrics(font);
    const QString oneLine = singleLine(method);
    const int space = metrics.horizontalAdvance(QLatin1Char(' '));
    // The status is a handful of digits: the method takes what they leave,
    // and never less than half, so a long status cannot hide it.
    const int methodRoom = qMax(room / 2, room - space - metrics.horizontalAdvance(status));
    const QString shown = metrics.elidedText(oneLine, Qt::ElideRight, methodRoom);
    const int left = room - metrics.horizontalAdvance(shown) - space;
    return {shown, metrics.elidedText(status, Qt::ElideRight, qMax(0, left))};
}

RawWorkspace::RawWorkspace(WorkspaceStore& store, const QString& pane, QWidget* parent)
    : QWidget(parent), store_(store), pane_(rawPane(pane)),
      renderer_(new CoalescedRender(this, [this] { render(); })),
      model_(new EvidenceListModel(store, this)) {
    setObjectName(QStringLiteral("ql-pane-Raw"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(16, 16, 16, 16);
    auto* title = new QLabel(QStringLiteral("HTTP & MCP TRACE"), this);
    title->setTextFormat(Qt::PlainText);
    title->setFont(QLTheme::font(10, QFont::DemiBold, QLTheme::Design::monospaced, 1));
    setTextColour(title, QLTheme::foreground());
    header->addWidget(title);
    header->addStretch(1);

    auto* picker = new QWidget(this);
    picker->setObjectName(QStringLiteral("ql-raw-view"));
    picker->setAccessibleName(QStringLiteral("View"));
    picker->setFixedWidth(250);
    auto* segments = new QHBoxLayout(picker);
    segments->setContentsMargins(0, 0, 0, 0);
    segments->setSpacing(0);
    auto* group = new QButtonGroup(picker);
    for (RawPane choice : {RawPane::request, RawPane::response, RawPane::headers}) {
        auto* segment = new QToolButton(picker);
        const QString name = rawPaneName(choice);
        segment->setObjectName(QStringLiteral("ql-raw-view-") + name.toLower());
        segment->setText(name);
        segment->setAccessibleName(name);
        segment->setCheckable(true);
        segment->setChecked(choice == pane_);
        segment->setFont(QLTheme::font(11));
        new FocusOutline(segment, 0);
        segment->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        group->addButton(segment);
        segments->addWidget(segment);
        segments_.append(segment);
        connect(segment, &QToolButton::clicked, this, [this, choice] { setPane(choice); });
    }
    picker->setStyleSheet(
        QStringLiteral("QToolButton { border: 1px solid %1; padding: 3px 0; color: %2;"
                       " background: transparent; }"
                       "QToolButton:checked { background: %3; color: white; }")
            .arg(QLTheme::line().name(QColor::HexArgb), QLTheme::foreground().name(),
                 QLTheme::tint(QColor(Qt::white), 0.16).name(QColor::HexArgb)));
    header->addWidget(picker);

    auto* copy = new QToolButton(this);
    copy->setObjectName(QStringLiteral("raw-copy"));
    copy->setText(QStringLiteral("Copy"));
    copy->setAccessibleName(QStringLiteral("Copy"));
    copy->setIcon(Symbols::icon(QStringLiteral("doc.on.doc"), QLTheme::accent(), 14));
    copy->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    copy->setAutoRaise(true);
    copy->setFont(QLTheme::font(11));
    setTextColour(copy, QLTheme::accent());
    connect(copy, &QToolButton::clicked, this, [this] {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(rawText());
    });
    header->addWidget(copy);
    column->addLayout(header);

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName(QStringLiteral("ql-raw-split"));
    split->setChildrenCollapsible(false);
    split->setHandleWidth(1);
    split->setStyleSheet(QStringLiteral("QSplitter::handle { background: %1; }")
                             .arg(QLTheme::line().name(QColor::HexArgb)));
    list_ = new QListView(split);
    list_->setObjectName(QStringLiteral("ql-raw-list"));
    list_->setAccessibleName(QStringLiteral("HTTP exchanges"));
    list_->setModel(model_);
    list_->setItemDelegate(new EvidenceRowDelegate(*model_, list_));
    // Rows are as tall as their locations; a narrower list lays them out again.
    list_->setResizeMode(QListView::Adjust);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setMinimumWidth(155);
    list_->setMaximumWidth(230);
    QPalette listPalette = list_->palette();
    listPalette.setColor(QPalette::Base, QLTheme::tint(QLTheme::panel(), 0.5));
    list_->setPalette(listPalette);
    connect(list_, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (const Evidence* record = model_->exchange(index.row()))
            store_.setSelectedEvidenceID(record->id);
    });
    connect(list_, &QListView::activated, list_, &QListView::clicked);
    text_ = new RawTextView(split);
    text_->setMinimumWidth(300);
    split->addWidget(list_);
    split->addWidget(text_);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({185, 800});
    column->addWidget(split, 1);

    // The list reads the report as it paints, so it learns of a new one at once.
    connect(&store_, &WorkspaceStore::reportChanged, model_, &EvidenceListModel::reset);
    for (auto signal : {&WorkspaceStore::reportChanged, &WorkspaceStore::selectedEvidenceIDChanged,
                        &WorkspaceStore::selectedIDChanged})
        connect(&store_, signal, renderer_, &CoalescedRender::request);
    render();
}

RawWorkspace::~RawWorkspace() = default;

void RawWorkspace::setPane(RawPane pane) {
    pane_ = pane;
    for (int i = 0; i < segments_.size(); ++i)
        segments_[i]->setChecked(i == int(pane));
    render();
}

const Evidence* RawWorkspace::currentExchange(std::optional<Evidence>& selected) const {
    selected = store_.selectedEvidence();
    if (selected) return &*selected;
    const auto& report = store_.report();
    if (!report || report->evidence.empty()) return nullptr;
    return &report->evidence.back();
}

QString RawWorkspace::rawText() const {
    std::optional<Evidence> selected;
    return QString::fromStdString(quorilanth::rawText(currentExchange(selected), pane_));
}

void RawWorkspace::render() {
    std::optional<Evidence> selected;
    const Evidence* current = currentExchange(selected);
    // An exchange never changes once recorded: the same one in the same form
    // in the same report needs no new text, which for a 2 MB body costs tens
    // of milliseconds.
    std::tuple shown{current ? current->id : std::string(), pane_, model_->generation};
    if (shown != shown_) {
        shown_ = std::move(shown);
        text_->setText(withoutDirectionControls(
            QString::fromStdString(quorilanth::rawText(current, pane_)), DirectionControls::shown));
    }

    // The keyboard's row goes to the exchange shown, the selected one (one of
    // the report's) or else the last, whenever that changes; in between, it
    // stays where the arrow keys took it.
    const auto rowOf = [&](const std::string& id) {
        const std::vector<Evidence>& evidence = store_.report()->evidence;
        const auto found = std::find_if(evidence.begin(), evidence.end(),
                                        [&](const Evidence& e) { return e.id == id; });
        return model_->index(int(found - evidence.begin()));
    };
    const std::string rowID = current ? current->id : std::string();
    if (rowID != keyboardRow_ || !list_->currentIndex().isValid()) {
        keyboardRow_ = rowID;
        // The row moves, the list does not: a scan adds rows under a reader.
        list_->setAutoScroll(false);
        list_->setCurrentIndex(current ? rowOf(rowID) : QModelIndex());
        list_->setAutoScroll(true);
    }

    std::optional<std::string> highlighted;
    if (selected) highlighted = selected->id;
    if (highlighted != model_->highlighted) {
        model_->highlighted = std::move(highlighted);
        list_->viewport()->update();
        if (selected) list_->scrollTo(rowOf(selected->id));
    }
}

} // namespace quorilanth
