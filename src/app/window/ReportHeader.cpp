#include "app/window/ReportHeader.h"

#include "app/kit/QLTheme.h"
#include "app/kit/RemoteText.h"
#include "app/store/WorkspaceStore.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace quorilanth {

ReportHeader::Summary ReportHeader::summarize(const ScanReport& report) {
    Summary summary;
    // The name a file claims is the one to check: its controls are shown.
    summary.site = siteName(report.domain, DirectionControls::shown);
    for (const GraphNode& node : report.nodes)
        if (node.status != FindingStatus::notFound && node.status != FindingStatus::pending)
            ++summary.observations;
    for (const MCPServer& server : report.servers) {
        if (server.status == FindingStatus::valid) ++summary.servers;
        summary.tools += server.tools.size();
    }
    summary.score = report.score();
    return summary;
}

QString ReportHeader::counterLine(const Summary& summary) {
    return QString::number(summary.observations) + QStringLiteral(" OBSERVATIONS  /  ") +
           QString::number(summary.servers) + QStringLiteral(" MCP SERVERS  /  ") +
           QString::number(summary.tools) + QStringLiteral(" TOOLS");
}

ReportHeader::ReportHeader(WorkspaceStore& store, QWidget* parent)
    : Backdrop(QLTheme::background(), parent), store_(store),
      renderer_(new CoalescedRender(this, [this] { render(); })) {
    setObjectName(QStringLiteral("ql-report-header"));
    setBottomRule(QLTheme::line());
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(22, 20, 22, 21);
    row->setSpacing(12);

    auto* siteColumn = new QVBoxLayout;
    siteColumn->setSpacing(6);
    auto* siteRow = new QHBoxLayout;
    siteRow->setSpacing(8);
    site_ = new ElidedLabel(this);
    site_->setObjectName(QStringLiteral("ql-report-site"));
    site_->setFont(QLTheme::font(22, QFont::DemiBold));
    site_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // The indicator follows the name itself, however short or long it is.
    site_->setHintsTextWidth(true);
    siteRow->addWidget(site_);
    busy_ = new BusyIndicator(11, QLTheme::foreground(), this);
    busy_->setObjectName(QStringLiteral("ql-report-busy"));
    siteRow->addWidget(busy_);
    siteRow->addStretch(1);
    siteColumn->addLayout(siteRow);
    counters_ = new QLabel(this);
    counters_->setObjectName(QStringLiteral("ql-report-counters"));
    counters_->setTextFormat(Qt::PlainText);
    counters_->setFont(QLTheme::font(9, QFont::Medium, QLTheme::Design::monospaced, 0.7));
    setTextColour(counters_, QLTheme::muted());
    siteColumn->addWidget(counters_);
    row->addLayout(siteColumn, 1);

    scoreColumn_ = new QWidget(this);
    scoreColumn_->setObjectName(QStringLiteral("ql-report-score"));
    scoreColumn_->setCursor(Qt::PointingHandCursor);
    scoreColumn_->installEventFilter(this);
    auto* scoreLayout = new QVBoxLayout(scoreColumn_);
    scoreLayout->setContentsMargins(0, 0, 0, 0);
    scoreLayout->setSpacing(3);
    score_ = new QLabel(scoreColumn_);
    score_->setObjectName(QStringLiteral("ql-report-score-value"));
    score_->setFont(QLTheme::font(29, QFont::Light, QLTheme::Design::rounded));
    setTextColour(score_, QLTheme::accent());
    auto* scale = new QLabel(QStringLiteral("/100"), scoreColumn_);
    scale->setFont(QLTheme::font(11, QFont::Normal, QLTheme::Design::monospaced));
    setTextColour(scale, QLTheme::muted());
    scoreLayout->addWidget(new BaselineRow({score_, scale}, 2, Qt::AlignRight, scoreColumn_));
    caption_ = new QLabel(scoreColumn_);
    caption_->setObjectName(QStringLiteral("ql-report-caption"));
    caption_->setTextFormat(Qt::PlainText);
    caption_->setAlignment(Qt::AlignRight);
    caption_->setFont(QLTheme::font(8, QFont::Medium, QLTheme::Design::monospaced, 1.0));
    setTextColour(caption_, QLTheme::muted());
    scoreLayout->addWidget(caption_);
    for (QObject* child : scoreColumn_->children())
        if (child->isWidgetType()) child->installEventFilter(this);
    row->addWidget(scoreColumn_);

    for (auto signal : {&WorkspaceStore::reportChanged, &WorkspaceStore::busyChanged})
        connect(&store_, signal, renderer_, &CoalescedRender::request);
    render();
}

bool ReportHeader::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        QMetaObject::invokeMethod(
            this, [this] { store_.setTab(WorkspaceTab::overview); }, Qt::QueuedConnection);
        return true;
    }
    return Backdrop::eventFilter(watched, event);
}

void ReportHeader::render() {
    const bool busy = store_.busy();
    busy_->setVisible(busy);
    caption_->setText(busy ? QStringLiteral("READINESS \u00B7 PARTIAL")
                           : QStringLiteral("AGENT READINESS"));
    if (!store_.report()) return;
    const Summary summary = summarize(*store_.report());
    site_->setText(summary.site);
    counters_->setText(counterLine(summary));
    score_->setText(QString::number(summary.score));
}

} // namespace quorilanth
