#include "app/guided/GuidedDocumentView.h"

#include "app/guided/GuidedKit.h"
#include "app/guided/ReadableValueView.h"
#include "app/kit/ExternalURL.h"
#include "app/kit/QLTheme.h"
#include "app/kit/ViewKit.h"
#include "app/store/WorkspaceStore.h"
#include "core/guided/GuidedText.h"
#include "core/net/NetworkPolicy.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace quorilanth {
namespace {

// The newest GET among the node's own records: what the site sent for it.
const Evidence* latestGet(const ScanReport& report, const GraphNode& node) {
    const auto& evidence = report.evidence;
    for (auto record = evidence.rbegin(); record != evidence.rend(); ++record)
        if (record->method == "GET" && std::find(node.evidenceIDs.begin(), node.evidenceIDs.end(),
                                                 record->id) != node.evidenceIDs.end())
            return &*record;
    return nullptr;
}

} // namespace

std::optional<std::string> GuidedDocumentView::sourceURL(const GraphNode& node) {
    if (!node.url) return std::nullopt;
    // Developer Mode off whatever the user chose: the reader's browser gets
    // only public web addresses.
    try {
        return NetworkPolicy(false).validate(*node.url);
    } catch (const QuorilanthError&) {
        return std::nullopt;
    }
}

GuidedDocumentView::GuidedDocumentView(WorkspaceStore& store, const GraphNode& node,
                                       QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("ql-guided-document"));
    const Language language = guidedLanguage();
    auto* layout = column(this, 14);

    const bool hasMetadata = !node.metadata.isNull() && node.metadata != JSONValue::emptyObject();
    const Evidence* record =
        hasMetadata || !store.report() ? nullptr : latestGet(*store.report(), node);
    if (hasMetadata) {
        layout->addWidget(new ReadableValueView(node.metadata, language, this));
    } else if (record && record->contentType().find("html") == std::string_view::npos) {
        const std::string_view body = record->responseBody.view();
        // Bounded in bytes too: one character may carry any number of accents.
        const std::string_view shown = guidedText::head(body, previewLimit);
        auto* preview =
            new TextBlock(fromUtf8(shown), QLTheme::font(13), QLTheme::foreground(), this);
        preview->setObjectName(QStringLiteral("ql-guided-preview"));
        preview->setSelectable(true);
        layout->addWidget(preview);
        if (shown.size() < body.size()) {
            auto* note = new TextBlock(
                pick(language, "Anteprima parziale. Il documento completo è nei dettagli tecnici.",
                     "Partial preview. The full document is available in the technical details."),
                QLTheme::font(11), QLTheme::muted(), this);
            note->setObjectName(QStringLiteral("ql-guided-preview-note"));
            layout->addWidget(note);
        }
    } else {
        auto* page = new TextBlock(
            pick(language,
                 "Il sito ha risposto con una pagina web. Puoi aprirla per leggerla nel browser.",
                 "The site returned a web page. Open it to read it in your browser."),
            QLTheme::font(13), QLTheme::muted(), this);
        page->setObjectName(QStringLiteral("ql-guided-web-page"));
        layout->addWidget(page);
    }

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    if (const std::optional<std::string> url = sourceURL(node)) {
        QPushButton* open =
            new BorderedButton(pick(language, "Apri la fonte", "Open source"), this);
        open->setObjectName(QStringLiteral("ql-guided-open-source"));
        connect(open, &QPushButton::clicked, this,
                [target = QUrl(fromUtf8(*url))] { openExternalURL(target); });
        buttons->addWidget(open);
    }
    QPushButton* details =
        new BorderedButton(pick(language, "Dettagli tecnici", "Technical details"), this);
    details->setObjectName(QStringLiteral("ql-guided-technical-details"));
    connect(details, &QPushButton::clicked, this, [&store, id = node.id] {
        later(&store, [&store, id] {
            store.select(id);
            store.setTab(WorkspaceTab::endpoints);
            store.setShowInspector(true);
        });
    });
    buttons->addWidget(details);
    buttons->addStretch(1);
    layout->addLayout(buttons);
}

} // namespace quorilanth
