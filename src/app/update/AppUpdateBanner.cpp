#include "app/update/AppUpdateBanner.h"

#include "app/kit/QLTheme.h"
#include "app/kit/Symbols.h"
#include "app/store/AppLanguage.h"
#include "app/store/AppUpdateController.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace quorilanth {

AppUpdateBanner::AppUpdateBanner(AppUpdateController& updater, QWidget* parent)
    : Backdrop(QLTheme::tint(QLTheme::accent(), 0.09), parent), updater_(updater),
      renderer_(new CoalescedRender(this, [this] { render(); })) {
    setObjectName(QStringLiteral("ql-update-banner"));
    setFixedHeight(42);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(22, 0, 22, 0);
    row->setSpacing(12);

    auto* symbol = new QLabel(this);
    symbol->setPixmap(Symbols::pixmap(QStringLiteral("arrow.down.app"), QLTheme::accent(), 16,
                                      devicePixelRatioF()));
    row->addWidget(symbol);

    // The version comes from the channel: however long, it must leave the buttons room.
    text_ = new ElidedLabel(this);
    text_->setObjectName(QStringLiteral("ql-update-banner-text"));
    text_->setFont(QLTheme::font(12, QFont::Medium));
    row->addWidget(text_, 1);

    details_ = new QPushButton(this);
    details_->setObjectName(QStringLiteral("update-details"));
    details_->setFont(QLTheme::font(12));
    connect(details_, &QPushButton::clicked, this, [this] { updater_.setShowPanel(true); });
    row->addWidget(details_);

    later_ = new QPushButton(this);
    later_->setObjectName(QStringLiteral("ql-update-later"));
    later_->setFlat(true);
    later_->setFont(QLTheme::font(12));
    connect(later_, &QPushButton::clicked, this, [this] { updater_.remindLater(); });
    row->addWidget(later_);

    connect(&updater_, &AppUpdateController::changed, renderer_, &CoalescedRender::request);
    render();
}

void AppUpdateBanner::render() {
    details_->setText(AppLanguage::pick(QStringLiteral("Dettagli e download"),
                                        QStringLiteral("Details and download")));
    details_->setAccessibleName(details_->text());
    details_->setMinimumSize(details_->fontMetrics().horizontalAdvance(details_->text()) + 28, 26);
    later_->setText(AppLanguage::pick(QStringLiteral("Più tardi"), QStringLiteral("Later")));
    later_->setAccessibleName(later_->text());
    const UpdateRelease* release = updater_.availableRelease();
    if (!release || !updater_.noticeVisible()) {
        hide();
        return;
    }
    const QString version = QString::fromStdString(release->version);
    text_->setText(AppLanguage::pick(QStringLiteral("È disponibile Quorilanth ") + version,
                                     QStringLiteral("Quorilanth ") + version +
                                         QStringLiteral(" is available")));
    // Shown last, so that it lays out its new texts before it is first drawn.
    show();
}

void AppUpdateBanner::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange || event->type() == QEvent::LocaleChange)
        renderer_->request();
    Backdrop::changeEvent(event);
}

} // namespace quorilanth
