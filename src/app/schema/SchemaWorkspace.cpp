#include "app/schema/SchemaWorkspace.h"

#include "app/kit/QLTheme.h"
#include "app/kit/RemoteText.h"
#include "app/kit/Symbols.h"
#include "app/schema/SchemaCanvasSlot.h"
#include "app/schema/SchemaTexts.h"
#include "app/schema/SchemaZoomControls.h"
#include "app/store/AppLanguage.h"
#include "app/store/WorkspaceStore.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace quorilanth {
namespace {

constexpr NodeKind legendKinds[] = {NodeKind::discovery, NodeKind::manifest, NodeKind::mcp,
                                    NodeKind::tool, NodeKind::content};

QLabel* symbolLabel(const QString& name, const QColor& colour, int size, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setPixmap(Symbols::pixmap(name, colour, size, parent->devicePixelRatioF()));
    return label;
}

QToolButton* toolButton(const QString& name, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QCheckBox* option(const QString& label, const QString& name, QWidget* parent) {
    auto* box = new QCheckBox(label, parent);
    box->setObjectName(name);
    box->setFont(QLTheme::font(10));
    setTextColour(box, QLTheme::muted());
    return box;
}

// A band of its own colour that keeps its height whatever its contents ask.
Backdrop* band(const QColor& colour, int height, QWidget* parent) {
    auto* widget = new Backdrop(colour, parent);
    if (height > 0) widget->setFixedHeight(height);
    return widget;
}

QString count(std::size_t value) {
    return QString::number(static_cast<qulonglong>(value));
}

} // namespace

SchemaWorkspace::SchemaWorkspace(WorkspaceStore& store, QWidget* parent)
    : Backdrop(QLTheme::background(), parent), store_(store),
      renderer_(new CoalescedRender(this, [this] { render(); })) {
    setObjectName(QStringLiteral("ql-pane-SCHEMA"));
    if (store_.report()) reportID_ = store_.report()->id;

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    content_ = new QWidget(this);
    content_->setObjectName(QStringLiteral("ql-schema-content"));
    outer->addWidget(content_);
    auto* bands = new QVBoxLayout(content_);
    bands->setContentsMargins(0, 0, 0, 0);
    bands->setSpacing(0);
    bands->addWidget(buildOptions());
    bands->addWidget(buildHeader());
    bands->addWidget(buildPaging());
    bands->addWidget(buildCanvas(), 1);
    bands->addWidget(buildLegend());

    connect(&store_, &WorkspaceStore::reportChanged, this, &SchemaWorkspace::reportChanged);
    connect(&store_, &WorkspaceStore::focusSelectionChanged, this,
            &SchemaWorkspace::focusSelectionChanged);
    for (auto signal : {&WorkspaceStore::showContentChanged, &WorkspaceStore::showMissingChanged})
        connect(&store_, signal, this, &SchemaWorkspace::rescope);
    // Showing or hiding the inspector resizes the canvas, which then fits anew.
    connect(&store_, &WorkspaceStore::showInspectorChanged, this,
            [this] { store_.bumpGraphCommand(); });
    for (auto signal : {&WorkspaceStore::selectedIDChanged, &WorkspaceStore::showInspectorChanged,
                        &WorkspaceStore::graphCommandChanged, &WorkspaceStore::liveSchemaChanged})
        connect(&store_, signal, renderer_, &CoalescedRender::request);
    render();
}

QWidget* SchemaWorkspace::buildOptions() {
    auto* row = band(QLTheme::tint(QLTheme::panel(), 0.55), 38, content_);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(20, 0, 20, 0);
    layout->setSpacing(16);
    showContent_ =
        option(QStringLiteral("Content / SEO"), QStringLiteral("ql-schema-show-content"), row);
    showMissing_ = option(QStringLiteral("Unverified / missing"),
                          QStringLiteral("ql-schema-show-missing"), row);
    focusSelection_ =
        option(QStringLiteral("Focus selection"), QStringLiteral("ql-schema-focus-selection"), row);
    liveSchema_ = option(QStringLiteral("Live Schema"), QStringLiteral("ql-schema-live"), row);
    setTextColour(liveSchema_, QLTheme::accent());
    connect(showContent_, &QCheckBox::clicked, &store_, &WorkspaceStore::setShowContent);
    connect(showMissing_, &QCheckBox::clicked, &store_, &WorkspaceStore::setShowMissing);
    connect(focusSelection_, &QCheckBox::clicked, &store_, &WorkspaceStore::setFocusSelection);
    connect(liveSchema_, &QCheckBox::clicked, &store_, &WorkspaceStore::setLiveSchema);
    layout->addWidget(showContent_);
    layout->addWidget(showMissing_);
    layout->addWidget(focusSelection_);
    layout->addStretch(1);
    layout->addWidget(liveSchema_);
    return row;
}

QWidget* SchemaWorkspace::buildHeader() {
    auto* row = band(QLTheme::background(), 0, content_);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(20, 17, 20, 17);
    layout->setSpacing(12);

    back_ = toolButton(QStringLiteral("schema-back"), row);
    back_->setIcon(Symbols::icon(QStringLiteral("arrow.left"), QLTheme::foreground(), 14));
    connect(back_, &QToolButton::clicked, this, [this] {
        navigator_.back();
        rescope();
    });
    overview_ = toolButton(QStringLiteral("schema-overview"), row);
    overview_->setFont(QLTheme::font(12));
    setTextColour(overview_, QLTheme::accent());
    connect(overview_, &QToolButton::clicked, this, [this] {
        navigator_.reset();
        store_.setFocusSelection(false);
        rescope();
    });
    separator_ = symbolLabel(QStringLiteral("chevron.right"), QLTheme::muted(), 9, row);
    layout->addWidget(back_);
    layout->addWidget(overview_);
    layout->addWidget(separator_);

    auto* titles = new QVBoxLayout;
    titles->setSpacing(5);
    title_ = new ElidedLabel(row);
    title_->setObjectName(QStringLiteral("ql-schema-title"));
    title_->setFont(QLTheme::font(18, QFont::DemiBold));
    subtitle_ = new ElidedLabel(row);
    subtitle_->setObjectName(QStringLiteral("ql-schema-subtitle"));
    subtitle_->setFont(QLTheme::font(10));
    subtitle_->setColour(QLTheme::muted());
    titles->addWidget(title_);
    titles->addWidget(subtitle_);
    layout->addLayout(titles, 1);
    layout->addSpacing(8);

    groups_ = toolButton(QStringLiteral("schema-groups"), row);
    groups_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    groups_->setIcon(Symbols::icon(QStringLiteral("square.grid.2x2"), QLTheme::foreground(), 13));
    groups_->setFont(QLTheme::font(12));
    groups_->setPopupMode(QToolButton::InstantPopup);
    groupsMenu_ = new QMenu(groups_);
    groupsMenu_->setObjectName(QStringLiteral("ql-schema-groups-menu"));
    groups_->setMenu(groupsMenu_);
    layout->addWidget(groups_);

    branch_ = toolButton(QStringLiteral("schema-branch"), row);
    branch_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    branch_->setIcon(Symbols::icon(QStringLiteral("point.3.connected.trianglepath.dotted"),
                                   QLTheme::foreground(), 13));
    branch_->setFont(QLTheme::font(12));
    connect(branch_, &QToolButton::clicked, this, [this] {
        if (store_.selectedID()) navigate(SchemaScope::branch(*store_.selectedID()));
    });
    layout->addWidget(branch_);
    layout->addWidget(new SchemaZoomControls(store_, row));
    return row;
}

QWidget* SchemaWorkspace::buildPaging() {
    paging_ = band(QLTheme::panel(), 38, content_);
    paging_->setObjectName(QStringLiteral("ql-schema-paging"));
    paging_->setFont(QLTheme::font(11));
    auto* layout = new QHBoxLayout(paging_);
    layout->setContentsMargins(22, 0, 22, 0);
    layout->addWidget(
        symbolLabel(QStringLiteral("magnifyingglass"), QLTheme::muted(), 12, paging_));

    filter_ = new QLineEdit(paging_);
    filter_->setObjectName(QStringLiteral("schema-filter"));
    filter_->setFrame(false);
    filter_->setMaximumWidth(300);
    filter_->setFont(QLTheme::font(11));
    QPalette palette = filter_->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::PlaceholderText, QLTheme::muted());
    filter_->setPalette(palette);
    connect(filter_, &QLineEdit::textEdited, this, [this](const QString& text) {
        navigator_.setQuery(text.toStdString());
        rescope();
    });
    layout->addWidget(filter_, 1);
    layout->addStretch(1);

    itemCount_ = plainLabel(paging_, QLTheme::font(11), QLTheme::muted());
    itemCount_->setObjectName(QStringLiteral("ql-schema-item-count"));
    layout->addWidget(itemCount_);
    previousPage_ = toolButton(QStringLiteral("schema-previous-page"), paging_);
    previousPage_->setIcon(
        Symbols::icon(QStringLiteral("chevron.left"), QLTheme::foreground(), 12));
    connect(previousPage_, &QToolButton::clicked, this, [this] {
        if (!scene_) return;
        navigator_.previousPage(scene_->page);
        rescope();
    });
    layout->addWidget(previousPage_);
    pageText_ = plainLabel(paging_, QLTheme::font(11, QFont::Normal, QLTheme::Design::monospaced),
                           QLTheme::foreground());
    pageText_->setObjectName(QStringLiteral("ql-schema-page"));
    pageText_->setFixedWidth(55);
    pageText_->setAlignment(Qt::AlignCenter);
    layout->addWidget(pageText_);
    nextPage_ = toolButton(QStringLiteral("schema-next-page"), paging_);
    nextPage_->setIcon(Symbols::icon(QStringLiteral("chevron.right"), QLTheme::foreground(), 12));
    connect(nextPage_, &QToolButton::clicked, this, [this] {
        if (!scene_) return;
        navigator_.nextPage(scene_->page);
        rescope();
    });
    layout->addWidget(nextPage_);
    return paging_;
}

QWidget* SchemaWorkspace::buildCanvas() {
    auto* holder = new QWidget(content_);
    // The overlay shares the canvas's cell and lies above it.
    auto* layout = new QGridLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    canvas_ = makeSchemaCanvas(store_, holder);
    canvas_->onSelect = [this](const std::string& id) { store_.select(id); };
    canvas_->onGroup = [this](NodeKind kind) { navigate(SchemaScope::group(kind)); };
    canvas_->onBranch = [this](const std::string& id) { navigate(SchemaScope::branch(id)); };
    layout->addWidget(canvas_, 0, 0);

    emptyOverlay_ = new QWidget(holder);
    emptyOverlay_->setObjectName(QStringLiteral("ql-schema-empty"));
    emptyOverlay_->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* column = new QVBoxLayout(emptyOverlay_);
    column->setSpacing(10);
    column->addStretch(1);
    auto* symbol = symbolLabel(QStringLiteral("line.3.horizontal.decrease.circle"),
                               QLTheme::muted(), 36, emptyOverlay_);
    column->addWidget(symbol, 0, Qt::AlignHCenter);
    emptyTitle_ =
        plainLabel(emptyOverlay_, QLTheme::font(17, QFont::DemiBold), QLTheme::foreground());
    column->addWidget(emptyTitle_, 0, Qt::AlignHCenter);
    emptyDescription_ = plainLabel(emptyOverlay_, QLTheme::font(12), QLTheme::muted());
    column->addWidget(emptyDescription_, 0, Qt::AlignHCenter);
    column->addStretch(1);
    layout->addWidget(emptyOverlay_, 0, 0);
    return holder;
}

QWidget* SchemaWorkspace::buildLegend() {
    auto* row = band(QLTheme::tint(QLTheme::panel(), 0.65), 0, content_);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setSpacing(14);
    for (std::size_t i = 0; i < std::size(legendKinds); ++i) {
        auto* item = new QHBoxLayout;
        item->setSpacing(5);
        item->addWidget(new Swatch(5, 5, QLTheme::color(legendKinds[i]), row, true));
        legendTitles_[i] = plainLabel(row, QLTheme::font(9), QLTheme::muted());
        item->addWidget(legendTitles_[i]);
        layout->addLayout(item);
    }
    layout->addStretch(1);
    legendHint_ = plainLabel(row, QLTheme::font(9), QLTheme::muted());
    layout->addWidget(legendHint_);
    return row;
}

void SchemaWorkspace::navigate(SchemaScope scope) {
    navigator_.navigate(std::move(scope));
    rescope();
}

void SchemaWorkspace::rescope() {
    sceneStale_ = true;
    renderer_->request();
}

void SchemaWorkspace::reportChanged() {
    std::optional<std::string> id;
    if (store_.report()) id = store_.report()->id;
    // Progress steps of one scan keep the report's id and the place on the map.
    if (id != reportID_) {
        reportID_ = std::move(id);
        navigator_.reset();
    }
    rescope();
}

void SchemaWorkspace::focusSelectionChanged() {
    if (!store_.focusSelection())
        navigator_.reset();
    else if (store_.selectedID())
        navigator_.navigate(SchemaScope::branch(*store_.selectedID()));
    rescope();
}

void SchemaWorkspace::chooseGroup(NodeKind kind) {
    // Content stays hidden unless asked for; opening its group asks.
    if (kind == NodeKind::content && !store_.showContent()) store_.setShowContent(true);
    navigate(SchemaScope::group(kind));
}

QString SchemaWorkspace::title() const {
    switch (navigator_.scope.which()) {
    case SchemaScope::Case::overview:
        return AppLanguage::pick(QStringLiteral("Architettura del sito"),
                                 QStringLiteral("Site architecture"));
    case SchemaScope::Case::group:
        return schemaKindTitle(navigator_.scope.kind());
    case SchemaScope::Case::branch:
        // Also a node the display options hide has its name.
        if (store_.report())
            if (const GraphNode* node = store_.report()->findNode(navigator_.scope.nodeID()))
                return remoteText(QString::fromStdString(node->label), DirectionControls::shown);
        return AppLanguage::pick(QStringLiteral("Collegamenti"), QStringLiteral("Connections"));
    }
    return {};
}

QString SchemaWorkspace::subtitle(const SchemaScene& scene) const {
    switch (scene.scope.which()) {
    case SchemaScope::Case::overview:
        return QString::number(scene.eligibleNodeCount) + QStringLiteral(" / ") +
               count(store_.report() ? store_.report()->nodes.size() : 0) + QLatin1Char(' ') +
               AppLanguage::pick(
                   QStringLiteral("elementi visibili \u00B7 apri un gruppo per esplorarlo"),
                   QStringLiteral("visible observations \u00B7 open a group to explore"));
    case SchemaScope::Case::group:
        return AppLanguage::pick(QStringLiteral("Seleziona un elemento per l\u2019inspector \u00B7 "
                                                "doppio clic per i suoi collegamenti"),
                                 QStringLiteral("Select an observation to inspect \u00B7 "
                                                "double-click for its connections"));
    case SchemaScope::Case::branch:
        return AppLanguage::pick(QStringLiteral("Collegamenti diretti osservati \u00B7 le frecce "
                                                "indicano la direzione del riferimento"),
                                 QStringLiteral("Observed direct connections \u00B7 arrows show "
                                                "the direction of the reference"));
    }
    return {};
}

void SchemaWorkspace::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange || event->type() == QEvent::LocaleChange)
        renderer_->request();
    Backdrop::changeEvent(event);
}

void SchemaWorkspace::renderGroupsMenu() {
    // Every kind any node has, visible or not: a hidden kind opens onto the
    // empty-state overlay, which says how to show it.
    bool present[allNodeKinds.size()] = {};
    for (const GraphNode& node : store_.report()->nodes)
        present[static_cast<std::size_t>(node.kind)] = true;
    QString key = QString::number(AppLanguage::current());
    for (bool kind : present)
        key += kind ? QLatin1Char('1') : QLatin1Char('0');
    if (key == menuKey_) return;
    menuKey_ = key;
    groupsMenu_->clear();
    for (NodeKind kind : allNodeKinds) {
        if (!present[static_cast<std::size_t>(kind)]) continue;
        QAction* action = groupsMenu_->addAction(literalMenuText(schemaKindTitle(kind)));
        action->setObjectName(QStringLiteral("ql-schema-group-") +
                              QString::fromUtf8(toString(kind).data(),
                                                static_cast<qsizetype>(toString(kind).size())));
        connect(action, &QAction::triggered, this, [this, kind] { chooseGroup(kind); });
    }
}

void SchemaWorkspace::render() {
    const std::optional<ScanReport>& report = store_.report();
    content_->setVisible(report.has_value());
    if (!report) {
        scene_.reset();
        return;
    }
    if (sceneStale_ || !scene_) {
        scene_ = std::make_shared<const SchemaScene>(
            SchemaProjection::scene(store_.sharedReport(), navigator_.scope, navigator_.page,
                                    navigator_.query, store_.showContent(), store_.showMissing()));
        sceneStale_ = false;
    }
    const SchemaScene& scene = *scene_;
    const bool overview = scene.scope.which() == SchemaScope::Case::overview;
    const std::optional<std::string>& selected = store_.selectedID();

    for (auto [box, value] : {std::pair{showContent_, store_.showContent()},
                              std::pair{showMissing_, store_.showMissing()},
                              std::pair{focusSelection_, store_.focusSelection()},
                              std::pair{liveSchema_, store_.liveSchema()}}) {
        const QSignalBlocker quiet(box);
        box->setChecked(value);
    }
    focusSelection_->setEnabled(selected.has_value());

    const QString backText = AppLanguage::pick(QStringLiteral("Indietro"), QStringLiteral("Back"));
    back_->setToolTip(backText);
    back_->setAccessibleName(backText);
    overview_->setText(AppLanguage::pick(QStringLiteral("Panoramica"), QStringLiteral("Overview")));
    for (QWidget* widget : {static_cast<QWidget*>(back_), static_cast<QWidget*>(overview_),
                            static_cast<QWidget*>(separator_)})
        widget->setVisible(!overview);
    title_->setText(title());
    subtitle_->setText(subtitle(scene));
    groups_->setText(
        AppLanguage::pick(QStringLiteral("Esplora gruppi"), QStringLiteral("Browse groups")));
    renderGroupsMenu();
    branch_->setText(AppLanguage::pick(QStringLiteral("Apri ramo"), QStringLiteral("Open branch")));
    branch_->setToolTip(AppLanguage::pick(
        QStringLiteral("Solo i collegamenti diretti dell\u2019elemento selezionato"),
        QStringLiteral("Only the selected observation\u2019s direct connections")));
    branch_->setVisible(selected && report->findNode(*selected));

    paging_->setVisible(!overview);
    if (filter_->text().toStdString() != navigator_.query)
        filter_->setText(QString::fromStdString(navigator_.query));
    filter_->setPlaceholderText(AppLanguage::pick(QStringLiteral("Filtra per nome o URL"),
                                                  QStringLiteral("Filter by name or URL")));
    filter_->setAccessibleName(filter_->placeholderText());
    previousPage_->setAccessibleName(
        AppLanguage::pick(QStringLiteral("Pagina precedente"), QStringLiteral("Previous page")));
    nextPage_->setAccessibleName(
        AppLanguage::pick(QStringLiteral("Pagina successiva"), QStringLiteral("Next page")));
    itemCount_->setText(QString::number(scene.totalItems) + QLatin1Char(' ') +
                        AppLanguage::pick(QStringLiteral("elementi"), QStringLiteral("items")));
    previousPage_->setEnabled(scene.page > 0);
    pageText_->setText(QString::number(scene.page + 1) + QStringLiteral(" / ") +
                       QString::number(scene.pageCount));
    nextPage_->setEnabled(scene.page + 1 < scene.pageCount);

    SchemaCanvasInput input;
    input.reportID = report->id;
    input.scene = scene_;
    if (store_.showInspector()) input.selectedID = selected;
    input.fitCommand = store_.graphCommand();
    input.animate = store_.liveSchema();
    canvas_->present(std::move(input));
    emptyOverlay_->setVisible(scene.cards.empty());
    emptyTitle_->setText(AppLanguage::pick(QStringLiteral("Nessun elemento visibile"),
                                           QStringLiteral("No visible observations")));
    emptyDescription_->setText(
        AppLanguage::pick(QStringLiteral("Modifica i filtri o torna alla panoramica."),
                          QStringLiteral("Adjust the filters or return to the overview.")));

    for (std::size_t i = 0; i < std::size(legendKinds); ++i)
        legendTitles_[i]->setText(schemaKindTitle(legendKinds[i]));
    legendHint_->setText(AppLanguage::pick(
        QStringLiteral("Trascina per spostare \u00B7 doppio clic per aprire un ramo"),
        QStringLiteral("Drag to pan \u00B7 double-click to open a branch")));
}

} // namespace quorilanth
