#include "app/schema/SchemaZoomControls.h"

#include "app/kit/QLTheme.h"
#include "app/kit/Symbols.h"
#include "app/kit/ViewKit.h"
#include "app/schema/SchemaCanvas.h"
#include "app/store/AppLanguage.h"
#include "app/store/WorkspaceStore.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <algorithm>
#include <cmath>

namespace quorilanth {
namespace {

QToolButton* zoomButton(const QString& name, const QString& symbol, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setIcon(Symbols::icon(symbol, QLTheme::foreground(), 12));
    return button;
}

} // namespace

QString zoomPercentText(double zoom) {
    // 2.3 × 100 is 229.99999999999997 in binary: the floor alone would say 229.
    return QString::number(static_cast<long long>(std::floor(zoom * 100 + 1e-6))) +
           QLatin1Char('%');
}

SchemaZoomControls::SchemaZoomControls(WorkspaceStore& store, QWidget* parent)
    : QWidget(parent), store_(store) {
    setObjectName(QStringLiteral("ql-schema-zoom"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(9, 9, 9, 9);
    layout->setSpacing(2);
    zoomOut_ = zoomButton(QStringLiteral("schema-zoom-out"), QStringLiteral("minus"), this);
    connect(zoomOut_, &QToolButton::clicked, this, [this] {
        store_.setGraphZoom(std::max(store_.graphZoom() / 1.2, SchemaProjection::minimumZoom));
    });
    percent_ = plainLabel(this, QLTheme::font(10, QFont::Normal, QLTheme::Design::monospaced),
                          QLTheme::foreground());
    percent_->setObjectName(QStringLiteral("ql-schema-zoom-percent"));
    percent_->setFixedWidth(43);
    percent_->setAlignment(Qt::AlignCenter);
    zoomIn_ = zoomButton(QStringLiteral("schema-zoom-in"), QStringLiteral("plus"), this);
    connect(zoomIn_, &QToolButton::clicked, this, [this] {
        store_.setGraphZoom(std::min(store_.graphZoom() * 1.2, SchemaCanvas::maximumZoom));
    });
    fit_ = zoomButton(QStringLiteral("schema-fit"),
                      QStringLiteral("arrow.up.left.and.arrow.down.right"), this);
    connect(fit_, &QToolButton::clicked, &store_, &WorkspaceStore::bumpGraphCommand);
    layout->addWidget(zoomOut_);
    layout->addWidget(percent_);
    layout->addWidget(zoomIn_);
    layout->addWidget(new Swatch(1, 16, QLTheme::line(), this));
    layout->addWidget(fit_);
    connect(&store_, &WorkspaceStore::graphZoomChanged, this, &SchemaZoomControls::render);
    render();
}

void SchemaZoomControls::render() {
    const double zoom = store_.graphZoom();
    zoomOut_->setEnabled(zoom > 0.801);
    percent_->setText(zoomPercentText(zoom));
    const QString fitHelp =
        AppLanguage::pick(QStringLiteral("Adatta questa vista mantenendo il testo leggibile"),
                          QStringLiteral("Fit this view while keeping text readable"));
    fit_->setToolTip(fitHelp);
    fit_->setAccessibleName(fitHelp);
    // The two symbols alone say nothing to a screen reader.
    zoomOut_->setAccessibleName(
        AppLanguage::pick(QStringLiteral("Riduci"), QStringLiteral("Zoom out")));
    zoomIn_->setAccessibleName(
        AppLanguage::pick(QStringLiteral("Ingrandisci"), QStringLiteral("Zoom in")));
}

void SchemaZoomControls::paintEvent(QPaintEvent*) {
    paintCard(this, 7);
}

void SchemaZoomControls::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange || event->type() == QEvent::LocaleChange) render();
    QWidget::changeEvent(event);
}

} // namespace quorilanth
