#include "app/window/EmptyWorkspace.h"

#include "app/kit/QLTheme.h"
#include "app/store/AppLanguage.h"
#include "app/store/WorkspaceStore.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace quorilanth {

EmptyWorkspace::EmptyWorkspace(WorkspaceStore& store, QWidget* parent)
    : QWidget(parent), store_(store), renderer_(new CoalescedRender(this, [this] { render(); })) {
    setObjectName(QStringLiteral("ql-welcome"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(60, 60, 60, 60);
    column->setSpacing(24);
    column->addStretch(1);

    auto* eyebrowRow = new QHBoxLayout;
    eyebrowRow->setSpacing(9);
    eyebrowRow->addWidget(new Swatch(25, 1, QLTheme::accent(), this));
    eyebrow_ = new QLabel(this);
    eyebrow_->setObjectName(QStringLiteral("ql-welcome-eyebrow"));
    eyebrow_->setTextFormat(Qt::PlainText);
    eyebrow_->setFont(QLTheme::font(10, QFont::Medium, QLTheme::Design::monospaced, 2));
    setTextColour(eyebrow_, QLTheme::accent());
    eyebrowRow->addWidget(eyebrow_);
    eyebrowRow->addStretch(1);
    column->addLayout(eyebrowRow);

    headline_ = new SpacedText(this);
    headline_->setObjectName(QStringLiteral("ql-welcome-headline"));
    headline_->setFont(QLTheme::font(55, QFont::Light, QLTheme::Design::standard, -1.8));
    column->addWidget(headline_);

    subtitle_ = new SpacedText(this);
    subtitle_->setObjectName(QStringLiteral("ql-welcome-subtitle"));
    subtitle_->setFont(QLTheme::font(15));
    subtitle_->setColour(QLTheme::muted());
    subtitle_->setLineSpacing(7);
    column->addWidget(subtitle_);

    auto* stepsBox = new QWidget(this);
    auto* stepsRow = new QHBoxLayout(stepsBox);
    stepsRow->setContentsMargins(0, 18, 0, 0);
    stepsRow->setSpacing(30);
    for (Step& step : steps_) {
        auto* stepColumn = new QVBoxLayout;
        stepColumn->setSpacing(9);
        step.number = new QLabel(stepsBox);
        step.number->setFont(QLTheme::font(10, QFont::Normal, QLTheme::Design::monospaced));
        setTextColour(step.number, QLTheme::accent());
        step.title = new QLabel(stepsBox);
        step.title->setFont(QLTheme::font(12, QFont::DemiBold));
        setTextColour(step.title, QLTheme::foreground());
        step.body = new SpacedText(stepsBox);
        step.body->setFont(QLTheme::font(11));
        step.body->setColour(QLTheme::muted());
        step.body->setLineSpacing(5);
        for (QLabel* label : {step.number, step.title})
            label->setTextFormat(Qt::PlainText);
        stepColumn->addWidget(step.number);
        stepColumn->addWidget(step.title);
        stepColumn->addWidget(step.body);
        stepColumn->addStretch(1);
        stepsRow->addLayout(stepColumn);
    }
    stepsRow->addStretch(1);
    steps_[0].number->setText(QStringLiteral("01"));
    steps_[1].number->setText(QStringLiteral("02"));
    column->addWidget(stepsBox);

    progress_ = new QWidget(this);
    progress_->setObjectName(QStringLiteral("ql-welcome-progress"));
    auto* progressRow = new QHBoxLayout(progress_);
    progressRow->setContentsMargins(0, 0, 0, 0);
    progressRow->setSpacing(8);
    progressRow->addWidget(new BusyIndicator(14, QLTheme::accent(), progress_));
    progressText_ = new ElidedLabel(progress_);
    progressText_->setObjectName(QStringLiteral("ql-welcome-progress-text"));
    progressText_->setFont(QLTheme::font(11, QFont::Normal, QLTheme::Design::monospaced));
    progressText_->setColour(QLTheme::accent());
    progressRow->addWidget(progressText_, 1);
    column->addWidget(progress_);
    column->addStretch(1);

    for (auto signal : {&WorkspaceStore::busyChanged, &WorkspaceStore::statusChanged})
        connect(&store_, signal, renderer_, &CoalescedRender::request);
    render();
}

void EmptyWorkspace::render() {
    eyebrow_->setText(AppLanguage::pick(QStringLiteral("IL WEB, PRONTO A RISPONDERTI"),
                                        QStringLiteral("THE WEB, READY TO ANSWER")));
    headline_->setText(
        AppLanguage::pick(QStringLiteral("Scopri cosa pu\u00F2\nfare un sito per te."),
                          QStringLiteral("Discover what a site\ncan do for you.")));
    subtitle_->setText(
        AppLanguage::pick(QStringLiteral("Inserisci un indirizzo. Troverai le informazioni "
                                         "pubblicate,\nle funzioni disponibili e un "
                                         "modo semplice per provarle."),
                          QStringLiteral("Enter an address. Find published information,\navailable "
                                         "functions and a simple way to try "
                                         "them.")));
    steps_[0].title->setText(
        AppLanguage::pick(QStringLiteral("Esplora un sito"), QStringLiteral("Explore a site")));
    steps_[0].body->setText(AppLanguage::pick(
        QStringLiteral("Scrivi l\u2019indirizzo e premi SCAN.\nNon serve configurare l\u2019AI."),
        QStringLiteral("Enter the address and press SCAN.\nNo AI setup required.")));
    steps_[1].title->setText(AppLanguage::pick(QStringLiteral("Scegli cosa vuoi fare"),
                                               QStringLiteral("Choose what you want to do")));
    steps_[1].body->setText(AppLanguage::pick(
        QStringLiteral(
            "Cerca, consulta e leggi le risposte.\nLa mappa tecnica \u00E8 sempre in SCHEMA."),
        QStringLiteral(
            "Search, explore and read the answers.\nThe technical map is always in SCHEMA.")));
    progress_->setVisible(store_.busy());
    progressText_->setText(store_.status());
}

} // namespace quorilanth
