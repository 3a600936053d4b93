#include "app/technical/NodeInspector.h"

#include "app/kit/ExternalURL.h"
#include "app/kit/QLTheme.h"
#include "app/kit/StatusBadge.h"
#include "app/kit/Symbols.h"
#include "app/kit/ViewKit.h"
#include "app/store/WorkspaceStore.h"
#include "app/technical/JSONTree.h"
#include "app/technical/SelectableText.h"
#include "app/technical/TechnicalKit.h"
#include "app/technical/ToolRunner.h"
#include "core/base/Date.h"
#include "core/net/NetworkPolicy.h"
#include "core/report/ReportGenerator.h"

#include <QAbstractListModel>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <unordered_map>

namespace quorilanth {

// The relationship rows: their texts, cut to what a row can show, and the
// id each one selects.
class RelationListModel final : public QAbstractListModel {
public:
    struct Row {
        QString relation;
        QString name;
        QString locator;
        bool outgoing;
        std::string other;
    };

    using QAbstractListModel::QAbstractListModel;

    void setRows(std::vector<Row> rows) {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
    }
    const Row* row(int index) const {
        return index >= 0 && std::size_t(index) < rows_.size() ? &rows_[std::size_t(index)]
                                                               : nullptr;
    }
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(qMin<std::size_t>(rows_.size(), INT_MAX));
    }
    QVariant data(const QModelIndex& index, int role) const override {
        const Row* shown = row(index.row());
        if (!shown || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)) return {};
        return shown->relation + QLatin1Char(' ') + shown->name;
    }

private:
    std::vector<Row> rows_;
};

namespace {

// A row's texts are one line each but the locator's two; nothing longer is seen.
constexpr qsizetype rowTextLimit = 300;
constexpr int sectionSpacing = 19;
constexpr int rowPadding = 9;

QFont relationFont() {
    return QLTheme::font(10);
}
QFont locatorFont() {
    return QLTheme::font(9, QFont::Normal, QLTheme::Design::monospaced);
}

class RelationDelegate final : public QStyledItemDelegate {
public:
    RelationDelegate(RelationListModel& model, QListView* view)
        : QStyledItemDelegate(view), model_(model), view_(view) {}

    // The locator takes a second line only when it needs one.
    int cardHeight(const RelationListModel::Row& row) const {
        const int width = view_->viewport()->width() - 2 * rowPadding;
        const int lines =
            QFontMetrics(locatorFont()).horizontalAdvance(row.locator) > width ? 2 : 1;
        const int line = QFontMetrics(relationFont()).height();
        return rowPadding + line + 5 + line + 5 + lines * QFontMetrics(locatorFont()).height() +
               rowPadding;
    }

    // The space between cards lies under each but the last, so that the
    // rows end where the list does.
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override {
        const RelationListModel::Row* row = model_.row(index.row());
        const int gap = index.row() + 1 < model_.rowCount() ? sectionSpacing : 0;
        return {200, row ? cardHeight(*row) + gap : 0};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const RelationListModel::Row* row = model_.row(index.row());
        if (!row) return;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const QRect card(option.rect.left(), option.rect.top(), option.rect.width(),
                         cardHeight(*row));
        QPainterPath shape;
        shape.addRoundedRect(QRectF(card), 5, 5);
        painter->fillPath(shape, QLTheme::background());
        if (QLTheme::showsFocus(option)) QLTheme::paintFocus(*painter, QRectF(card), 5);
        const QRect inner = card.adjusted(rowPadding, rowPadding, -rowPadding, -rowPadding);
        const QFontMetrics metrics(relationFont());
        const int line = metrics.height();
        painter->setFont(relationFont());
        const int ascent = metrics.ascent();
        const int icon = line - 2;
        painter->drawPixmap(QRect(inner.left(), inner.top() + 1, icon, icon),
                            Symbols::pixmap(row->outgoing ? QStringLiteral("arrow.down.right")
                                                          : QStringLiteral("arrow.up.left"),
                                            QLTheme::accent(), icon,
                                            painter->device()->devicePixelRatioF()));
        const QRect relation(inner.left() + icon + 5, inner.top(), inner.width() - icon - 5, line);
        // Drawn on their baselines, unclipped, so no descender is cut.
        painter->setPen(QLTheme::accent());
        painter->drawText(relation.left(), relation.top() + ascent,
                          metrics.elidedText(row->relation, Qt::ElideRight, relation.width()));
        const int nameTop = relation.bottom() + 1 + 5;
        painter->setPen(QLTheme::tint(Qt::white, 0.8));
        painter->drawText(inner.left(), nameTop + ascent,
                          metrics.elidedText(row->name, Qt::ElideRight, inner.width()));
        painter->setFont(locatorFont());
        painter->setPen(QLTheme::muted());
        const QFontMetrics locator(locatorFont());
        int y = nameTop + line + 5;
        for (const QString& text : wrappedLines(row->locator, locatorFont(), inner.width(), 2)) {
            painter->drawText(inner.left(), y + locator.ascent(), text);
            y += locator.height();
        }
        painter->restore();
    }

private:
    RelationListModel& model_;
    QListView* view_;
};

QString rowText(std::string_view text) {
    return boundedText(text, rowTextLimit);
}

} // namespace

NodeInspector::NodeInspector(WorkspaceStore& store, QWidget* parent)
    : QWidget(parent), store_(store), renderer_(new CoalescedRender(this, [this] { render(); })) {
    setObjectName(QStringLiteral("ql-inspector"));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QLTheme::panel());
    palette.setColor(QPalette::WindowText, QLTheme::foreground());
    setPalette(palette);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(18, 18, 18, 18);
    auto* title = sectionCaption(QStringLiteral("INSPECTOR"), this);
    title->setFont(QLTheme::font(9, QFont::DemiBold, QLTheme::Design::monospaced, 1.6));
    header->addWidget(title);
    header->addStretch(1);
    auto* sliders = new QLabel(this);
    sliders->setPixmap(Symbols::pixmap(QStringLiteral("slider.horizontal.3"), QLTheme::muted(), 14,
                                       devicePixelRatioF()));
    header->addWidget(sliders);
    column->addLayout(header);
    column->addWidget(divider(this));

    pages_ = new QStackedWidget(this);
    column->addWidget(pages_, 1);

    auto* empty = new QWidget(pages_);
    empty->setObjectName(QStringLiteral("ql-inspector-empty"));
    auto* emptyColumn = new QVBoxLayout(empty);
    emptyColumn->setSpacing(16);
    emptyColumn->addStretch(1);
    auto* pointer = new QLabel(empty);
    pointer->setPixmap(Symbols::pixmap(QStringLiteral("cursorarrow.rays"),
                                       QLTheme::tint(QLTheme::accent(), 0.65), 28,
                                       devicePixelRatioF()));
    pointer->setAlignment(Qt::AlignCenter);
    emptyColumn->addWidget(pointer);
    auto* invitation = new QLabel(QStringLiteral("Select an observation"), empty);
    invitation->setTextFormat(Qt::PlainText);
    invitation->setFont(QLTheme::font(13, QFont::Medium));
    invitation->setAlignment(Qt::AlignCenter);
    emptyColumn->addWidget(invitation);
    auto* hint = new SpacedText(empty);
    hint->setFont(QLTheme::font(11));
    hint->setColour(QLTheme::muted());
    hint->setLineSpacing(5);
    hint->setCentred(true);
    hint->setText(QStringLiteral(
        "Click a node or an inventory row\nto inspect its source, protocol\nand raw evidence."));
    emptyColumn->addWidget(hint);
    emptyColumn->addStretch(1);
    pages_->addWidget(empty);

    connect(&store_, &WorkspaceStore::reportChanged, this, [this] { ++reportGeneration_; });
    for (auto signal : {&WorkspaceStore::reportChanged, &WorkspaceStore::selectedIDChanged,
                        &WorkspaceStore::selectedEvidenceIDChanged})
        connect(&store_, signal, renderer_, &CoalescedRender::request);
    render();
}

NodeInspector::~NodeInspector() = default;

void NodeInspector::buildDetail() {
    scroll_ = new QScrollArea(pages_);
    scroll_->setObjectName(QStringLiteral("ql-inspector-scroll"));
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // What it holds takes focus in turn, and the area scrolls to it.
    scroll_->setFocusPolicy(Qt::NoFocus);
    scroll_->viewport()->setAutoFillBackground(false);
    content_ = new QWidget(scroll_);
    content_->setObjectName(QStringLiteral("ql-inspector-content"));
    stack_ = new QVBoxLayout(content_);
    stack_->setContentsMargins(18, 18, 18, 18);
    stack_->setSpacing(sectionSpacing);

    auto* identity = new QHBoxLayout;
    kindIcon_ = new QLabel(content_);
    kindIcon_->setObjectName(QStringLiteral("ql-inspector-kind-symbol"));
    identity->addWidget(kindIcon_);
    identity->addStretch(1);
    badge_ = new StatusBadge(FindingStatus::pending, content_);
    identity->addWidget(badge_);
    stack_->addLayout(identity);

    auto* titleBlock = new QVBoxLayout;
    titleBlock->setSpacing(7);
    label_ = new SelectableText(content_);
    label_->setObjectName(QStringLiteral("ql-inspector-label"));
    label_->setFont(QLTheme::font(20, QFont::Medium));
    titleBlock->addWidget(label_);
    kindName_ = new QLabel(content_);
    kindName_->setObjectName(QStringLiteral("ql-inspector-kind"));
    kindName_->setTextFormat(Qt::PlainText);
    kindName_->setFont(QLTheme::font(9, QFont::Normal, QLTheme::Design::monospaced, 1.5));
    titleBlock->addWidget(kindName_);
    stack_->addLayout(titleBlock);

    location_ = new QWidget(content_);
    auto* locationBlock = new QVBoxLayout(location_);
    locationBlock->setContentsMargins(0, 0, 0, 0);
    locationBlock->setSpacing(7);
    locationBlock->addWidget(sectionCaption(QStringLiteral("LOCATION"), location_));
    url_ = new SelectableText(location_);
    url_->setObjectName(QStringLiteral("ql-inspector-url"));
    url_->setFont(QLTheme::font(11, QFont::Normal, QLTheme::Design::monospaced));
    url_->setColour(QLTheme::accent());
    locationBlock->addWidget(url_);
    auto* actions = new QHBoxLayout;
    actions->setSpacing(14);
    auto* copyURL =
        textButton(QStringLiteral("Copy URL"), QStringLiteral("ql-inspector-copy-url"), location_);
    connect(copyURL, &QPushButton::clicked, this, [this] {
        const GraphNode* node = selectedNode();
        if (!node || !node->url) return;
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(QString::fromStdString(*node->url));
    });
    actions->addWidget(copyURL);
    openPage_ = textButton(QStringLiteral("Open page"), QStringLiteral("ql-inspector-open-page"),
                           location_);
    connect(openPage_, &QPushButton::clicked, this, [this] {
        const GraphNode* node = selectedNode();
        if (!node || !node->url) return;
        if (const std::optional<std::string> url = openableURL(*node->url))
            openExternalURL(QUrl::fromEncoded(QByteArray::fromStdString(*url), QUrl::StrictMode));
    });
    actions->addWidget(openPage_);
    actions->addStretch(1);
    locationBlock->addLayout(actions);
    stack_->addWidget(location_);

    summary_ = new SelectableText(content_);
    summary_->setObjectName(QStringLiteral("ql-inspector-summary"));
    summary_->setFont(QLTheme::font(11));
    summary_->setColour(QLTheme::muted());
    summary_->setLineSpacing(4);
    stack_->addWidget(summary_);

    issues_ = new QWidget(content_);
    issues_->setObjectName(QStringLiteral("ql-inspector-issues"));
    auto* issueRows = new QVBoxLayout(issues_);
    issueRows->setContentsMargins(0, 0, 0, 0);
    issueRows->setSpacing(sectionSpacing);
    stack_->addWidget(issues_);

    exchangeDivider_ = divider(content_);
    stack_->addWidget(exchangeDivider_);
    exchange_ = new QWidget(content_);
    exchange_->setObjectName(QStringLiteral("ql-inspector-exchange"));
    auto* pairs = new QVBoxLayout(exchange_);
    pairs->setContentsMargins(0, 0, 0, 0);
    pairs->setSpacing(10);
    for (const char* name :
         {"HTTP STATUS", "CONTENT TYPE", "LATENCY", "TLS", "REMOTE IP", "OBSERVED"}) {
        // Each item is aligned to the top, not the row: a row aligned as a
        // whole is laid out in the height of one line, and a value that
        // wraps would lose every line after its first.
        auto* pair = new QHBoxLayout;
        QLabel* label = sectionCaption(QString::fromLatin1(name), exchange_);
        pair->addWidget(label, 0, Qt::AlignTop);
        pair->addStretch(1);
        auto* value = new SelectableText(exchange_);
        value->setFont(QLTheme::font(10, QFont::Normal, QLTheme::Design::monospaced));
        value->setTextAlignment(Qt::AlignRight);
        value->setAccessibleDescription(label->text());
        pair->addWidget(value, 0, Qt::AlignTop);
        pairs->addLayout(pair);
        facts_.push_back(value);
    }
    stack_->addWidget(exchange_);

    runnerDivider_ = divider(content_);
    stack_->addWidget(runnerDivider_);
    stack_->addWidget(divider(content_));

    auto* dataHeader = new QHBoxLayout;
    dataHeader->addWidget(sectionCaption(QStringLiteral("STRUCTURED DATA"), content_));
    dataHeader->addStretch(1);
    auto* copyData = new QToolButton(content_);
    copyData->setObjectName(QStringLiteral("ql-inspector-copy-data"));
    copyData->setAccessibleName(QStringLiteral("Copy"));
    copyData->setToolTip(QStringLiteral("Copy"));
    copyData->setIcon(Symbols::icon(QStringLiteral("doc.on.doc"), QLTheme::accent(), 13));
    copyData->setAutoRaise(true);
    copyData->setCursor(Qt::PointingHandCursor);
    connect(copyData, &QToolButton::clicked, this, [this] {
        const GraphNode* node = selectedNode();
        if (!node) return;
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(QString::fromStdString(node->metadata.pretty()));
    });
    dataHeader->addWidget(copyData);
    auto* raw = textButton(QStringLiteral("RAW"), QStringLiteral("ql-inspector-raw"), content_);
    connect(raw, &QPushButton::clicked, this, [this] { store_.setTab(WorkspaceTab::raw); });
    dataHeader->addWidget(raw);
    stack_->addLayout(dataHeader);

    treeSlot_ = new QWidget(content_);
    auto* treeLayout = new QVBoxLayout(treeSlot_);
    treeLayout->setContentsMargins(0, 0, 0, 0);
    stack_->addWidget(treeSlot_);

    relationsDivider_ = divider(content_);
    stack_->addWidget(relationsDivider_);
    relationsCaption_ = sectionCaption(QStringLiteral("OBSERVED RELATIONSHIPS"), content_);
    stack_->addWidget(relationsCaption_);
    relationModel_ = new RelationListModel(this);
    relations_ = new QListView(content_);
    relations_->setObjectName(QStringLiteral("ql-inspector-relations"));
    relations_->setAccessibleName(QStringLiteral("Observed relationships"));
    relations_->setModel(relationModel_);
    relations_->setItemDelegate(new RelationDelegate(*relationModel_, relations_));
    relations_->setResizeMode(QListView::Adjust);
    relations_->viewport()->installEventFilter(this);
    relations_->setSelectionMode(QAbstractItemView::NoSelection);
    relations_->setFrameShape(QFrame::NoFrame);
    relations_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    relations_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    relations_->setCursor(Qt::PointingHandCursor);
    QPalette listPalette = relations_->palette();
    listPalette.setColor(QPalette::Base, Qt::transparent);
    relations_->setPalette(listPalette);
    relations_->viewport()->setAutoFillBackground(false);
    connect(relations_, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (const RelationListModel::Row* row = relationModel_->row(index.row()))
            store_.select(row->other);
    });
    connect(relations_, &QListView::activated, relations_, &QListView::clicked);
    // The list is as tall as its rows: the arrow keys' row is brought into view.
    connect(relations_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (relations_->hasFocus()) revealFocus(relations_);
    });
    stack_->addWidget(relations_);

    linked_ = sectionCaption(QString(), content_);
    linked_->setObjectName(QStringLiteral("ql-inspector-linked"));
    stack_->addWidget(linked_);
    stack_->addStretch(1);

    scroll_->setWidget(content_);
    // The scroll area fills what it holds; the column's fill must show through.
    content_->setAutoFillBackground(false);
    pages_->addWidget(scroll_);
}

std::vector<NodeInspector::Relation> NodeInspector::relations(const ScanReport& report,
                                                              const std::string& id) {
    std::vector<Relation> found;
    for (std::size_t i = 0; i < report.edges.size(); ++i) {
        const GraphEdge& edge = report.edges[i];
        if (edge.source == id)
            found.push_back({i, true, edge.target});
        else if (edge.target == id)
            found.push_back({i, false, edge.source});
    }
    return found;
}

std::optional<std::string> NodeInspector::openableURL(const std::string& url) {
    // The policy of a fresh scan, whatever Developer Mode says now: the page
    // opens in the user's browser, outside any of our limits.
    try {
        return NetworkPolicy().validate(url);
    } catch (const QuorilanthError&) {
        return std::nullopt;
    }
}

const GraphNode* NodeInspector::selectedNode() const {
    const auto& report = store_.report();
    return report && store_.selectedID() ? report->findNode(*store_.selectedID()) : nullptr;
}

void NodeInspector::render() {
    const GraphNode* node = selectedNode();
    if (!node) {
        pages_->setCurrentIndex(0);
        shownNode_.clear();
        return;
    }
    // Most windows open with nothing chosen; their first frame should not wait
    // for a page of hidden values, a tree and a list.
    if (!scroll_) buildDetail();
    renderNode(*store_.report(), *node);
    renderExchange();
    renderRunner();
    pages_->setCurrentWidget(scroll_);
}

void NodeInspector::renderNode(const ScanReport& report, const GraphNode& node) {
    const bool another = node.id != shownNode_ || pages_->currentWidget() != scroll_;
    shownNode_ = node.id;
    const QColor kindColour = QLTheme::color(node.kind);
    kindIcon_->setPixmap(
        Symbols::pixmap(Symbols::kind(node.kind), kindColour, 23, devicePixelRatioF()));
    badge_->setStatus(node.status);
    label_->setText(std::string_view(node.label));
    kindName_->setText(QString::fromLatin1(toString(node.kind)).toUpper());
    setTextColour(kindName_, kindColour);

    location_->setVisible(node.url.has_value());
    if (node.url) {
        url_->setText(std::string_view(*node.url));
        openPage_->setVisible(openableURL(*node.url).has_value());
    }
    summary_->setText(std::string_view(node.summary));

    if (node.issues != shownIssues_) {
        shownIssues_ = node.issues;
        auto* rows = static_cast<QVBoxLayout*>(issues_->layout());
        while (QLayoutItem* item = rows->takeAt(0)) {
            delete item->widget();
            delete item;
        }
        // A page can carry thousands of malformed blocks, each an issue; a row
        // per issue would hold the window for minutes.
        const std::size_t shown = std::min(node.issues.size(), issueLimit);
        for (std::size_t i = 0; i < shown; ++i) {
            const std::string& issue = node.issues[i];
            auto* row = new QWidget(issues_);
            auto* line = new QHBoxLayout(row);
            line->setContentsMargins(0, 0, 0, 0);
            line->setSpacing(6);
            auto* icon = new QLabel(row);
            icon->setPixmap(Symbols::pixmap(QStringLiteral("exclamationmark.triangle"),
                                            QLTheme::attention(), 12, devicePixelRatioF()));
            line->addWidget(icon, 0, Qt::AlignTop);
            auto* text = new SelectableText(row);
            text->setObjectName(QStringLiteral("ql-inspector-issue"));
            text->setFont(QLTheme::font(11));
            text->setColour(QLTheme::attention());
            text->setText(std::string_view(issue));
            line->addWidget(text, 1);
            rows->addWidget(row);
        }
        if (node.issues.size() > shown) {
            auto* more = new QLabel(QString::number(node.issues.size() - shown) +
                                        QStringLiteral(" more issues\u2026"),
                                    issues_);
            more->setObjectName(QStringLiteral("ql-inspector-more-issues"));
            more->setTextFormat(Qt::PlainText);
            more->setFont(QLTheme::font(11));
            setTextColour(more, QLTheme::attention());
            rows->addWidget(more);
        }
    }
    issues_->setVisible(!node.issues.empty());

    // Choosing another exchange changes neither the data nor the relations.
    const bool changed = node.id != shownNodeData_ || reportGeneration_ != shownGeneration_;
    shownNodeData_ = node.id;
    shownGeneration_ = reportGeneration_;
    if (changed) renderData(report, node);

    linked_->setText(QString::number(node.evidenceIDs.size()) +
                     QStringLiteral(" LINKED EXCHANGES"));
    if (another) scroll_->verticalScrollBar()->setValue(0);
}

void NodeInspector::renderData(const ScanReport& report, const GraphNode& node) {
    // The tree keeps what the reader opened while it shows the same data.
    if (!tree_ || treeNode_ != node.id || !(tree_->value() == node.metadata)) {
        delete tree_;
        tree_ = new JSONTree(node.metadata, 0, treeSlot_);
        treeSlot_->layout()->addWidget(tree_);
        treeNode_ = node.id;
    }

    const std::vector<Relation> found = relations(report, node.id);
    std::unordered_map<std::string_view, const GraphNode*> nodes;
    if (!found.empty())
        for (const GraphNode& other : report.nodes)
            nodes.emplace(other.id, &other);
    std::vector<RelationListModel::Row> rows;
    rows.reserve(found.size());
    for (const Relation& relation : found) {
        const GraphEdge& edge = report.edges[relation.edge];
        const auto other = nodes.find(relation.other);
        rows.push_back(
            {singleLine(rowText(edge.relation)),
             singleLine(rowText(other == nodes.end() ? relation.other : other->second->label)),
             rowText(edge.locator), relation.outgoing, relation.other});
    }
    relationModel_->setRows(std::move(rows));
    fitRelations();
    const int count = relationModel_->rowCount();
    for (QWidget* part : {relationsDivider_, static_cast<QWidget*>(relationsCaption_),
                          static_cast<QWidget*>(relations_)})
        part->setVisible(count > 0);
}

void NodeInspector::fitRelations() {
    // The list is as tall as its cards; the column scrolls, not the list.
    int height = 0;
    for (int row = 0; row < relationModel_->rowCount(); ++row)
        height += relations_->sizeHintForRow(row);
    relations_->setFixedHeight(height);
}

bool NodeInspector::eventFilter(QObject* watched, QEvent* event) {
    // The viewport is where the rows are drawn, and it has its new width
    // only after the list's own resize.
    if (watched == relations_->viewport() && event->type() == QEvent::Resize &&
        static_cast<QResizeEvent*>(event)->oldSize().width() != relations_->viewport()->width())
        fitRelations();
    return QWidget::eventFilter(watched, event);
}

void NodeInspector::renderExchange() {
    const std::optional<Evidence> exchange = store_.selectedEvidence();
    exchangeDivider_->setVisible(exchange.has_value());
    exchange_->setVisible(exchange.has_value());
    if (!exchange) return;
    const QString texts[] = {
        exchange->statusCode ? QString::number(*exchange->statusCode)
                             : QStringLiteral("No response"),
        boundedText(exchange->contentType(), SelectableText::displayLimit),
        QString::number(ReportGenerator::wholeMilliseconds(exchange->durationMS)) +
            QStringLiteral(" ms"),
        exchange->tlsVerified ? QStringLiteral("Certificate verified")
                              : QStringLiteral("Not verified"),
        exchange->remoteIP ? boundedText(*exchange->remoteIP, SelectableText::displayLimit)
                           : QStringLiteral("\u2014"),
        QString::fromStdString(localizedTime(exchange->timestamp)),
    };
    for (std::size_t i = 0; i < facts_.size(); ++i)
        facts_[i]->setText(texts[i]);
}

void NodeInspector::renderRunner() {
    const std::optional<MCPTool> tool = store_.selectedTool();
    if (runner_ && (!tool || tool->id() != runner_->tool().id())) {
        // A runner belongs to one tool: its state ends when another is shown.
        runner_->hide();
        runner_->deleteLater();
        runner_ = nullptr;
    }
    if (tool && runner_) runner_->setTool(*tool);
    if (tool && !runner_) {
        runner_ = new ToolRunner(store_, *tool, content_);
        stack_->insertWidget(stack_->indexOf(runnerDivider_) + 1, runner_);
    }
    runnerDivider_->setVisible(runner_ != nullptr);
}

} // namespace quorilanth
