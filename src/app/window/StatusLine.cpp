#include "app/window/StatusLine.h"

#include "app/kit/QLTheme.h"
#include "app/store/AppLanguage.h"
#include "app/store/WorkspaceStore.h"

#include <QHBoxLayout>
#include <QLabel>

namespace quorilanth {

StatusLine::StatusLine(WorkspaceStore& store, QWidget* parent)
    : Backdrop(QLTheme::panel(), parent), store_(store),
      renderer_(new CoalescedRender(this, [this] { render(); })) {
    setObjectName(QStringLiteral("ql-status-line"));
    setFixedHeight(29);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 0, 16, 0);
    row->setSpacing(8);

    dot_ = new Swatch(5, 5, QLTheme::muted(), this, true);
    dot_->setObjectName(QStringLiteral("ql-status-dot"));
    row->addWidget(dot_);

    text_ = new ElidedLabel(this);
    text_->setObjectName(QStringLiteral("ql-status-text"));
    text_->setFont(QLTheme::font(10));
    text_->setColour(QLTheme::muted());
    row->addWidget(text_, 1);

    network_ = new QLabel(this);
    network_->setObjectName(QStringLiteral("ql-status-network"));
    network_->setTextFormat(Qt::PlainText);
    network_->setFont(QLTheme::font(10));
    setTextColour(network_, QLTheme::muted());
    row->addWidget(network_);

    technical_ = new QWidget(this);
    auto* technicalRow = new QHBoxLayout(technical_);
    technicalRow->setContentsMargins(0, 0, 0, 0);
    technicalRow->setSpacing(8);
    exchanges_ = new QLabel(technical_);
    exchanges_->setObjectName(QStringLiteral("ql-status-exchanges"));
    mode_ = new QLabel(technical_);
    mode_->setObjectName(QStringLiteral("ql-status-mode"));
    for (QLabel* label : {exchanges_, mode_}) {
        label->setTextFormat(Qt::PlainText);
        label->setFont(QLTheme::font(8, QFont::Normal, QLTheme::Design::monospaced));
        setTextColour(label, QLTheme::muted());
    }
    technicalRow->addWidget(exchanges_);
    technicalRow->addWidget(new Swatch(1, 11, QLTheme::line(), technical_));
    technicalRow->addWidget(mode_);
    row->addWidget(technical_);

    for (auto signal : {&WorkspaceStore::busyChanged, &WorkspaceStore::toolBusyChanged,
                        &WorkspaceStore::statusChanged, &WorkspaceStore::showLibraryChanged,
                        &WorkspaceStore::tabChanged, &WorkspaceStore::developerModeChanged,
                        &WorkspaceStore::reportChanged})
        connect(&store_, signal, renderer_, &CoalescedRender::request);
    render();
}

QString StatusLine::simpleStatus(const WorkspaceStore& store) {
    if (store.toolBusy())
        return AppLanguage::pick(QStringLiteral("Richiesta al sito in corso\u2026"),
                                 QStringLiteral("Request to the site in progress\u2026"));
    if (store.busy())
        return AppLanguage::pick(QStringLiteral("Sto leggendo le informazioni del sito\u2026"),
                                 QStringLiteral("Reading the site\u2019s information\u2026"));
    if (store.report())
        return AppLanguage::pick(
            QStringLiteral("Scansione disponibile \u00B7 scegli cosa vuoi fare"),
            QStringLiteral("Scan ready \u00B7 choose what you want to do"));
    return AppLanguage::pick(QStringLiteral("Inserisci un sito per iniziare"),
                             QStringLiteral("Enter a site to get started"));
}

QString StatusLine::statusText(const WorkspaceStore& store) {
    static const QString exported = QStringLiteral("Exported ");
    if (store.status().startsWith(exported))
        return AppLanguage::pick(QStringLiteral("Esportato: "), QStringLiteral("Exported: ")) +
               store.status().mid(exported.size());
    if (store.showLibrary())
        return AppLanguage::pick(QStringLiteral("Scansioni salvate sul computer"),
                                 QStringLiteral("Scans saved on this computer"));
    if (store.tab() == WorkspaceTab::guide) return simpleStatus(store);
    return store.status();
}

void StatusLine::render() {
    const bool working = store_.busy() || store_.toolBusy();
    dot_->setColour(working ? QLTheme::accent() : QLTheme::muted());
    text_->setText(statusText(store_));
    const bool guide = store_.tab() == WorkspaceTab::guide;
    network_->setVisible(guide);
    technical_->setVisible(!guide);
    if (guide) {
        network_->setText(
            store_.developerMode()
                ? AppLanguage::pick(QStringLiteral("Accesso alle reti locali abilitato"),
                                    QStringLiteral("Local network access enabled"))
                : AppLanguage::pick(QStringLiteral("Esplorazione di siti pubblici"),
                                    QStringLiteral("Exploring public websites")));
    } else {
        const std::size_t count = store_.report() ? store_.report()->evidence.size() : 0;
        exchanges_->setText(QString::number(count) + QStringLiteral(" HTTP EXCHANGES"));
        mode_->setText(store_.developerMode() ? QStringLiteral("DEVELOPER NETWORK ACCESS")
                                              : QStringLiteral("PUBLIC NETWORK ONLY"));
    }
}

} // namespace quorilanth
