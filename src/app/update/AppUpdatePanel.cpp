#include "app/update/AppUpdatePanel.h"

#include "app/kit/QLTheme.h"
#include "app/kit/Symbols.h"
#include "app/kit/ViewKit.h"
#include "app/store/AppLanguage.h"
#include "app/store/AppUpdateController.h"
#include "core/base/Date.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextLayout>
#include <QVBoxLayout>
#include <chrono>
#include <cmath>
#include <initializer_list>
#include <memory>
#include <utility>

namespace quorilanth {

// Wrapped plain text that breaks inside a word when it must, so a long
// unbroken version or path can never widen the fixed-width panel.
class AppUpdatePanel::Text : public QWidget {
public:
    explicit Text(QWidget* parent) : QWidget(parent), colour_(QLTheme::foreground()) {
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }
    void setText(const QString& text) {
        if (text == text_) return;
        text_ = text;
        text_.replace(QLatin1Char('\n'), QChar::LineSeparator);
        setAccessibleName(text);
        updateGeometry();
        update();
    }
    QString text() const { return text_; }
    void setColour(const QColor& colour) { colour_ = colour; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override {
        QTextLayout layout;
        return int(std::ceil(layOut(layout, width)));
    }
    QSize sizeHint() const override { return {200, heightForWidth(width() > 0 ? width() : 534)}; }
    QSize minimumSizeHint() const override { return {0, fontMetrics().height()}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(colour_);
        QTextLayout layout;
        layOut(layout, width());
        layout.draw(&painter, QPointF(0, 0));
    }

private:
    qreal layOut(QTextLayout& layout, int width) const {
        layout.setText(text_);
        layout.setFont(font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        qreal y = 0;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(qMax(1, width));
            line.setPosition(QPointF(0, y));
            y += line.height();
        }
        layout.endLayout();
        return qMax(y, qreal(fontMetrics().height()));
    }

    QString text_;
    QColor colour_;
};

namespace {

constexpr int panelWidth = 590;
constexpr int padding = 28;
constexpr int notesHeightLimit = 160;

QPushButton* button(QWidget* parent, const QString& objectName) {
    auto* result = new QPushButton(parent);
    result->setObjectName(objectName);
    result->setAutoDefault(false);
    result->setFont(QLTheme::font(12));
    return result;
}

// The filled button of the panel's one main action: accent fill, dark label,
// faded while it cannot be pressed.
class ProminentButton : public QPushButton {
public:
    ProminentButton(QWidget* parent, const QString& objectName) : QPushButton(parent) {
        setObjectName(objectName);
        setAutoDefault(false);
        setFont(QLTheme::font(12, QFont::DemiBold));
        setCursor(Qt::PointingHandCursor);
    }
    QSize sizeHint() const override {
        return {fontMetrics().horizontalAdvance(text()) + 32, fontMetrics().height() + 14};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(isEnabled() ? (isDown() ? 0.8 : 1.0) : 0.4);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), 6, 6);
        painter.fillPath(shape, QLTheme::accent());
        painter.setPen(QLTheme::background());
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
        if (QLTheme::showsFocus(*this)) QLTheme::paintFocus(painter, QRectF(rect()), 6, true);
    }
};

void setLabel(QAbstractButton* control, const QString& text) {
    control->setText(text);
    control->setAccessibleName(text);
    // Room around the label, which the style alone keeps tight at this size.
    if (qobject_cast<QPushButton*>(control) && !dynamic_cast<ProminentButton*>(control))
        control->setMinimumSize(control->fontMetrics().horizontalAdvance(text) + 28, 26);
}

// Hides first, then shows. A widget shown while the one it replaces still
// stands raises the panel's minimum height to hold both, and the panel would
// keep that height until some later change.
void switchVisible(std::initializer_list<std::pair<QWidget*, bool>> widgets) {
    for (const auto& [widget, shown] : widgets)
        if (!shown) widget->hide();
    for (const auto& [widget, shown] : widgets)
        if (shown) widget->show();
}

} // namespace

AppUpdatePanel::AppUpdatePanel(AppUpdateController& updater, QWidget* parent)
    : QDialog(parent), updater_(updater),
      renderer_(new CoalescedRender(this, [this] { render(); })) {
    setObjectName(QStringLiteral("ql-update-panel"));
    setWindowTitle(QStringLiteral("Quorilanth"));
    setFixedWidth(panelWidth);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QLTheme::background());
    palette.setColor(QPalette::WindowText, Qt::white);
    setPalette(palette);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(padding, padding, padding, padding);
    stack->setSpacing(20);

    auto* header = new QHBoxLayout;
    auto* symbol = new QLabel(this);
    symbol->setPixmap(Symbols::pixmap(QStringLiteral("arrow.down.app"), QLTheme::accent(), 28,
                                      devicePixelRatioF()));
    header->addWidget(symbol);
    title_ = plainLabel(this, QLTheme::font(21, QFont::DemiBold), Qt::white);
    header->addWidget(title_);
    header->addStretch(1);
    close_ = button(this, QStringLiteral("update-close"));
    connect(close_, &QPushButton::clicked, this, [this] { updater_.setShowPanel(false); });
    header->addWidget(close_);
    stack->addLayout(header);

    installed_ = plainLabel(this, QLTheme::font(12), QLTheme::muted());
    stack->addWidget(installed_);

    auto* statusRow = new QHBoxLayout;
    statusRow->setSpacing(10);
    spinner_ = new BusyIndicator(14, QLTheme::accent(), this);
    statusRow->addWidget(spinner_, 0, Qt::AlignTop);
    status_ = new Text(this);
    status_->setObjectName(QStringLiteral("update-status"));
    status_->setFont(QLTheme::font(14, QFont::Medium));
    statusRow->addWidget(status_, 1);
    stack->addLayout(statusRow);

    release_ = new QWidget(this);
    auto* releaseStack = new QVBoxLayout(release_);
    releaseStack->setContentsMargins(0, 0, 0, 0);
    releaseStack->setSpacing(20);
    notes_ = new QTextEdit(release_);
    notes_->setObjectName(QStringLiteral("ql-update-notes"));
    notes_->setReadOnly(true);
    notes_->setAcceptRichText(false);
    notes_->setFrameShape(QFrame::NoFrame);
    notes_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    notes_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    notes_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    notes_->setFont(QLTheme::font(13));
    notes_->viewport()->setAutoFillBackground(false);
    notes_->setStyleSheet(QStringLiteral("QTextEdit { background: transparent; }"));
    notes_->document()->setDocumentMargin(0);
    releaseStack->addWidget(notes_);
    manifest_ = plainLabel(release_, QLTheme::font(11), QLTheme::muted());
    releaseStack->addWidget(manifest_);

    downloading_ = new QWidget(release_);
    auto* progressStack = new QVBoxLayout(downloading_);
    progressStack->setContentsMargins(0, 0, 0, 0);
    progressStack->setSpacing(8);
    bar_ = new QProgressBar(downloading_);
    bar_->setObjectName(QStringLiteral("ql-update-progress"));
    bar_->setRange(0, 1000);
    bar_->setTextVisible(false);
    bar_->setFixedHeight(6);
    QPalette barPalette = bar_->palette();
    barPalette.setColor(QPalette::Highlight, QLTheme::accent());
    bar_->setPalette(barPalette);
    progressStack->addWidget(bar_);
    auto* progressRow = new QHBoxLayout;
    percentage_ = plainLabel(
        downloading_, QLTheme::font(12, QFont::Normal, QLTheme::Design::monospaced), Qt::white);
    percentage_->setObjectName(QStringLiteral("ql-update-percentage"));
    progressRow->addWidget(percentage_);
    progressRow->addStretch(1);
    cancel_ = button(downloading_, QStringLiteral("update-cancel-download"));
    connect(cancel_, &QPushButton::clicked, this, [this] { updater_.cancelDownload(); });
    progressRow->addWidget(cancel_);
    progressStack->addLayout(progressRow);
    releaseStack->addWidget(downloading_);

    downloaded_ = new QWidget(release_);
    auto* downloadedStack = new QVBoxLayout(downloaded_);
    downloadedStack->setContentsMargins(0, 0, 0, 0);
    downloadedStack->setSpacing(12);
    downloadedNote_ = new Text(downloaded_);
    downloadedNote_->setFont(QLTheme::font(12));
    downloadedNote_->setColour(QLTheme::muted());
    downloadedStack->addWidget(downloadedNote_);
    open_ = new ProminentButton(downloaded_, QStringLiteral("update-open-dmg"));
    connect(open_, &QPushButton::clicked, this, [this] { updater_.openDownloadedImage(); });
    downloadedStack->addWidget(open_, 0, Qt::AlignLeft);
    releaseStack->addWidget(downloaded_);

    download_ = new ProminentButton(release_, QStringLiteral("update-download"));
    connect(download_, &QPushButton::clicked, this, [this] { updater_.download(); });
    releaseStack->addWidget(download_, 0, Qt::AlignLeft);
    stack->addWidget(release_);

    stack->addWidget(horizontalRule(this));

    automatic_ = new QCheckBox(this);
    automatic_->setObjectName(QStringLiteral("update-automatic"));
    automatic_->setFont(QLTheme::font(12));
    // clicked, not toggled: only the user's change is a new preference.
    connect(automatic_, &QCheckBox::clicked, this,
            [this](bool checked) { updater_.setAutomaticChecks(checked); });
    stack->addWidget(automatic_);

    auto* lastRow = new QHBoxLayout;
    lastCheck_ = plainLabel(this, QLTheme::font(11), QLTheme::muted());
    lastCheck_->setObjectName(QStringLiteral("ql-update-last-check"));
    lastRow->addWidget(lastCheck_);
    lastRow->addStretch(1);
    checkNow_ = button(this, QStringLiteral("update-check"));
    connect(checkNow_, &QPushButton::clicked, this, [this] { updater_.check(true); });
    lastRow->addWidget(checkNow_);
    stack->addLayout(lastRow);

    connect(&updater_, &AppUpdateController::changed, renderer_, &CoalescedRender::request);
    render();
}

void AppUpdatePanel::render() {
    const bool italian = AppLanguage::current() == AppLanguage::italian;
    auto pick = [italian](const char* it, const char* en) {
        return QString::fromUtf8(italian ? it : en);
    };
    const QLocale locale;

    title_->setText(pick("Aggiornamenti Quorilanth", "Quorilanth updates"));
    setLabel(close_, pick("Chiudi", "Close"));
    installed_->setText(pick("Versione installata: ", "Installed version: ") +
                        updater_.installedVersion() + QStringLiteral(" \u00B7 build ") +
                        QString::number(updater_.installedBuild()));
    spinner_->setVisible(updater_.isChecking());
    status_->setText(updater_.status());

    const UpdateRelease* release = updater_.availableRelease();
    if (!release) {
        release_->hide();
    } else {
        std::vector<std::string> languages;
        for (const QString& language : AppLanguage::preferredLanguages())
            languages.push_back(language.toStdString());
        const QString notes = QString::fromStdString(release->localizedNotes(languages));
        if (notes != notes_->toPlainText()) {
            notes_->setPlainText(notes);
            QTextCursor cursor(notes_->document());
            cursor.select(QTextCursor::Document);
            QTextBlockFormat spacing;
            spacing.setLineHeight(5, QTextBlockFormat::LineDistanceHeight);
            cursor.mergeBlockFormat(spacing);
            notes_->setAccessibleName(notes.left(2000));
        }
        // As tall as the notes, up to the limit; beyond it they scroll. A copy
        // is measured: the view lays out its own document to its own width.
        const std::unique_ptr<QTextDocument> measured(notes_->document()->clone());
        measured->setTextWidth(panelWidth - 2 * padding);
        notes_->setFixedHeight(
            qMin(notesHeightLimit, int(std::ceil(measured->size().height())) + 2));

        manifest_->setText(
            pick("Manifest firmato verificato \u00B7 ", "Signed manifest verified \u00B7 ") +
            locale.formattedDataSize(release->size, 1, QLocale::DataSizeSIFormat) +
            QStringLiteral(" \u00B7 macOS ") +
            QString::fromStdString(release->minimumSystemVersion) + QStringLiteral("+"));

        const bool downloading = updater_.isDownloading();
        const bool downloaded = !downloading && updater_.downloadedFile().has_value();
        // The block shows last, once its one action area is chosen.
        switchVisible({{downloading_, downloading},
                       {downloaded_, downloaded},
                       {download_, !downloading && !downloaded},
                       {release_, true}});
        const double progress = qBound(0.0, updater_.progress(), 1.0);
        bar_->setValue(int(std::floor(progress * 1000)));
        // The integer part: 99.9 per cent is still 99.
        percentage_->setText(QString::number(int(std::floor(progress * 100))) +
                             QStringLiteral("%"));
        setLabel(cancel_, pick("Annulla download", "Cancel download"));
        downloadedNote_->setText(
            pick("Il DMG è nella cartella Download. Chiudi Quorilanth prima di sostituirla in "
                 "Applicazioni.",
                 "The DMG is in Downloads. Quit Quorilanth before replacing it in "
                 "Applications."));
        setLabel(open_, pick("Apri DMG verificato", "Open verified DMG"));
        setLabel(download_, pick("Scarica aggiornamento", "Download update"));
        download_->setEnabled(!updater_.isChecking());
    }

    setLabel(automatic_, pick("Controlla automaticamente gli aggiornamenti",
                              "Check for updates automatically"));
    automatic_->setChecked(updater_.automaticChecks());
    const std::optional<QDateTime>& last = updater_.lastCheckDate();
    lastCheck_->setVisible(last.has_value());
    if (last)
        lastCheck_->setText(pick("Ultimo controllo: ", "Last checked: ") +
                            QString::fromStdString(localizedDateTime(
                                Date(std::chrono::milliseconds(last->toMSecsSinceEpoch())),
                                AppLanguage::current() == AppLanguage::italian ? "it" : "en")));
    setLabel(checkNow_, pick("Controlla adesso", "Check now"));
    checkNow_->setEnabled(!updater_.isChecking() && !updater_.isDownloading());
    // The height follows the content at the panel's fixed width.
    layout()->activate();
    resize(panelWidth, hasHeightForWidth() ? heightForWidth(panelWidth) : sizeHint().height());
}

void AppUpdatePanel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange || event->type() == QEvent::LocaleChange)
        renderer_->request();
    QDialog::changeEvent(event);
}

void AppUpdatePanel::present(AppUpdateController& updater, QWidget* host) {
    auto* binding = new QObject(host);
    binding->setObjectName(QStringLiteral("ql-update-sheet"));
    auto shown = std::make_shared<QPointer<AppUpdatePanel>>();
    const auto sync = [&updater, host, binding, shown] {
        if (updater.showPanel() && !*shown) {
            auto* panel = new AppUpdatePanel(updater, host);
            panel->setAttribute(Qt::WA_DeleteOnClose);
            panel->setWindowModality(Qt::WindowModal);
            *shown = panel;
            // Escape, the close button or the host going away: the flag follows.
            connect(panel, &QDialog::finished, binding, [&updater, shown] {
                *shown = nullptr;
                updater.setShowPanel(false);
            });
            panel->open();
        } else if (!updater.showPanel() && *shown) {
            (*shown)->close();
        }
    };
    connect(&updater, &AppUpdateController::changed, binding, sync);
    sync();
}

} // namespace quorilanth
