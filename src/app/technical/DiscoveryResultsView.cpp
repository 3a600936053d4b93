#include "app/technical/DiscoveryResultsView.h"

#include "app/kit/DisclosureGroup.h"
#include "app/kit/Panel.h"
#include "app/kit/QLTheme.h"
#include "app/kit/RemoteText.h"
#include "app/kit/ViewKit.h"
#include "app/store/AppLanguage.h"
#include "app/store/WorkspaceStore.h"
#include "app/technical/InventoryView.h"
#include "app/technical/PaneKit.h"
#include "app/technical/RawTextView.h"
#include "app/technical/RowList.h"
#include "app/technical/SelectableText.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorilanth {

DiscoveryResultsView::DiscoveryResultsView(WorkspaceStore& store, QWidget* parent)
    : QWidget(parent), store_(store), renderer_(new CoalescedRender(this, [this] { render(); })) {
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    connect(&store_, &WorkspaceStore::researchChanged, this, [this] {
        faceStale_ = true;
        renderer_->request();
    });
    for (auto signal : {&WorkspaceStore::candidateReportsChanged, &WorkspaceStore::historyChanged,
                        &WorkspaceStore::busyChanged, &WorkspaceStore::toolBusyChanged})
        connect(&store_, signal, renderer_, &CoalescedRender::request);
    render();
}

void DiscoveryResultsView::render() {
    if (faceStale_) buildFace();
    renderStates();
}

void DiscoveryResultsView::buildFace() {
    faceStale_ = false;
    candidates_.clear();
    if (face_) {
        face_->hide();
        face_->deleteLater();
    }
    const std::optional<ResearchResult>& research = store_.research();
    if (!research) {
        face_ = new InventoryView(store_, {NodeKind::discovery, NodeKind::manifest}, this);
        layout_->addWidget(face_);
        return;
    }
    auto* page = new ScrollPage(this);
    page->setObjectName(QStringLiteral("ql-research"));
    face_ = page;

    auto* request = new QWidget;
    auto* requestColumn = new QVBoxLayout(request);
    requestColumn->setContentsMargins(0, 0, 0, 0);
    requestColumn->setSpacing(8);
    auto* query =
        valueText(research->query, QLTheme::font(20, QFont::Light), QLTheme::foreground());
    query->setObjectName(QStringLiteral("ql-research-query"));
    requestColumn->addWidget(query);
    auto* notice = valueText(research->notice, QLTheme::font(11), QLTheme::muted());
    notice->setObjectName(QStringLiteral("ql-research-notice"));
    requestColumn->addWidget(notice);
    const std::string_view provider = rawValue(research->provider);
    page->column()->addWidget(
        new quorilanth::Panel(QStringLiteral("AI research \u00B7 ") +
                                  QString::fromUtf8(provider.data(), qsizetype(provider.size())),
                              request));

    for (const SearchCandidate& candidate : research->candidates) {
        auto* content = new QWidget;
        auto* column = new QVBoxLayout(content);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(7);
        column->addWidget(
            valueText(candidate.title, QLTheme::font(17, QFont::Medium), QLTheme::foreground()));
        column->addWidget(valueText(candidate.domain,
                                    QLTheme::font(11, QFont::Normal, QLTheme::Design::monospaced),
                                    QLTheme::accent()));
        column->addWidget(valueText(candidate.reason, QLTheme::font(12), QLTheme::muted()));
        column->addWidget(valueText(
            QStringLiteral("Search source: ") + boundedText(candidate.sourceURL, rowTextLimit),
            QLTheme::font(10, QFont::Normal, QLTheme::Design::monospaced), QLTheme::foreground()));
        Candidate shown{QString::fromStdString(candidate.domain), new BorderedButton(openText()),
                        plainLabel(nullptr, QLTheme::font(10), QLTheme::muted(), QString())};
        shown.open->setObjectName(QStringLiteral("ql-candidate-open"));
        shown.open->setAccessibleName(openText());
        shown.waiting->setObjectName(QStringLiteral("ql-candidate-state"));
        column->addWidget(shown.open, 0, Qt::AlignLeft);
        column->addWidget(shown.waiting);
        connect(shown.open, &QPushButton::clicked, this,
                [this, domain = shown.domain] { openCandidate(domain); });
        candidates_.push_back(shown);
        auto* panel = new quorilanth::Panel(
            QStringLiteral("Candidate \u00B7 official origin pending evidence"), content);
        panel->setObjectName(QStringLiteral("ql-candidate"));
        page->column()->addWidget(panel);
    }

    auto* raw = new DisclosureGroup(
        QStringLiteral("Raw classification"),
        [text = QString::fromStdString(research->rawClassification)](QWidget* parent) {
            auto* view = new RawTextView(parent);
            view->setObjectName(QStringLiteral("ql-research-raw-text"));
            view->setText(withoutDirectionControls(text, DirectionControls::shown));
            view->setFixedHeight(220);
            return view;
        });
    raw->setObjectName(QStringLiteral("ql-research-raw"));
    raw->header()->setFont(QLTheme::font(11));
    page->column()->addWidget(raw);
    page->column()->addStretch(1);
    layout_->addWidget(page);
}

QString DiscoveryResultsView::openText() {
    return AppLanguage::pick(QStringLiteral("Scopri cosa offre questo sito"),
                             QStringLiteral("See what this site offers"));
}

void DiscoveryResultsView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        for (const Candidate& candidate : candidates_) {
            candidate.open->setText(openText());
            candidate.open->setAccessibleName(openText());
        }
    QWidget::changeEvent(event);
}

void DiscoveryResultsView::renderStates() {
    // A tool call verifies no candidate: it only holds the open buttons back.
    const bool scanning = store_.busy();
    const bool busy = scanning || store_.toolBusy();
    for (const Candidate& candidate : candidates_) {
        const auto reportID = store_.candidateReports().find(candidate.domain);
        const bool saved =
            reportID != store_.candidateReports().end() &&
            std::any_of(store_.history().begin(), store_.history().end(),
                        [&](const SavedScan& scan) { return scan.id == reportID->second; });
        candidate.open->setVisible(saved);
        candidate.open->setEnabled(!busy);
        candidate.waiting->setVisible(!saved);
        candidate.waiting->setText(scanning ? QStringLiteral("Verification queued / in progress")
                                            : QStringLiteral("Not verified"));
    }
}

void DiscoveryResultsView::openCandidate(const QString& domain) {
    const auto reportID = store_.candidateReports().find(domain);
    if (reportID == store_.candidateReports().end()) return;
    for (const SavedScan& scan : store_.history()) {
        if (scan.id != reportID->second) continue;
        // Both changes replace this pane, later: never inside this handler.
        const SavedScan entry = scan;
        store_.load(entry);
        store_.setTab(WorkspaceTab::guide);
        return;
    }
}

} // namespace quorilanth
