#include "app/settings/SettingsView.h"

#include "ai/AIKeychain.h"
#include "ai/AIResearchEngine.h"
#include "app/kit/ExternalURL.h"
#include "app/kit/Panel.h"
#include "app/kit/QLTheme.h"
#include "app/kit/ViewKit.h"
#include "app/store/AppLanguage.h"
#include "app/store/WorkspaceStore.h"
#include "core/base/QuorilanthError.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace quorilanth {
namespace {

constexpr int sheetWidth = 640;
// What a card leaves inside the sheet's and its own padding.
constexpr int cardContentWidth = sheetWidth - 2 * 28 - 2 * 20;

QString fromStd(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

SpacedText* note(QWidget* parent, int size, int lineSpacing, const QString& text = {}) {
    auto* wrapped = new SpacedText(parent);
    wrapped->setFont(QLTheme::font(size));
    wrapped->setColour(QLTheme::muted());
    wrapped->setLineSpacing(lineSpacing);
    wrapped->setWrapping(cardContentWidth);
    wrapped->setText(text);
    return wrapped;
}

QLineEdit* field(QWidget* parent, const QString& name, const QString& placeholder, bool secret) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setPlaceholderText(placeholder);
    edit->setAccessibleName(placeholder);
    edit->setFont(QLTheme::font(13));
    if (secret) edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QPushButton* button(QWidget* parent, const QString& name, const QString& text) {
    auto* pushButton = new BorderedButton(text, parent);
    pushButton->setObjectName(name);
    return pushButton;
}

bool needsBraveSearch(AIProvider provider) {
    return provider == AIProvider::apple || provider == AIProvider::deepSeek;
}

} // namespace

SettingsView::SettingsView(WorkspaceStore& store, QWidget* parent,
                           std::function<void()> checkForUpdates)
    : QDialog(parent), store_(store), checkForUpdates_(std::move(checkForUpdates)),
      renderer_(new CoalescedRender(this, [this] { render(); })) {
    setObjectName(QStringLiteral("ql-settings"));
    setWindowTitle(QStringLiteral("Quorilanth Settings"));
    setWindowModality(Qt::WindowModal);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QLTheme::background());
    palette.setColor(QPalette::WindowText, QLTheme::foreground());
    setPalette(palette);
    if (!checkForUpdates_) checkForUpdates_ = [&store = store_] { store.updater().check(true); };

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(28, 28, 28, 28);
    column->setSpacing(23);

    auto* titleRow = new QHBoxLayout;
    titleRow->addWidget(plainLabel(this, QLTheme::font(22, QFont::Medium), QLTheme::foreground(),
                                   QStringLiteral("Quorilanth Settings")));
    titleRow->addStretch(1);
    auto* done = button(this, QStringLiteral("settings-done"), QStringLiteral("Done"));
    connect(done, &QPushButton::clicked, this, [this] { store_.setShowSettings(false); });
    titleRow->addWidget(done);
    column->addLayout(titleRow);

    language_ = plainLabel(this, QLTheme::font(11), QLTheme::muted());
    language_->setObjectName(QStringLiteral("ql-settings-language"));
    language_->setWordWrap(true);
    column->addWidget(language_);

    // Discovery AI.
    auto* ai = new QWidget(this);
    ai->setFixedWidth(cardContentWidth);
    auto* aiColumn = new QVBoxLayout(ai);
    aiColumn->setContentsMargins(0, 0, 0, 0);
    aiColumn->setSpacing(10);
    auto* providerRow = new QHBoxLayout;
    auto* providerLabel =
        plainLabel(ai, QLTheme::font(13), QLTheme::foreground(), QStringLiteral("Provider"));
    providerRow->addWidget(providerLabel);
    provider_ = new QComboBox(ai);
    provider_->setObjectName(QStringLiteral("ql-settings-provider"));
    provider_->setAccessibleName(QStringLiteral("Provider"));
    provider_->setFont(QLTheme::font(13));
    providerLabel->setBuddy(provider_);
    for (AIProvider provider : allAIProviders)
        provider_->addItem(fromStd(rawValue(provider)));
    // Every choice goes to the store, the same provider again included: that
    // is how the user gets the provider's default model back.
    connect(provider_, &QComboBox::activated, this, &SettingsView::chooseProvider);
    providerRow->addWidget(provider_, 1);
    aiColumn->addLayout(providerRow);

    availability_ = plainLabel(ai, QLTheme::font(12), QLTheme::accent());
    availability_->setObjectName(QStringLiteral("ql-settings-availability"));
    aiColumn->addWidget(availability_);

    modelAndKey_ = new QWidget(ai);
    auto* modelColumn = new QVBoxLayout(modelAndKey_);
    modelColumn->setContentsMargins(0, 0, 0, 0);
    modelColumn->setSpacing(10);
    model_ =
        field(modelAndKey_, QStringLiteral("ql-settings-model"), QStringLiteral("Model ID"), false);
    connect(model_, &QLineEdit::textEdited, this,
            [this](const QString& text) { store_.setModel(text); });
    modelColumn->addWidget(model_);
    key_ = field(modelAndKey_, QStringLiteral("ql-settings-key"),
                 QStringLiteral("New API key \u00B7 stored only in the system keyring"), true);
    modelColumn->addWidget(key_);
    auto* keyButtons = new QHBoxLayout;
    saveKey_ =
        button(modelAndKey_, QStringLiteral("ql-settings-save-key"), QStringLiteral("Save key"));
    auto* removeKey = button(modelAndKey_, QStringLiteral("ql-settings-remove-key"),
                             QStringLiteral("Remove key"));
    keyButtons->addWidget(saveKey_);
    keyButtons->addWidget(removeKey);
    keyButtons->addStretch(1);
    modelColumn->addLayout(keyButtons);
    aiColumn->addWidget(modelAndKey_);
    const auto providerAccount = [this] { return rawValue(store_.provider()); };
    connect(key_, &QLineEdit::textChanged, this, [this] { render(); });
    connect(saveKey_, &QPushButton::clicked, this, [this, providerAccount] {
        saveKey(key_, providerAccount(), QStringLiteral("Key saved in the system keyring."),
                QString(), false);
    });
    connect(removeKey, &QPushButton::clicked, this, [this, providerAccount] {
        saveKey(key_, providerAccount(), QString(), QStringLiteral("Key removed."), true);
    });

    glmNote_ = note(ai, 12, 4);
    glmNote_->setObjectName(QStringLiteral("ql-settings-glm-note"));
    aiColumn->addWidget(glmNote_);
    glmLink_ = new QToolButton(ai);
    glmLink_->setObjectName(QStringLiteral("ql-settings-glm-link"));
    glmLink_->setAutoRaise(true);
    glmLink_->setFont(QLTheme::font(12));
    glmLink_->setCursor(Qt::PointingHandCursor);
    setTextColour(glmLink_, QLTheme::accent());
    connect(glmLink_, &QToolButton::clicked, this, [] {
        openExternalURL(QUrl(QStringLiteral("https://docs.z.ai/api-reference/introduction")));
    });
    aiColumn->addWidget(glmLink_, 0, Qt::AlignLeft);

    aiColumn->addWidget(note(ai, 11, 4,
                             QStringLiteral("Discovery sends your query to web search and the "
                                            "selected model. Cloud providers receive search "
                                            "snippets for classification. Domain scans make no "
                                            "AI calls.")));
    feedbackLine_ = plainLabel(ai, QLTheme::font(11), QLTheme::accent());
    feedbackLine_->setObjectName(QStringLiteral("ql-settings-feedback"));
    feedbackLine_->setWordWrap(true);
    aiColumn->addWidget(feedbackLine_);

    webSearch_ = new QWidget(ai);
    webSearch_->setObjectName(QStringLiteral("ql-settings-web-search"));
    auto* webColumn = new QVBoxLayout(webSearch_);
    webColumn->setContentsMargins(0, 0, 0, 0);
    webColumn->setSpacing(10);
    webColumn->addWidget(horizontalRule(webSearch_));
    webColumn->addWidget(plainLabel(webSearch_, QLTheme::font(12, QFont::Medium),
                                    QLTheme::foreground(),
                                    QStringLiteral("Web search \u00B7 Brave Search API")));
    searchKey_ =
        field(webSearch_, QStringLiteral("ql-settings-search-key"),
              QStringLiteral("Brave Search key \u00B7 stored in the system keyring"), true);
    webColumn->addWidget(searchKey_);
    auto* searchButtons = new QHBoxLayout;
    saveSearchKey_ = button(webSearch_, QStringLiteral("ql-settings-save-search-key"),
                            QStringLiteral("Save search key"));
    auto* removeSearchKey = button(webSearch_, QStringLiteral("ql-settings-remove-search-key"),
                                   QStringLiteral("Remove search key"));
    searchButtons->addWidget(saveSearchKey_);
    searchButtons->addWidget(removeSearchKey);
    searchButtons->addStretch(1);
    webColumn->addLayout(searchButtons);
    webColumn->addWidget(
        note(webSearch_, 10, 0,
             QStringLiteral("A local model can interpret and classify, but needs a search "
                            "service to discover current websites. OpenAI and Claude use their "
                            "integrated web search instead.")));
    aiColumn->addWidget(webSearch_);
    connect(searchKey_, &QLineEdit::textChanged, this, [this] { render(); });
    connect(saveSearchKey_, &QPushButton::clicked, this, [this] {
        saveKey(searchKey_, AIKeychain::braveSearchAccount,
                QStringLiteral("Search key saved in the system keyring."), QString(), false);
    });
    connect(removeSearchKey, &QPushButton::clicked, this, [this] {
        saveKey(searchKey_, AIKeychain::braveSearchAccount, QString(),
                QStringLiteral("Search key removed."), true);
    });
    column->addWidget(new Panel(QStringLiteral("Discovery AI"), ai, this));

    // Updates.
    auto* updateRow = new QHBoxLayout;
    auto* updateTexts = new QVBoxLayout;
    updateTexts->setSpacing(5);
    updateTitle_ = plainLabel(this, QLTheme::font(12, QFont::DemiBold), QLTheme::foreground());
    updateTexts->addWidget(updateTitle_);
    version_ = plainLabel(this, QLTheme::font(11), QLTheme::muted(),
                          QStringLiteral("Quorilanth ") + store_.updater().installedVersion() +
                              QStringLiteral(" \u00B7 build ") +
                              QString::number(store_.updater().installedBuild()));
    version_->setObjectName(QStringLiteral("ql-settings-version"));
    updateTexts->addWidget(version_);
    updateRow->addLayout(updateTexts);
    updateRow->addStretch(1);
    checkUpdates_ = button(this, QStringLiteral("settings-check-updates"), QString());
    connect(checkUpdates_, &QPushButton::clicked, this, &SettingsView::checkUpdates);
    updateRow->addWidget(checkUpdates_);
    column->addLayout(updateRow);

    // Network & rendering.
    auto* network = new QWidget(this);
    network->setFixedWidth(cardContentWidth);
    auto* networkColumn = new QVBoxLayout(network);
    networkColumn->setContentsMargins(0, 0, 0, 0);
    networkColumn->setSpacing(10);
    liveSchema_ = new QCheckBox(
        QStringLiteral("Live Schema \u00B7 reveal observations during scan"), network);
    liveSchema_->setObjectName(QStringLiteral("ql-settings-live-schema"));
    liveSchema_->setFont(QLTheme::font(13));
    // Toggled, not clicked: an assistive tool's toggle action and a change
    // made in code check the box without a click.
    connect(liveSchema_, &QCheckBox::toggled, this, [this](bool checked) {
        store_.setLiveSchema(checked);
        showStore();
    });
    networkColumn->addWidget(liveSchema_);
    developerMode_ = new QCheckBox(
        QStringLiteral("Developer Mode \u00B7 allow private networks and HTTP"), network);
    developerMode_->setObjectName(QStringLiteral("ql-settings-developer-mode"));
    developerMode_->setFont(QLTheme::font(13));
    connect(developerMode_, &QCheckBox::toggled, this, &SettingsView::developerToggled);
    networkColumn->addWidget(developerMode_);
    networkColumn->addWidget(
        note(network, 11, 4,
             QStringLiteral("Developer Mode is off at each launch. Normal scans validate DNS, pin "
                            "the connection address and recheck every redirect. Responses are "
                            "bounded to 2 MB; scans to 48 locations. Animations respect the "
                            "system's reduced-motion setting.")));
    column->addWidget(new Panel(QStringLiteral("Network & rendering"), network, this));

    for (auto signal : {&WorkspaceStore::providerChanged, &WorkspaceStore::modelChanged,
                        &WorkspaceStore::liveSchemaChanged, &WorkspaceStore::developerModeChanged,
                        &WorkspaceStore::busyChanged, &WorkspaceStore::toolBusyChanged})
        connect(&store_, signal, renderer_, &CoalescedRender::request);
    setFixedWidth(sheetWidth);
    render();
}

void SettingsView::render() {
    const AIProvider provider = store_.provider();
    language_->setText(AppLanguage::pick(
        QStringLiteral("Lingua: italiano \u00B7 segue la lingua principale del sistema. Per le "
                       "altre lingue viene usato l\u2019inglese."),
        QStringLiteral("Language: English \u00B7 follows your system\u2019s primary language. "
                       "Italian is used only when that language is Italian.")));

    provider_->setCurrentIndex(int(provider));
    availability_->setText(fromStd(AIResearchEngine::appleAvailability()));
    availability_->setVisible(provider == AIProvider::apple);
    modelAndKey_->setVisible(provider != AIProvider::apple);
    // Rewriting the same text would move the cursor while the user types.
    if (model_->text() != store_.model()) model_->setText(store_.model());
    saveKey_->setEnabled(!key_->text().trimmed().isEmpty());

    const bool glm = provider == AIProvider::glm;
    glmNote_->setText(AppLanguage::pick(
        QStringLiteral("GLM usa la chiave API Z.ai per il modello e per Web Search. Modello "
                       "iniziale: glm-5.3; puoi cambiarlo nel campo qui sopra. Serve accesso alla "
                       "General API e a search-prime: un abbonamento alla chat o al Coding Plan "
                       "pu\u00F2 avere autorizzazioni diverse."),
        QStringLiteral("GLM uses your Z.ai API key for the model and Web Search. The default "
                       "model is glm-5.3; you can edit it above. Access to the General API and "
                       "search-prime is required; chat or Coding Plan subscriptions may have "
                       "different permissions.")));
    glmNote_->setVisible(glm);
    glmLink_->setText(AppLanguage::pick(QStringLiteral("Documentazione e accesso API Z.ai"),
                                        QStringLiteral("Z.ai API documentation and access")));
    glmLink_->setVisible(glm);

    feedbackLine_->setText(feedback_);
    feedbackLine_->setVisible(!feedback_.isEmpty());
    webSearch_->setVisible(needsBraveSearch(provider));
    saveSearchKey_->setEnabled(!searchKey_->text().trimmed().isEmpty());

    updateTitle_->setText(AppLanguage::pick(QStringLiteral("Aggiornamenti dell\u2019app"),
                                            QStringLiteral("App updates")));
    checkUpdates_->setText(AppLanguage::pick(QStringLiteral("Controlla aggiornamenti\u2026"),
                                             QStringLiteral("Check for Updates\u2026")));

    showStore();
    developerMode_->setEnabled(!store_.busy() && !store_.toolBusy());
    fitHeight();
}

void SettingsView::showStore() {
    // What the store holds, which is no change of the user's to act on.
    const QSignalBlocker liveQuiet(liveSchema_), developerQuiet(developerMode_);
    liveSchema_->setChecked(store_.liveSchema());
    developerMode_->setChecked(store_.developerMode());
}

void SettingsView::reject() {
    store_.setShowSettings(false);
    QDialog::reject();
}

void SettingsView::fitHeight() {
    QLayout* column = layout();
    column->invalidate();
    setFixedHeight(column->totalHeightForWidth(sheetWidth));
}

void SettingsView::chooseProvider(int index) {
    if (index < 0 || index >= int(allAIProviders.size())) return;
    const AIProvider before = store_.provider();
    store_.setProvider(allAIProviders[std::size_t(index)]);
    if (store_.provider() != before) {
        key_->clear();
        feedback_.clear();
    }
    render();
}

void SettingsView::saveKey(QLineEdit* field, std::string_view account, const QString& saved,
                           const QString& removed, bool removing) {
    const QString key = removing ? QString() : field->text().trimmed();
    if (!removing && key.isEmpty()) return;
    try {
        store_.keychain().save(key.toStdString(), account);
        field->clear();
        feedback_ = removing ? removed : saved;
    } catch (const QuorilanthError& failure) {
        // The typed key stays, so the user can try again.
        feedback_ = QString::fromStdString(failure.message());
    }
    render();
}

void SettingsView::developerToggled(bool checked) {
    // Switching on waits for the user's confirmation; until then the box
    // shows the store's value, which is off.
    if (!checked) store_.setDeveloperMode(false);
    showStore();
    if (!checked || confirmDeveloper_) return;
    confirmDeveloper_ = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Quorilanth"),
                                        QStringLiteral("Allow private network access?"),
                                        QMessageBox::NoButton, this);
    confirmDeveloper_->setObjectName(QStringLiteral("ql-settings-developer-alert"));
    confirmDeveloper_->setTextFormat(Qt::PlainText);
    confirmDeveloper_->setInformativeText(
        QStringLiteral("Scanned sites may refer to localhost and private services. Enabling this "
                       "mode permits those destinations and unencrypted HTTP for this session."));
    QPushButton* cancel =
        confirmDeveloper_->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    QPushButton* enable = confirmDeveloper_->addButton(QStringLiteral("Enable Developer Mode"),
                                                       QMessageBox::AcceptRole);
    cancel->setObjectName(QStringLiteral("ql-settings-developer-cancel"));
    enable->setObjectName(QStringLiteral("ql-settings-developer-enable"));
    confirmDeveloper_->setDefaultButton(cancel);
    confirmDeveloper_->setEscapeButton(cancel);
    confirmDeveloper_->setAttribute(Qt::WA_DeleteOnClose);
    connect(enable, &QPushButton::clicked, this, [this] {
        store_.setDeveloperMode(true);
        showStore();
    });
    confirmDeveloper_->open();
}

void SettingsView::checkUpdates() {
    store_.setShowSettings(false);
    // The sheet is gone by then; the store outlives it and carries the request.
    QTimer::singleShot(updateCheckDelayMs, Qt::PreciseTimer, &store_,
                       [check = checkForUpdates_] { check(); });
}

} // namespace quorilanth
