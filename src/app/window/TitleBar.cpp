#include "app/window/TitleBar.h"

#include "app/kit/QLTheme.h"
#include "app/kit/Symbols.h"
#include "app/store/AppLanguage.h"
#include "app/store/WorkspaceStore.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

namespace quorilanth {
namespace {

QToolButton* plainButton(QWidget* parent, const QString& symbol, const QString& objectName) {
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setIcon(Symbols::icon(symbol, QLTheme::foreground(), 14));
    button->setIconSize(QSize(14, 14));
    button->setFont(QLTheme::font(11));
    button->setFocusPolicy(Qt::TabFocus);
    button->setObjectName(objectName);
    return button;
}

} // namespace

TitleBar::TitleBar(WorkspaceStore& store, QWidget* parent)
    : Backdrop(QLTheme::panel(), parent), store_(store),
      renderer_(new CoalescedRender(this, [this] { render(); })) {
    setObjectName(QStringLiteral("ql-title-bar"));
    setFixedHeight(49);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(20, 0, 20, 0);
    row->setSpacing(10);

    auto* mark = new QLabel(this);
    mark->setPixmap(Symbols::pixmap(QStringLiteral("point.3.connected.trianglepath.dotted"),
                                    QLTheme::accent(), 22, devicePixelRatioF()));
    row->addWidget(mark);

    auto* name = new QLabel(QStringLiteral("Quorilanth"), this);
    name->setTextFormat(Qt::PlainText);
    name->setFont(QLTheme::font(14, QFont::DemiBold));
    setTextColour(name, QLTheme::foreground());
    row->addWidget(name);

    auto* tagline = new QLabel(QStringLiteral("BROWSER FOR THE AGENTIC WEB"), this);
    tagline->setTextFormat(Qt::PlainText);
    tagline->setFont(QLTheme::font(8, QFont::Medium, QLTheme::Design::monospaced, 1.8));
    tagline->setContentsMargins(8, 0, 0, 0);
    setTextColour(tagline, QLTheme::muted());
    row->addWidget(tagline);
    row->addStretch(1);

    open_ = plainButton(this, QStringLiteral("folder"), QStringLiteral("open-report"));
    open_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    connect(open_, &QToolButton::clicked, this, [this] { store_.openReport(); });
    row->addWidget(open_);

    export_ =
        plainButton(this, QStringLiteral("square.and.arrow.up"), QStringLiteral("export-menu"));
    export_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    export_->setPopupMode(QToolButton::InstantPopup);
    export_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    exportMenu_ = new QMenu(export_);
    exportJSON_ = exportMenu_->addAction(QString());
    exportPDF_ = exportMenu_->addAction(QString());
    exportMarkdown_ = exportMenu_->addAction(QStringLiteral("Markdown"));
    // The export runs after the menu has closed, never inside its own handler.
    const auto exportLater = [this](const QString& format) {
        QMetaObject::invokeMethod(
            this, [this, format] { store_.exportAs(format); }, Qt::QueuedConnection);
    };
    connect(exportJSON_, &QAction::triggered, this,
            [exportLater] { exportLater(QStringLiteral("json")); });
    connect(exportPDF_, &QAction::triggered, this,
            [exportLater] { exportLater(QStringLiteral("pdf")); });
    connect(exportMarkdown_, &QAction::triggered, this,
            [exportLater] { exportLater(QStringLiteral("md")); });
    export_->setMenu(exportMenu_);
    row->addWidget(export_);

    auto* dividerBox = new QWidget(this);
    auto* dividerRow = new QHBoxLayout(dividerBox);
    dividerRow->setContentsMargins(6, 0, 6, 0);
    dividerRow->addWidget(new Swatch(1, 16, QLTheme::line(), dividerBox));
    divider_ = dividerBox;
    row->addWidget(divider_);

    // The icon-only buttons are heard by their help text.
    inspector_ =
        plainButton(this, QStringLiteral("sidebar.right"), QStringLiteral("ql-toggle-inspector"));
    inspector_->setToolTip(QStringLiteral("Toggle inspector"));
    inspector_->setAccessibleName(inspector_->toolTip());
    connect(inspector_, &QToolButton::clicked, this, [this] { store_.toggleInspector(); });
    row->addWidget(inspector_);

    settings_ = plainButton(this, QStringLiteral("gearshape"), QStringLiteral("settings"));
    settings_->setToolTip(QStringLiteral("Settings"));
    settings_->setAccessibleName(settings_->toolTip());
    connect(settings_, &QToolButton::clicked, this, [this] { store_.setShowSettings(true); });
    row->addWidget(settings_);

    for (auto signal : {&WorkspaceStore::busyChanged, &WorkspaceStore::toolBusyChanged,
                        &WorkspaceStore::reportChanged, &WorkspaceStore::tabChanged})
        connect(&store_, signal, renderer_, &CoalescedRender::request);
    render();
}

void TitleBar::render() {
    open_->setText(
        AppLanguage::pick(QStringLiteral("Apri scansione"), QStringLiteral("Open scan")));
    open_->setEnabled(!store_.busy() && !store_.toolBusy());
    export_->setText(AppLanguage::pick(QStringLiteral("Esporta"), QStringLiteral("Export")));
    export_->setEnabled(store_.report().has_value());
    exportJSON_->setText(AppLanguage::pick(QStringLiteral("JSON \u00B7 dati completi"),
                                           QStringLiteral("JSON \u00B7 complete data")));
    exportPDF_->setText(
        AppLanguage::pick(QStringLiteral("Report PDF"), QStringLiteral("PDF report")));
    inspector_->setVisible(store_.tab() != WorkspaceTab::guide);
}

} // namespace quorilanth
