#include "app/technical/InventoryView.h"

#include "app/kit/QLTheme.h"
#include "app/kit/StatusBadge.h"
#include "app/kit/Symbols.h"
#include "app/kit/ViewKit.h"
#include "app/store/CaseFolding.h"
#include "app/store/WorkspaceStore.h"
#include "app/technical/RowList.h"
#include "app/technical/SelectableText.h"
#include "app/technical/TechnicalKit.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QVBoxLayout>
#include <map>
#include <optional>

namespace quorilanth {
namespace {

struct InventoryRow {
    std::string id;
    NodeKind kind = NodeKind::domain;
    FindingStatus status = FindingStatus::pending;
    QString label;
    QString location; // the URL, or the summary when there is none
    QString summary;

    QString identifier() const { return QStringLiteral("inventory-") + QString::fromStdString(id); }
    QString spoken() const { return label; }
    bool sameRow(const InventoryRow& other) const { return id == other.id; }
    friend bool operator==(const InventoryRow&, const InventoryRow&) = default;
};

// Row metrics, in pixels.
constexpr int padding = 16, iconColumn = 22, iconSize = 17, iconTop = 3, columnGap = 13,
              lineGap = 6;

} // namespace

struct InventoryView::Rows {
    struct Entry {
        InventoryRow row;
        // What the filter reads: the label directly followed by the URL.
        QString search;
        std::optional<QString> folded;
    };
    RowModel<InventoryRow> model;
    std::vector<Entry> entries;
};

class InventoryView::Painter final : public RowPainter {
public:
    Painter(const WorkspaceStore& store, const RowModel<InventoryRow>& model)
        : store_(store), model_(model) {}

    int height(int row, int width) const override {
        const InventoryRow& shown = model_.rows()[std::size_t(row)];
        const bool tool = shown.kind == NodeKind::tool;
        const int column = textWidth(shown, width);
        const int text =
            lineCount(shown.label, labelFont(tool).font, column, noLineLimit) *
                labelFont(tool).height() +
            lineGap + locationFont.height() + lineGap +
            lineCount(shown.summary, summaryFont.font, column, 2) * summaryFont.height();
        return padding + std::max({iconTop + iconSize, text, badge(shown.status).height()}) +
               padding;
    }

    void paint(QPainter& painter, const QRect& box, int row) const override {
        const InventoryRow& shown = model_.rows()[std::size_t(row)];
        const bool selected = store_.selectedID() == shown.id;
        painter.fillRect(box, selected ? QLTheme::tint(QLTheme::accent(), 0.07)
                                       : QLTheme::tint(QLTheme::panel(), 0.4));
        const Lines lines = layOut(shown, box.width());
        const QPoint origin = box.topLeft() + QPoint(padding, padding);
        painter.drawPixmap(origin + QPoint((iconColumn - iconSize) / 2, iconTop),
                           icon(shown.kind, painter.device()->devicePixelRatioF()));
        QPoint text = origin + QPoint(iconColumn + columnGap, 0);
        text.ry() += drawLines(painter, text, lines.label, labelFont(lines.tool).font,
                               QLTheme::foreground()) +
                     lineGap;
        text.ry() +=
            drawLines(painter, text, lines.location, locationFont.font, QLTheme::muted()) + lineGap;
        drawLines(painter, text, lines.summary, summaryFont.font, QLTheme::muted());
        const QSize badge = StatusBadge::sizeFor(shown.status);
        StatusBadge::paint(
            painter, QRect(QPoint(box.right() + 1 - padding - badge.width(), origin.y()), badge),
            shown.status);
    }

private:
    struct Font {
        explicit Font(const QFont& font) : font(font), lineHeight(QFontMetrics(font).height()) {}
        QFont font;
        int lineHeight;
        int height() const { return lineHeight; }
    };
    struct Lines {
        bool tool = false;
        QStringList label, location, summary;
    };

    const Font& labelFont(bool tool) const { return tool ? toolLabelFont : plainLabelFont; }

    int textWidth(const InventoryRow& row, int width) const {
        return width - 2 * padding - iconColumn - 2 * columnGap - badge(row.status).width();
    }

    QSize badge(FindingStatus status) const {
        auto found = badges_.find(status);
        if (found == badges_.end())
            found = badges_.emplace(status, StatusBadge::sizeFor(status)).first;
        return found->second;
    }

    Lines layOut(const InventoryRow& row, int width) const {
        const int text = textWidth(row, width);
        Lines lines;
        lines.tool = row.kind == NodeKind::tool;
        lines.label = wrappedLines(row.label, labelFont(lines.tool).font, text, noLineLimit);
        lines.location = wrappedLines(row.location, locationFont.font, text, 1);
        lines.summary = wrappedLines(row.summary, summaryFont.font, text, 2);
        return lines;
    }

    const QPixmap& icon(NodeKind kind, qreal ratio) const {
        auto found = icons_.find(kind);
        if (found == icons_.end() || found->second.devicePixelRatio() != ratio)
            found =
                icons_
                    .insert_or_assign(kind, Symbols::pixmap(Symbols::kind(kind),
                                                            QLTheme::color(kind), iconSize, ratio))
                    .first;
        return found->second;
    }

    const WorkspaceStore& store_;
    const RowModel<InventoryRow>& model_;
    const Font plainLabelFont{QLTheme::font(13, QFont::Medium)};
    const Font toolLabelFont{QLTheme::font(13, QFont::Medium, QLTheme::Design::monospaced)};
    const Font locationFont{QLTheme::font(10, QFont::Normal, QLTheme::Design::monospaced)};
    const Font summaryFont{QLTheme::font(11)};
    mutable std::map<NodeKind, QPixmap> icons_;
    mutable std::map<FindingStatus, QSize> badges_;
};

InventoryView::InventoryView(WorkspaceStore& store, std::vector<NodeKind> kinds, QWidget* parent)
    : QWidget(parent), store_(store), kinds_(std::move(kinds)), rows_(std::make_unique<Rows>()),
      painter_(std::make_unique<Painter>(store, rows_->model)),
      renderer_(new CoalescedRender(this, [this] { render(); })) {
    setObjectName(QStringLiteral("ql-inventory"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(18, 18, 18, 18);
    auto* symbol = new QLabel(this);
    symbol->setPixmap(Symbols::pixmap(QStringLiteral("line.3.horizontal.decrease"),
                                      QLTheme::muted(), 11, devicePixelRatioF()));
    header->addWidget(symbol);
    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("ql-inventory-filter"));
    filter_->setFrame(false);
    filter_->setFont(QLTheme::font(11));
    const QString placeholder = QStringLiteral("Filter observations\u2026");
    filter_->setPlaceholderText(placeholder);
    filter_->setAccessibleName(placeholder);
    // A plain field: no panel behind the text.
    filter_->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; border: none; }"));
    QPalette palette = filter_->palette();
    palette.setColor(QPalette::Text, QLTheme::muted());
    palette.setColor(QPalette::PlaceholderText, QLTheme::tint(QLTheme::muted(), 0.7));
    filter_->setPalette(palette);
    header->addWidget(filter_, 1);
    auto* caption = new QLabel(QStringLiteral("TYPE / STATUS / SOURCE"), this);
    caption->setFont(QLTheme::font(8, QFont::Normal, QLTheme::Design::monospaced));
    setTextColour(caption, QLTheme::muted());
    header->addWidget(caption);
    column->addLayout(header);

    list_ = new RowList(*painter_, true, 1, this);
    list_->setObjectName(QStringLiteral("ql-inventory-list"));
    list_->setAccessibleName(QStringLiteral("Observations"));
    list_->setSideMargins(18);
    list_->setModel(&rows_->model);
    column->addWidget(list_, 1);

    connect(filter_, &QLineEdit::textChanged, this, [this] { applyFilter(); });
    connect(list_, &RowList::chosen, this,
            [this](int row) { store_.select(rows_->model.rows()[std::size_t(row)].id); });
    connect(&store_, &WorkspaceStore::reportChanged, renderer_, &CoalescedRender::request);
    // A new selection only restyles the rows on screen.
    connect(&store_, &WorkspaceStore::selectedIDChanged, list_->viewport(),
            qOverload<>(&QWidget::update));
    render();
}

InventoryView::~InventoryView() {
    // The list paints through the painter: it goes first.
    delete list_;
}

void InventoryView::render() {
    std::vector<Rows::Entry> entries;
    if (const std::optional<ScanReport>& report = store_.report()) {
        for (const GraphNode& node : report->nodes) {
            if (std::find(kinds_.begin(), kinds_.end(), node.kind) == kinds_.end()) continue;
            Rows::Entry entry;
            entry.row.id = node.id;
            entry.row.kind = node.kind;
            entry.row.status = node.status;
            entry.row.label = boundedText(node.label, rowTextLimit);
            entry.row.summary = boundedText(node.summary, rowTextLimit);
            entry.row.location =
                node.url ? boundedText(*node.url, rowTextLimit) : entry.row.summary;
            // The shown texts are cut: the filter reads the whole of both, so a
            // match past the cut or across the join is found.
            entry.search = QString::fromStdString(node.label + node.url.value_or(std::string()));
            // A scan mostly adds nodes: what was folded for the same text stays.
            const std::size_t at = entries.size();
            if (at < rows_->entries.size() && rows_->entries[at].search == entry.search)
                entry.folded = std::move(rows_->entries[at].folded);
            entries.push_back(std::move(entry));
        }
    }
    rows_->entries = std::move(entries);
    applyFilter();
}

void InventoryView::applyFilter() {
    const QString filter = filter_->text();
    std::vector<InventoryRow> shown;
    shown.reserve(rows_->entries.size());
    if (filter.isEmpty()) {
        for (const Rows::Entry& entry : rows_->entries)
            shown.push_back(entry.row);
    } else {
        const CaseFolding folding;
        const QString wanted = folding.fold(filter);
        for (Rows::Entry& entry : rows_->entries) {
            if (!entry.folded) entry.folded = folding.fold(entry.search);
            if (entry.folded->contains(wanted)) shown.push_back(entry.row);
        }
    }
    rows_->model.setRows(std::move(shown));
}

} // namespace quorilanth
