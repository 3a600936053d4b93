#include "app/guided/GuidedBrowserView.h"

#include "app/guided/GuidedDocumentView.h"
#include "app/guided/GuidedKit.h"
#include "app/guided/GuidedSession.h"
#include "app/guided/GuidedToolView.h"
#include "app/guided/ToolCardGrid.h"
#include "app/kit/Panel.h"
#include "app/kit/QLTheme.h"
#include "app/kit/ReducedMotion.h"
#include "app/kit/RemoteText.h"
#include "app/kit/Symbols.h"
#include "app/kit/ViewKit.h"
#include "app/store/WorkspaceStore.h"
#include "core/base/Date.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QVariantAnimation>
#include <utility>

namespace quorilanth {
namespace {

using Presence = AgentSurfaceAssessment::Presence;

struct Surface {
    const char* italian;
    const char* english;
    bool feminine;
    bool plural;
    Presence AgentSurfaceAssessment::*presence;
};

constexpr Surface kSurfaces[] = {
    {"Server MCP", "MCP server", false, false, &AgentSurfaceAssessment::mcp},
    {"API per agenti", "Agent APIs", true, true, &AgentSurfaceAssessment::endpoints},
    {"Manifest per agenti", "Agent manifests", false, true, &AgentSurfaceAssessment::manifests},
    {"Documentazione per assistenti", "Assistant documentation", true, false,
     &AgentSurfaceAssessment::documentation},
};

// Characters of a card's title and introduction kept for measuring and
// painting: more than the lines a card shows at any width.
constexpr std::size_t kCardTitle = 500;
constexpr std::size_t kCardIntroduction = 1000;

QString cardText(const std::string& text, std::size_t graphemes) {
    return shownText(text, graphemes).simplified();
}

QString siteName(const ScanReport& report) {
    return shownText(hostOrAddress(report.domain), 400);
}

// A document's row: its symbol, title and file name, and where it came from,
// as the header of a group that opens onto the document.
class DocumentHeader final : public QAbstractButton {
public:
    DocumentHeader(const QString& title, const QString& label, const QString& source,
                   QWidget* parent)
        : QAbstractButton(parent), title_(title), label_(label), source_(source) {
        setAccessibleName(title.left(1000));
        setCheckable(true);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override {
        return {400, QFontMetrics(QLTheme::font(15, QFont::Medium)).height() + 5 +
                         QFontMetrics(QLTheme::font(11)).height()};
    }
    QSize minimumSizeHint() const override { return {200, sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        const qreal ratio = devicePixelRatioF();
        const int middle = height() / 2;
        painter.drawPixmap(QPoint(0, middle - 6),
                           Symbols::pixmap(isChecked() ? QStringLiteral("chevron.down")
                                                       : QStringLiteral("chevron.right"),
                                           QLTheme::accent(), 12, ratio));
        painter.drawPixmap(
            QPoint(12 + 14, middle - 9),
            Symbols::pixmap(QStringLiteral("doc.text"), QLTheme::accent(), 18, ratio));
        const QFont small = QLTheme::font(11);
        painter.setFont(small);
        const int sourceWidth = painter.fontMetrics().horizontalAdvance(source_) + 2;
        painter.setPen(QLTheme::muted());
        painter.drawText(QRect(width() - sourceWidth, 0, sourceWidth, height()),
                         Qt::AlignRight | Qt::AlignVCenter, source_);
        const int left = 12 + 14 + 18 + 14;
        const int textWidth = qMax(10, width() - left - sourceWidth - 14);
        const QFont titleFont = QLTheme::font(15, QFont::Medium);
        const int titleHeight = QFontMetrics(titleFont).height();
        painter.setFont(titleFont);
        painter.setPen(QLTheme::foreground());
        painter.drawText(QRect(left, 0, textWidth, titleHeight), Qt::AlignLeft | Qt::TextSingleLine,
                         painter.fontMetrics().elidedText(title_, Qt::ElideRight, textWidth));
        painter.setFont(small);
        painter.setPen(QLTheme::muted());
        painter.drawText(QRect(left, titleHeight + 5, textWidth, height() - titleHeight - 5),
                         Qt::AlignLeft | Qt::TextSingleLine,
                         painter.fontMetrics().elidedText(label_, Qt::ElideRight, textWidth));
        if (QLTheme::showsFocus(*this)) QLTheme::paintFocus(painter, QRectF(rect()), 4);
    }

private:
    // Painted, not the button's text, which would take an "&" for a shortcut.
    QString title_;
    QString label_;
    QString source_;
};

// One document on a panel-coloured ground: its header, and under it the
// document, read when the row is first opened.
class DocumentRow final : public RoundedGround {
public:
    DocumentRow(WorkspaceStore& store, const GraphNode& node, Language language, QWidget* parent)
        : RoundedGround(QLTheme::panel(), 10, parent), store_(store), node_(node) {
        setObjectName(QStringLiteral("ql-guided-document-row"));
        layout_ = column(this, 14, QMargins(18, 18, 18, 18));
        header_ =
            new DocumentHeader(shownText(GuidedPresentation::documentTitle(node, language), 400),
                               shownText(node.label, 400),
                               pick(language, "Letto dal sito", "Read from the site"), this);
        layout_->addWidget(header_);
        connect(header_, &QAbstractButton::toggled, this, [this](bool open) {
            if (open && !document_) {
                document_ = new GuidedDocumentView(store_, node_, this);
                layout_->addWidget(document_);
            }
            if (document_) document_->setVisible(open);
        });
    }
    QAbstractButton* header() const { return header_; }

private:
    WorkspaceStore& store_;
    const GraphNode node_;
    QVBoxLayout* layout_;
    QAbstractButton* header_;
    QWidget* document_ = nullptr;
};

QLabel* sectionTitle(const QString& text, QWidget* parent) {
    return plainLabel(parent, QLTheme::font(21, QFont::Medium), QLTheme::foreground(), text);
}

TextBlock* paragraph(const QString& text, int size, const QColor& colour, int lineSpacing,
                     QWidget* parent) {
    auto* block = new TextBlock(text, QLTheme::font(size), colour, parent);
    block->setLineSpacing(lineSpacing);
    return block;
}

} // namespace

GuidedBrowserView::GuidedBrowserView(WorkspaceStore& store, QWidget* parent)
    : QScrollArea(parent), store_(store), session_(GuidedSession::of(store)),
      scroll_(new QVariantAnimation(this)), settleScroll_(new QTimer(this)),
      revealAnswer_(new QTimer(this)), answerSettled_(new QTimer(this)) {
    setObjectName(QStringLiteral("ql-guided-page"));
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The keyboard reads the page through its own controls and texts, and
    // the page scrolls to whichever has focus.
    setFocusPolicy(Qt::NoFocus);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QLTheme::background());
    setPalette(palette);
    viewport()->setAutoFillBackground(true);
    viewport()->setPalette(palette);

    scroll_->setDuration(250);
    scroll_->setEasingCurve(QEasingCurve::InOutQuad);
    scroll_->setStartValue(0.0);
    scroll_->setEndValue(1.0);
    // The form may still be laying out while the page scrolls to it: each
    // step aims at where it is now.
    connect(scroll_, &QVariantAnimation::valueChanged, this, [this](const QVariant& progress) {
        const double t = progress.toDouble();
        verticalScrollBar()->setValue(scrollStart_ + int((formTop() - scrollStart_) * t));
    });
    settleScroll_->setSingleShot(true);
    settleScroll_->setInterval(100);
    connect(settleScroll_, &QTimer::timeout, this, [this] {
        if (store_.selectedTool()) scrollToForm();
    });
    revealAnswer_->setSingleShot(true);
    revealAnswer_->setInterval(0);
    connect(revealAnswer_, &QTimer::timeout, this, [this] { revealAnswer(); });
    answerSettled_->setSingleShot(true);
    answerSettled_->setInterval(250);
    connect(answerSettled_, &QTimer::timeout, this, [this] { answer_ = nullptr; });

    connect(&store_, &WorkspaceStore::reportChanged, this, [this] { request(reportPart); });
    connect(&store_, &WorkspaceStore::busyChanged, this, [this] { request(busyPart); });
    connect(&store_, &WorkspaceStore::selectedIDChanged, this, [this] { request(selectionPart); });
    build();
    renderNow();
    // Opening the page with a tool chosen brings its form into view.
    if (store_.selectedTool()) settleScroll_->start();
}

GuidedBrowserView::~GuidedBrowserView() = default;

GuidedToolView* GuidedBrowserView::form() const {
    return form_;
}

void GuidedBrowserView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange || event->type() == QEvent::LocaleChange) {
        build();
        dirty_ = everything;
        renderNow();
    }
    QScrollArea::changeEvent(event);
}

bool GuidedBrowserView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == page_ && event->type() == QEvent::Resize && answer_) revealAnswer_->start();
    return QScrollArea::eventFilter(watched, event);
}

void GuidedBrowserView::request(unsigned parts) {
    dirty_ |= parts;
    if (queued_) return;
    queued_ = true;
    later(this, [this] { renderNow(); });
}

void GuidedBrowserView::renderNow() {
    queued_ = false;
    if (!dirty_) return;
    render();
    dirty_ = 0;
}

void GuidedBrowserView::build() {
    const Language language = guidedLanguage();
    // The page is made anew (setWidget drops the old one); the form comes
    // back from its draft.
    shownDocuments_.clear();
    page_ = new QWidget(this);
    page_->setObjectName(QStringLiteral("ql-guided-content"));
    auto* centring = new QHBoxLayout(page_);
    centring->setContentsMargins(0, 0, 0, 0);
    centring->addStretch(1);
    auto* stack = new QWidget(page_);
    stack->setMaximumWidth(1380 + 2 * 32);
    stack->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    centring->addWidget(stack, 100);
    centring->addStretch(1);
    auto* sections = column(stack, 28, QMargins(32, 32, 32, 32));

    // Section 1: the header.
    auto* header = new QWidget(stack);
    auto* headerLayout = column(header, 14);
    auto* eyebrowRow = new QHBoxLayout;
    eyebrowRow->setSpacing(6);
    eyebrowIcon_ = new QLabel(header);
    eyebrowIcon_->setFixedSize(11, 11);
    eyebrowRow->addWidget(eyebrowIcon_);
    eyebrow_ = plainLabel(header, QLTheme::font(11, QFont::DemiBold, QLTheme::Design::standard, 1),
                          QLTheme::accent());
    eyebrow_->setObjectName(QStringLiteral("ql-guided-eyebrow"));
    eyebrowRow->addWidget(eyebrow_);
    eyebrowRow->addStretch(1);
    headerLayout->addLayout(eyebrowRow);
    title_ =
        new TextBlock(QString(), QLTheme::font(35, QFont::Light), QLTheme::foreground(), header);
    title_->setObjectName(QStringLiteral("ql-guided-title"));
    headerLayout->addWidget(title_);
    introduction_ = paragraph(QString(), 15, QLTheme::muted(), 5, header);
    introduction_->setObjectName(QStringLiteral("ql-guided-introduction"));
    introduction_->setLineWidthLimit(780);
    headerLayout->addWidget(introduction_);
    auto* counters = new QHBoxLayout;
    counters->setContentsMargins(0, 5, 0, 0);
    counters->setSpacing(22);
    const QFont counterFont = QLTheme::font(12);
    counters->addWidget(symbolLabel(QStringLiteral("hand.tap"), QString(), counterFont,
                                    QLTheme::accent(), header, &toolCount_));
    toolCount_->setObjectName(QStringLiteral("ql-guided-tool-count"));
    counters->addWidget(symbolLabel(QStringLiteral("doc.text"), QString(), counterFont,
                                    QLTheme::accent(), header, &documentCount_));
    documentCount_->setObjectName(QStringLiteral("ql-guided-document-count"));
    busy_ = new BusyIndicator(12, QLTheme::accent(), header);
    busy_->setObjectName(QStringLiteral("ql-guided-busy"));
    counters->addWidget(busy_);
    counters->addStretch(1);
    headerLayout->addLayout(counters);
    sections->addWidget(header);

    // Section 2: what the inspection found.
    auto* inspection = new QWidget;
    auto* inspectionLayout = column(inspection, 0);
    surfaces_.clear();
    for (const Surface& surface : kSurfaces) {
        auto* row = new QHBoxLayout;
        row->setContentsMargins(0, 4, 0, 4);
        row->setSpacing(10);
        auto* symbol = new QLabel(inspection);
        symbol->setFixedSize(14, 14);
        row->addWidget(symbol);
        row->addWidget(plainLabel(inspection, QLTheme::font(14), QLTheme::foreground(),
                                  pick(language, surface.italian, surface.english)));
        row->addStretch(1);
        QLabel* verdict = plainLabel(inspection, QLTheme::font(14), QLTheme::muted(), QString());
        row->addWidget(verdict);
        inspectionLayout->addLayout(row);
        surfaces_.emplace_back(symbol, verdict);
    }
    inspectionLayout->addSpacing(10);
    inspectionLayout->addWidget(paragraph(
        pick(language,
             "Esito limitato agli indirizzi e ai riferimenti controllati. “Non verificato” indica "
             "un "
             "controllo incompleto, bloccato o una risposta non riconosciuta.",
             "Results cover the addresses and references checked. “Not verified” means an "
             "incomplete or blocked check, or an unrecognized response."),
        12, QLTheme::muted(), 4, inspection));
    inspectionLayout->addSpacing(10);
    documentsOnly_ = paragraph(
        pick(language,
             "È disponibile documentazione per assistenti, ma questa scansione non ha trovato "
             "servizi "
             "utilizzabili. I link contenuti nei documenti restano normali pagine web.",
             "Assistant documentation is available, but this scan found no usable services. Links "
             "in these documents remain ordinary web pages."),
        14, QLTheme::foreground(), 4, inspection);
    documentsOnly_->setObjectName(QStringLiteral("ql-guided-documents-only"));
    inspectionLayout->addWidget(documentsOnly_);
    inspectionLayout->addSpacing(10);
    QPushButton* checks = new BorderedButton(
        pick(language, "Consulta le verifiche tecniche", "Inspect the technical checks"),
        inspection);
    checks->setObjectName(QStringLiteral("ql-guided-inspect-checks"));
    connect(checks, &QPushButton::clicked, this, [this] {
        later(&store_, [store = &store_] { store->setTab(WorkspaceTab::overview); });
    });
    inspectionLayout->addWidget(checks, 0, Qt::AlignLeft);
    inspection_ = new quorilanth::Panel(QString(), inspection, stack);
    inspection_->setObjectName(QStringLiteral("ql-guided-inspection"));
    sections->addWidget(inspection_);

    // Section 3: the functions to try.
    actions_ = new QWidget(stack);
    auto* actionsLayout = column(actions_, 14);
    const QString start =
        pick(language, "Da dove vuoi iniziare?", "Where would you like to start?");
    actionsLayout->addWidget(sectionTitle(start, actions_));
    cards_ = new ToolCardGrid(actions_);
    cards_->setAccessibleName(start);
    connect(cards_, &ToolCardGrid::pressed, this, &GuidedBrowserView::choose);
    actionsLayout->addWidget(cards_);
    sections->addWidget(actions_);

    // Section 4: the form of the chosen function.
    slot_ = new QWidget(stack);
    slot_->setObjectName(QStringLiteral("guided-action"));
    slotLayout_ = column(slot_, 0);
    sections->addWidget(slot_);

    // Section 5: how the site describes itself.
    auto* description = new QWidget;
    auto* descriptionLayout = column(description, 10);
    descriptionText_ = paragraph(QString(), 14, QLTheme::tint(Qt::white, 0.85), 5, description);
    descriptionText_->setSelectable(true);
    descriptionLayout->addWidget(descriptionText_);
    descriptionLayout->addWidget(paragraph(pick(language, "Descrizione originale fornita dal sito.",
                                                "Original description supplied by the site."),
                                           11, QLTheme::muted(), 0, description));
    description_ = new quorilanth::Panel(
        pick(language, "Il sito si presenta così", "How the site describes itself"), description,
        stack);
    description_->setObjectName(QStringLiteral("ql-guided-description"));
    sections->addWidget(description_);

    // Section 6: the documents read.
    documents_ = new QWidget(stack);
    auto* documentsLayout = column(documents_, 13);
    documentsLayout->addWidget(sectionTitle(
        pick(language, "Documentazione per assistenti", "Assistant documentation"), documents_));
    documentsLayout->addWidget(paragraph(
        pick(
            language,
            "Apri una scheda per leggere cosa contiene. Sono i dati restituiti dal sito durante la "
            "scansione.",
            "Open a document to read what it contains. These are the data returned by the site "
            "during the scan."),
        13, QLTheme::muted(), 0, documents_));
    auto* rows = new QWidget(documents_);
    documentRows_ = column(rows, 13);
    documentsLayout->addWidget(rows);
    sections->addWidget(documents_);

    // Section 7: a quick guide.
    auto* guide = new QWidget;
    auto* guideLayout = column(guide, 12);
    guideLayout->addWidget(paragraph(
        pick(language,
             "Un endpoint è un indirizzo a cui chiedere informazioni. Un server MCP raccoglie "
             "funzioni "
             "che un assistente può usare, come cercare o consultare un catalogo. Qui le trovi "
             "sotto "
             "forma di schede e moduli.",
             "An endpoint is an address where information can be requested. An MCP server offers "
             "functions an assistant can use, such as searching or browsing a catalog. Here, you "
             "use "
             "them through cards and forms."),
        14, QLTheme::foreground(), 5, guide));
    guideLayout->addWidget(paragraph(
        pick(
            language,
            "La scansione verifica il collegamento e legge le funzioni dichiarate. Una funzione "
            "viene eseguita soltanto quando invii tu la richiesta. Le descrizioni e le "
            "informazioni "
            "commerciali provengono dal sito.",
            "The scan checks the connection and reads the declared functions. A function runs only "
            "when you send a request. Descriptions and commercial information come from the site."),
        12, QLTheme::muted(), 4, guide));
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    QPushButton* schema = new BorderedButton(pick(language, "Vedi come è collegato tutto · SCHEMA",
                                                  "See how everything connects · SCHEMA"),
                                             guide);
    schema->setObjectName(QStringLiteral("ql-guided-open-schema"));
    connect(schema, &QPushButton::clicked, this,
            [this] { later(&store_, [store = &store_] { store->setTab(WorkspaceTab::schema); }); });
    buttons->addWidget(schema);
    QPushButton* issues = new BorderedButton(
        pick(language, "Verifiche e problemi rilevati", "Checks and detected issues"), guide);
    issues->setObjectName(QStringLiteral("ql-guided-open-checks"));
    connect(issues, &QPushButton::clicked, this, [this] {
        later(&store_, [store = &store_] { store->setTab(WorkspaceTab::overview); });
    });
    buttons->addWidget(issues);
    buttons->addStretch(1);
    guideLayout->addLayout(buttons);
    scanLine_ = plainLabel(guide, QLTheme::font(11), QLTheme::muted(), QString());
    scanLine_->setObjectName(QStringLiteral("ql-guided-scan-line"));
    guideLayout->addWidget(scanLine_);
    auto* quickGuide = new quorilanth::Panel(
        pick(language, "Due parole per orientarsi", "A quick guide"), guide, stack);
    quickGuide->setObjectName(QStringLiteral("ql-guided-guide"));
    sections->addWidget(quickGuide);
    sections->addStretch(1);

    page_->installEventFilter(this);
    setWidget(page_);
}

void GuidedBrowserView::derive() {
    derived_ = {};
    if (!store_.report()) return;
    const ScanReport& report = *store_.report();
    const Language language = guidedLanguage();
    derived_.tools = GuidedPresentation::tools(report);
    derived_.keys = GuidedPresentation::toolKeys(derived_.tools);
    derived_.assessment.emplace(report);
    derived_.description = GuidedPresentation::siteDescription(report, language);

    std::vector<ToolCard> cards;
    cards.reserve(derived_.tools.size());
    for (std::size_t i = 0; i < derived_.tools.size(); ++i) {
        const MCPTool& tool = derived_.tools[i];
        const std::string_view name = tool.name();
        cards.push_back(
            {derived_.keys[i], tool.id(), QStringLiteral("guided-action-") + fromUtf8(name),
             cardText(GuidedPresentation::actionTitle(tool, language), kCardTitle),
             cardText(GuidedPresentation::actionIntroduction(tool, language), kCardIntroduction),
             fromUtf8(GuidedPresentation::safety(tool, language)),
             tool.safety() == ToolSafety::readOnly, name.starts_with("search")});
    }
    cards_->setCards(std::move(cards));
}

void GuidedBrowserView::render() {
    if (dirty_ & reportPart) derive();
    const bool hasReport = store_.report().has_value();
    page_->setVisible(hasReport);
    if (!hasReport) {
        renderForm();
        return;
    }
    // A new selection leaves the rest of the page as it was: setting its
    // symbols again would repaint the header and the panels under them.
    const bool pageChanged = dirty_ & (reportPart | busyPart);
    if (pageChanged) {
        renderHeader();
        renderInspection();
    }
    actions_->setVisible(!derived_.tools.empty());
    cards_->setSelected(store_.selectedID(), session_.chosenKey());
    renderForm();
    if (std::exchange(focusForm_, false)) focusForm();
    if (pageChanged) {
        const AgentSurfaceAssessment& assessment = *derived_.assessment;
        const bool described = !assessment.documents.empty() || assessment.hasInteractiveServices();
        description_->setVisible(described && derived_.description.has_value());
        if (derived_.description) descriptionText_->setText(shownText(*derived_.description));
        renderGuide();
    }
    if (dirty_ & reportPart) renderDocuments();

    if ((dirty_ & selectionPart) && store_.selectedID() != selected_) {
        // The form is laid out by now or in a moment; look again shortly after.
        if (store_.selectedTool())
            settleScroll_->start();
        else
            settleScroll_->stop();
    }
    selected_ = store_.selectedID();
}

void GuidedBrowserView::renderHeader() {
    const Language language = guidedLanguage();
    const bool busy = store_.busy();
    const AgentSurfaceAssessment& assessment = *derived_.assessment;
    eyebrowIcon_->setPixmap(
        Symbols::pixmap(busy ? QStringLiteral("hourglass") : QStringLiteral("hand.wave"),
                        QLTheme::accent(), 11, devicePixelRatioF()));
    eyebrow_->setText(
        busy ? pick(language, "Stiamo leggendo il sito…", "Reading the site…")
             : pick(language, "IL SITO, IN PAROLE SEMPLICI", "THE SITE, IN PLAIN LANGUAGE"));
    title_->setText((assessment.hasInteractiveServices()
                         ? pick(language, "Cosa puoi fare su", "What you can do on")
                         : pick(language, "Risultato della verifica", "Inspection result")) +
                    QLatin1Char('\n') + siteName(*store_.report()));
    introduction_->setText(
        derived_.tools.empty()
            ? pick(language,
                   "Qui distinguiamo i servizi utilizzabili dagli assistenti dai documenti che "
                   "spiegano il sito. I normali link alle pagine non sono funzioni per agenti.",
                   "We distinguish services assistants can use from documents that describe the "
                   "site. Ordinary page links are not agent functions.")
            : pick(
                  language,
                  "Il sito mette a disposizione queste funzioni. Scegli cosa vuoi fare: Quorilanth "
                  "ti accompagna nella richiesta e ti mostra la risposta.",
                  "The site makes these functions available. Choose what you want to do: "
                  "Quorilanth guides you through the request and shows you the answer."));
    const std::size_t tools = derived_.tools.size();
    const std::size_t documents = assessment.documents.size();
    toolCount_->setText(tools == 1 ? pick(language, "1 funzione da provare", "1 function to try")
                                   : QString::number(tools) + pick(language, " funzioni da provare",
                                                                   " functions to try"));
    documentCount_->setText(documents == 1
                                ? pick(language, "1 documento letto", "1 document read")
                                : QString::number(documents) +
                                      pick(language, " documenti letti", " documents read"));
    busy_->setVisible(busy);
}

void GuidedBrowserView::renderInspection() {
    const Language language = guidedLanguage();
    const AgentSurfaceAssessment& assessment = *derived_.assessment;
    inspection_->setVisible(!store_.busy());
    inspection_->setTitle(
        assessment.hasInteractiveServices()
            ? pick(language, "Servizi per agenti verificati", "Verified agent services")
        : assessment.hasUnresolvedChecks()
            ? pick(language, "Nessun servizio per agenti verificato", "No agent service verified")
            : pick(language, "Nessun server MCP o API per agenti trovato",
                   "No MCP server or agent API found"));
    for (std::size_t i = 0; i < surfaces_.size(); ++i) {
        const Surface& surface = kSurfaces[i];
        const Presence presence = assessment.*surface.presence;
        const QColor colour = presence == Presence::found ? QLTheme::accent() : QLTheme::muted();
        surfaces_[i].first->setPixmap(Symbols::pixmap(
            presence == Presence::found      ? QStringLiteral("checkmark.circle")
            : presence == Presence::notFound ? QStringLiteral("minus.circle")
                                             : QStringLiteral("questionmark.circle"),
            colour, 14, devicePixelRatioF()));
        surfaces_[i].second->setText(fromUtf8(GuidedPresentation::presenceTitle(
            presence, surface.feminine, surface.plural, language)));
        setTextColour(surfaces_[i].second, colour);
    }
    documentsOnly_->setVisible(!assessment.hasInteractiveServices() &&
                               !assessment.documents.empty());
}

void GuidedBrowserView::renderForm() {
    std::optional<std::pair<MCPTool, std::string>> chosen;
    if (const std::optional<std::string>& selected = store_.selectedID()) {
        // Of two offered tools with one id, the card the user pressed.
        if (const std::optional<std::string>& key = session_.chosenKey())
            for (std::size_t i = 0; i < derived_.keys.size() && !chosen; ++i)
                if (derived_.keys[i] == *key && derived_.tools[i].id() == *selected)
                    chosen.emplace(derived_.tools[i], *key);
        if (!chosen)
            if (std::optional<MCPTool> tool = store_.selectedTool())
                chosen.emplace(std::move(*tool), *selected);
    }
    const Language language = guidedLanguage();
    if (form_ && chosen && form_->toolKey() == chosen->second && form_->tool() == chosen->first &&
        form_->language() == language)
        return;
    // The keyboard in a form that goes moves to what takes its place. Left to
    // itself it would fall to the next control down the page, and the page
    // would scroll there.
    QWidget* focus = window()->focusWidget();
    const bool keyboardInForm = form_ && focus && form_->isAncestorOf(focus);
    if (keyboardInForm) focus->clearFocus();
    if (form_) {
        // Out of the layout now, so that the page is laid out once for the
        // new form rather than again when the old one goes.
        slotLayout_->removeWidget(form_);
        form_->hide();
        form_->deleteLater();
        form_ = nullptr;
    }
    // An empty slot would add a second gap between its neighbours.
    slot_->setVisible(chosen.has_value());
    if (!chosen) {
        // Back to the cards, on the one that opened the form.
        if (keyboardInForm && cards_->isVisible()) {
            cards_->setFocus(Qt::OtherFocusReason);
            revealFocus(cards_);
        }
        return;
    }
    focusForm_ = focusForm_ || keyboardInForm;
    const std::optional<GuidedSession::Draft>& draft = session_.draft();
    const bool drafted = draft && draft->toolKey == chosen->second;
    GuidedPresentation::FormValues values =
        drafted ? draft->values : GuidedPresentation::initialValues(chosen->first, language);
    GuidedPresentation::ChoicePositions positions =
        drafted ? draft->positions : GuidedPresentation::ChoicePositions{};
    session_.keepDraft({chosen->second, chosen->first.id(), values, positions});
    form_ = new GuidedToolView(store_, session_, std::move(chosen->first), chosen->second,
                               std::move(values), slot_, std::move(positions));
    slotLayout_->addWidget(form_);
    connect(form_, &GuidedToolView::answerShown, this, [this](QWidget* answer) {
        answer_ = answer;
        revealAnswer_->start();
        answerSettled_->start();
    });
}

void GuidedBrowserView::renderDocuments() {
    const std::vector<GraphNode>& documents = derived_.assessment->documents;
    documents_->setVisible(!documents.empty());
    if (documents == shownDocuments_) return;
    shownDocuments_ = documents;
    while (QLayoutItem* item = documentRows_->takeAt(0)) {
        if (QWidget* row = item->widget()) {
            row->hide();
            row->deleteLater();
        }
        delete item;
    }
    const Language language = guidedLanguage();
    QWidget* parent = documentRows_->parentWidget();
    for (std::size_t i = 0; i < documents.size(); ++i) {
        const GraphNode& node = documents[i];
        auto* row = new DocumentRow(store_, node, language, parent);
        // The row stays open across new reports while the scan goes on.
        connect(row->header(), &QAbstractButton::toggled, this, [this, id = node.id](bool open) {
            if (open)
                openDocuments_.insert(id);
            else
                openDocuments_.erase(id);
        });
        if (openDocuments_.count(node.id)) row->header()->setChecked(true);
        documentRows_->addWidget(row);
    }
}

void GuidedBrowserView::renderGuide() {
    const Language language = guidedLanguage();
    const ScanReport& report = *store_.report();
    scanLine_->setText(
        pick(language, "Scansione del ", "Scanned on ") +
        fromUtf8(localizedDateTime(report.startedAt, language == Language::italian ? "it" : "en")) +
        (report.finishedAt ? QString()
                           : pick(language, " · risultati parziali", " · partial results")));
}

int GuidedBrowserView::formTop() const {
    int top = slot_->mapTo(page_, QPoint(0, 0)).y();
    // Further down when the control that has the keyboard in the form would
    // stay under the view: a long introduction pushes the first field down.
    if (QWidget* focus = window()->focusWidget(); form_ && focus && form_->isAncestorOf(focus))
        top = qMax(top, focus->mapTo(page_, QPoint(0, focus->height())).y() - viewport()->height());
    return qBound(0, top, verticalScrollBar()->maximum());
}

void GuidedBrowserView::focusForm() {
    if (!form_) return;
    // A form added to a shown page shows once the event loop turns; the
    // keyboard cannot go into it before.
    form_->show();
    if (QWidget* first = form_->firstControl()) first->setFocus(Qt::OtherFocusReason);
}

void GuidedBrowserView::scrollToForm() {
    scroll_->stop();
    if (reducedMotion()) {
        verticalScrollBar()->setValue(formTop());
        return;
    }
    scrollStart_ = verticalScrollBar()->value();
    scroll_->start();
}

// Scrolls down just enough to show the answer, or as much of it as the view
// holds under Send, which keeps the keyboard and stays in view; an answer
// already in view leaves the page where it is.
void GuidedBrowserView::revealAnswer() {
    if (!answer_ || !answer_->isVisible()) return;
    QScrollBar* bar = verticalScrollBar();
    const int top = answer_->mapTo(page_, QPoint()).y();
    const int bottom = top + answer_->height();
    const int shown = viewport()->height();
    int value = bar->value();
    if (bottom > value + shown) value = bottom - shown;
    if (top < value) value = top;
    if (form_) value = qMin(value, form_->sendButton()->mapTo(page_, QPoint()).y());
    scroll_->stop();
    settleScroll_->stop();
    bar->setValue(value);
}

void GuidedBrowserView::choose(int index) {
    const std::vector<ToolCard>& cards = cards_->cards();
    if (index < 0 || index >= int(cards.size())) return;
    // The page scrolls to the form: a keyboard left on the card would be on
    // a card out of view.
    focusForm_ = window()->focusWidget() == cards_;
    session_.choose(cards[std::size_t(index)].key);
    store_.select(cards[std::size_t(index)].toolID);
    // Another card of the same id leaves the selection as it was.
    request(selectionPart);
    scrollToForm();
}

} // namespace quorilanth
