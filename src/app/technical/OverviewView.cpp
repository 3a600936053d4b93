#include "app/technical/OverviewView.h"

#include "app/kit/DisclosureGroup.h"
#include "app/kit/Panel.h"
#include "app/kit/QLTheme.h"
#include "app/kit/StatusBadge.h"
#include "app/kit/Symbols.h"
#include "app/kit/ViewKit.h"
#include "app/store/WorkspaceStore.h"
#include "app/technical/RowList.h"
#include "app/technical/SelectableText.h"
#include "app/technical/TechnicalKit.h"
#include "core/report/ReadinessScorer.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace quorilanth {
namespace {

// A category's share: a capsule track and, over it, the earned part.
class ShareBar final : public QWidget {
public:
    explicit ShareBar(QWidget* parent) : QWidget(parent) {
        setFixedHeight(4);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    void setFraction(double fraction) {
        // A hand-edited report may earn more than it offers, or less than nothing.
        fraction = std::clamp(fraction, 0.0, 1.0);
        if (fraction == fraction_) return;
        fraction_ = fraction;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal radius = height() / 2.0;
        QPainterPath track;
        track.addRoundedRect(QRectF(rect()), radius, radius);
        painter.fillPath(track, QColor::fromRgbF(1, 1, 1, 0.05f));
        if (fraction_ <= 0) return;
        QPainterPath earned;
        earned.addRoundedRect(QRectF(0, 0, width() * fraction_, height()), radius, radius);
        painter.fillPath(earned, QLTheme::tint(QLTheme::accent(), 0.75));
    }

private:
    double fraction_ = 0;
};

QWidget* checkRow(const ScoreCheck& check, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 5, 0, 5);
    layout->setSpacing(9);
    auto* icon = new QLabel(row);
    icon->setPixmap(Symbols::pixmap(
        check.passed ? QStringLiteral("checkmark.circle") : QStringLiteral("minus.circle"),
        check.passed ? QLTheme::accent() : QLTheme::attention(), 12, row->devicePixelRatioF()));
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addWidget(valueText(check.explanation, QLTheme::font(11), QLTheme::foreground(), row),
                      1, Qt::AlignTop);
    QLabel* points = plainLabel(row, QLTheme::font(11), QLTheme::foreground(),
                                QString::number(check.earned()) + QLatin1Char('/') +
                                    QString::number(check.points));
    layout->addWidget(points, 0, Qt::AlignTop);
    return row;
}

struct FindingRow {
    std::string id;
    FindingStatus status = FindingStatus::pending;
    QString label;
    QString issues; // one issue per line

    QString identifier() const { return QString::fromStdString(id); }
    QString spoken() const { return label; }
    bool sameRow(const FindingRow& other) const { return id == other.id; }
    friend bool operator==(const FindingRow&, const FindingRow&) = default;
};

constexpr int findingPadding = 5, findingSpacing = 8, arrowSize = 12;

} // namespace

// One category: its row opens and closes the list of its checks, which is
// built only while open.
class OverviewView::CategoryGroup final : public QWidget {
public:
    CategoryGroup(const QString& name, QWidget* parent) : QWidget(parent) {
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(0);
        row_ = new QWidget(this);
        row_->setCursor(Qt::PointingHandCursor);
        row_->installEventFilter(this);
        auto* line = new QHBoxLayout(row_);
        line->setContentsMargins(0, 7, 0, 7);
        header_ = new DisclosureHeader(name, row_);
        header_->setObjectName(QStringLiteral("ql-overview-category"));
        header_->setFont(QLTheme::font(12, QFont::Medium));
        // The chevron, then the name in a column of its own.
        header_->setFixedWidth(14 + 120);
        line->addWidget(header_);
        bar_ = new ShareBar(row_);
        line->addWidget(bar_, 1);
        percent_ = plainLabel(row_, QLTheme::font(12, QFont::Normal, QLTheme::Design::monospaced),
                              QLTheme::accent());
        percent_->setObjectName(QStringLiteral("ql-overview-percent"));
        percent_->setMinimumWidth(34);
        percent_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        line->addWidget(percent_);
        column->addWidget(row_);
        body_ = new QWidget(this);
        body_->setObjectName(QStringLiteral("ql-overview-checks"));
        new QVBoxLayout(body_);
        body_->layout()->setContentsMargins(14, 0, 0, 4);
        body_->layout()->setSpacing(0);
        body_->hide();
        column->addWidget(body_);
        connect(header_, &QAbstractButton::toggled, this, [this](bool open) {
            if (open && stale_) buildChecks();
            body_->setVisible(open);
        });
    }

    void present(const ReadinessScorer::CategoryPoints& points, std::vector<ScoreCheck> checks) {
        percent_->setText(QString::number(points.percent()));
        bar_->setFraction(points.fraction());
        if (checks == checks_) return;
        checks_ = std::move(checks);
        stale_ = true;
        if (header_->isChecked()) buildChecks();
    }

protected:
    // The whole row opens and closes the group, not the name alone.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == row_ && event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            header_->click();
            return true;
        }
        return QWidget::eventFilter(watched, event);
    }

private:
    void buildChecks() {
        stale_ = false;
        QLayout* layout = body_->layout();
        while (QLayoutItem* item = layout->takeAt(0)) {
            delete item->widget();
            delete item;
        }
        for (const ScoreCheck& check : checks_)
            layout->addWidget(checkRow(check, body_));
    }

    QWidget* row_;
    DisclosureHeader* header_;
    ShareBar* bar_;
    QLabel* percent_;
    QWidget* body_;
    std::vector<ScoreCheck> checks_;
    bool stale_ = true;
};

struct OverviewView::Findings final : RowPainter {
    RowModel<FindingRow> model;
    QFont labelFont = QLTheme::font(12, QFont::Medium);
    QFont issueFont = QLTheme::font(11);

    int textWidth(const FindingRow& row, int width) const {
        return width - StatusBadge::sizeFor(row.status).width() - 2 * findingSpacing - arrowSize;
    }
    int height(int index, int width) const override {
        const FindingRow& row = model.rows()[std::size_t(index)];
        const int text = textWidth(row, width);
        const int lines =
            lineCount(row.label, labelFont, text, noLineLimit) * QFontMetrics(labelFont).height() +
            4 +
            lineCount(row.issues, issueFont, text, noLineLimit) * QFontMetrics(issueFont).height();
        return findingPadding + std::max(lines, StatusBadge::sizeFor(row.status).height()) +
               findingPadding;
    }
    void paint(QPainter& painter, const QRect& box, int index) const override {
        const FindingRow& row = model.rows()[std::size_t(index)];
        const QSize badge = StatusBadge::sizeFor(row.status);
        const int top = box.top() + findingPadding;
        StatusBadge::paint(painter, QRect(QPoint(box.left(), top), badge), row.status);
        const int text = textWidth(row, box.width());
        QPoint at(box.left() + badge.width() + findingSpacing, top);
        at.ry() += drawLines(painter, at, wrappedLines(row.label, labelFont, text, noLineLimit),
                             labelFont, QLTheme::foreground()) +
                   4;
        drawLines(painter, at, wrappedLines(row.issues, issueFont, text, noLineLimit), issueFont,
                  QLTheme::muted());
        painter.drawPixmap(box.right() + 1 - arrowSize, top + 2,
                           Symbols::pixmap(QStringLiteral("arrow.up.right"), QLTheme::foreground(),
                                           arrowSize, painter.device()->devicePixelRatioF()));
    }
};

OverviewView::OverviewView(WorkspaceStore& store, QWidget* parent)
    : ScrollPage(parent), store_(store), renderer_(new CoalescedRender(this, [this] { render(); })),
      findings_(std::make_unique<Findings>()) {
    QWidget* page = widget();

    auto* score = new QWidget;
    auto* scoreColumn = new QVBoxLayout(score);
    scoreColumn->setContentsMargins(0, 0, 0, 0);
    scoreColumn->setSpacing(0);
    scoreColumn->addWidget(plainLabel(nullptr, QLTheme::font(22, QFont::Light),
                                      QLTheme::foreground(),
                                      QStringLiteral("Every point has an explanation.")));
    scoreColumn->addSpacing(8);
    QLabel* scope =
        plainLabel(nullptr, QLTheme::font(12), QLTheme::muted(),
                   QStringLiteral("Observed interface readiness, within this scan\u2019s "
                                  "scope. Publisher statements and tool annotations "
                                  "remain declarations."));
    scope->setWordWrap(true);
    scoreColumn->addWidget(scope);
    scoreColumn->addSpacing(14);
    for (std::size_t i = 0; i < groups_.size(); ++i) {
        groups_[i] =
            new CategoryGroup(QString::fromUtf8(ReadinessScorer::categories[i].data(),
                                                qsizetype(ReadinessScorer::categories[i].size())),
                              score);
        scoreColumn->addWidget(groups_[i]);
    }
    scoreColumn->addSpacing(14);
    // It holds the report's scoring version, which a file may make long.
    formula_ = valueText(QString(), QLTheme::font(9, QFont::Normal, QLTheme::Design::monospaced),
                         QLTheme::muted());
    formula_->setObjectName(QStringLiteral("ql-overview-formula"));
    scoreColumn->addWidget(formula_);
    blocks_.push_back(new quorilanth::Panel(
        QStringLiteral("Agent readiness \u00B7 deterministic score"), score, page));

    auto* tiles = new QWidget(page);
    auto* tileRow = new QHBoxLayout(tiles);
    tileRow->setContentsMargins(0, 0, 0, 0);
    tileRow->setSpacing(14);
    const std::array<std::pair<const char*, const char*>, 3> tileTexts{
        {{"MCP TOOLS", "Returned by tools/list"},
         {"HTTP EVIDENCE", "Requests, responses, timing"},
         {"RELATIONSHIPS", "Each linked to its source"}}};
    for (std::size_t i = 0; i < tiles_.size(); ++i) {
        auto* content = new QWidget;
        auto* column = new QVBoxLayout(content);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(2);
        tiles_[i] = plainLabel(nullptr, QLTheme::font(34, QFont::Light, QLTheme::Design::rounded),
                               QLTheme::accent(), QString());
        tiles_[i]->setObjectName(QStringLiteral("ql-overview-tile"));
        column->addWidget(tiles_[i]);
        column->addWidget(plainLabel(nullptr, QLTheme::font(10), QLTheme::muted(),
                                     QString::fromUtf8(tileTexts[i].second)));
        tileRow->addWidget(
            new quorilanth::Panel(QString::fromUtf8(tileTexts[i].first), content, tiles), 1);
    }
    blocks_.push_back(tiles);

    auto* findings = new QWidget;
    auto* findingColumn = new QVBoxLayout(findings);
    findingColumn->setContentsMargins(0, 0, 0, 0);
    findingColumn->setSpacing(8);
    noFindings_ =
        plainLabel(nullptr, QLTheme::font(12), QLTheme::muted(),
                   QStringLiteral("No interface errors recorded within the inspected scope."));
    noFindings_->setObjectName(QStringLiteral("ql-overview-no-findings"));
    findingColumn->addWidget(noFindings_);
    findingList_ = new RowList(*findings_, false, 2, findings);
    findingList_->setObjectName(QStringLiteral("ql-overview-findings"));
    findingList_->setAccessibleName(QStringLiteral("Findings"));
    findingList_->setModel(&findings_->model);
    findingList_->setCursor(Qt::PointingHandCursor);
    findingColumn->addWidget(findingList_);
    notices_ = new QWidget(findings);
    notices_->setObjectName(QStringLiteral("ql-overview-notices"));
    auto* noticeColumn = new QVBoxLayout(notices_);
    noticeColumn->setContentsMargins(0, 0, 0, 0);
    noticeColumn->setSpacing(8);
    findingColumn->addWidget(notices_);
    blocks_.push_back(
        new quorilanth::Panel(QStringLiteral("Findings & recommendations"), findings, page));

    for (QWidget* block : blocks_)
        column()->addWidget(block);
    column()->addStretch(1);

    connect(findingList_, &RowList::chosen, this, [this](int row) {
        // The tab switch replaces this pane later, never inside this handler.
        store_.select(findings_->model.rows()[std::size_t(row)].id);
        store_.setTab(WorkspaceTab::endpoints);
    });
    connect(&store_, &WorkspaceStore::reportChanged, renderer_, &CoalescedRender::request);
    render();
}

OverviewView::~OverviewView() {
    // The list paints through the findings' painter: it goes first.
    delete findingList_;
}

void OverviewView::render() {
    const std::optional<ScanReport>& report = store_.report();
    for (QWidget* block : blocks_)
        block->setVisible(report.has_value());
    if (!report) return;

    for (std::size_t i = 0; i < groups_.size(); ++i) {
        const std::string_view category = ReadinessScorer::categories[i];
        std::vector<ScoreCheck> checks;
        for (const ScoreCheck& check : report->checks)
            if (check.category == category) checks.push_back(check);
        groups_[i]->present(ReadinessScorer::categoryPoints(*report, category), std::move(checks));
    }
    formula_->setText(QStringLiteral("FORMULA v") +
                      boundedText(report->scoringVersion, rowTextLimit) +
                      QStringLiteral("  \u00B7  score = sum of earned check weights  \u00B7  "
                                     "available weights = 100"));

    std::size_t tools = 0;
    for (const MCPServer& server : report->servers)
        tools += server.tools.size();
    tiles_[0]->setText(QString::number(tools));
    tiles_[1]->setText(QString::number(report->evidence.size()));
    tiles_[2]->setText(QString::number(report->edges.size()));

    std::vector<FindingRow> rows;
    for (const GraphNode& node : report->nodes) {
        if (node.issues.empty()) continue;
        QStringList issues;
        for (const std::string& issue : node.issues)
            issues.append(boundedText(issue, rowTextLimit));
        rows.push_back(
            {node.id, node.status, boundedText(node.label, rowTextLimit), issues.join('\n')});
    }
    noFindings_->setVisible(rows.empty());
    findingList_->setVisible(!rows.empty());
    findings_->model.setRows(std::move(rows));
    renderNotices(report->notices);
}

void OverviewView::renderNotices(const std::vector<std::string>& notices) {
    if (notices == shownNotices_) return;
    shownNotices_ = notices;
    QLayout* layout = notices_->layout();
    while (QLayoutItem* item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const std::string& notice : notices)
        layout->addWidget(valueText(notice, QLTheme::font(11), QLTheme::attention(), notices_));
    notices_->setVisible(!notices.empty());
}

} // namespace quorilanth
