#include "app/guided/GuidedToolView.h"

#include "app/guided/GuidedKit.h"
#include "app/guided/GuidedSession.h"
#include "app/guided/ReadableValueView.h"
#include "app/kit/DisclosureGroup.h"
#include "app/kit/FocusHolder.h"
#include "app/kit/FocusOutline.h"
#include "app/kit/QLTheme.h"
#include "app/kit/RemoteText.h"
#include "app/kit/Symbols.h"
#include "app/kit/ViewKit.h"
#include "app/store/WorkspaceStore.h"
#include "core/base/Date.h"
#include "core/base/QuorilanthError.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <unordered_set>
#include <utility>

namespace quorilanth {
namespace {

constexpr std::array<std::string_view, 6> kPreferred{"query",      "q",          "app_id",
                                                     "article_id", "content_id", "slug"};
constexpr std::array<std::string_view, 4> kIdentifierKeys{"app_id", "article_id", "content_id",
                                                          "slug"};
// Characters of remote text in one menu item, and of a message box.
constexpr std::size_t kMenuCharacters = 200;
constexpr qsizetype kAlertCharacters = 4000;
// Names listed in the note of blank required fields before it stops.
constexpr std::size_t kListedNames = 50;
// Values a picker offers. A site may list hundreds of thousands, which would
// stall the form as it opens; such a field takes the value typed instead, and
// sending matches it against the list all the same.
constexpr std::size_t kMaxChoices = 1000;

std::size_t rank(std::string_view key) {
    const auto found = std::find(kPreferred.begin(), kPreferred.end(), key);
    if (found != kPreferred.end()) return std::size_t(found - kPreferred.begin());
    return key == "language" ? 100 : 50;
}

bool required(const MCPTool& tool, std::string_view key) {
    for (const JSONValue& name : tool.inputSchema()["required"].array())
        if (name.isString() && *name.string() == key) return true;
    return false;
}

const JSONValue& propertySchema(const MCPTool& tool, std::string_view key) {
    return tool.inputSchema()["properties"][key];
}

QString label(std::string_view key, Language language) {
    return shownText(GuidedPresentation::label(key, language), 200);
}

// The text of an enumerated value, as sent and as the picker keeps it.
std::string enumText(const JSONValue& element) {
    return element.isString() ? std::string(*element.string()) : element.pretty();
}

QString hostOf(const std::string& serverURL) {
    return shownText(hostOrAddress(serverURL), 400);
}

TextBlock* paragraph(const QString& text, int size, const QColor& colour, QWidget* parent,
                     QFont::Weight weight = QFont::Normal) {
    return new TextBlock(text, QLTheme::font(size, weight), colour, parent);
}

QString sendStyle() {
    return QStringLiteral("QPushButton { background: %1; color: %2; border: none; "
                          "border-radius: 8px; padding: 12px 20px; }"
                          "QPushButton:disabled { background: %3; color: %2; }")
        .arg(QLTheme::accent().name(), QLTheme::background().name(),
             QLTheme::tint(QLTheme::accent(), 0.4).name(QColor::HexArgb));
}

} // namespace

std::vector<std::string> GuidedToolView::keys(const MCPTool& tool) {
    std::vector<std::string> names;
    if (const auto* properties = tool.inputSchema()["properties"].object())
        for (const auto& member : *properties)
            names.emplace_back(member.first);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> GuidedToolView::mainKeys(const MCPTool& tool) {
    // A schema may require tens of thousands of names: looked up, not scanned per key.
    std::unordered_set<std::string_view> requiredNames;
    for (const JSONValue& name : tool.inputSchema()["required"].array())
        if (const std::optional<std::string_view> text = name.string()) requiredNames.insert(*text);
    std::vector<std::string> main;
    for (std::string& key : keys(tool))
        if (rank(key) != 50 || requiredNames.count(key)) main.push_back(std::move(key));
    std::stable_sort(main.begin(), main.end(),
                     [](const std::string& a, const std::string& b) { return rank(a) < rank(b); });
    return main;
}

GuidedToolView::GuidedToolView(WorkspaceStore& store, GuidedSession& session, MCPTool tool,
                               std::string toolKey, FormValues values, QWidget* parent,
                               ChoicePositions positions)
    : Panel(QString(), nullptr, parent), store_(store), session_(session), tool_(std::move(tool)),
      toolKey_(std::move(toolKey)), language_(guidedLanguage()), values_(std::move(values)),
      positions_(std::move(positions)) {
    setObjectName(QStringLiteral("ql-guided-form"));
    setTitle(pick(language_, "La tua richiesta", "Your request"));
    auto* content = new QWidget(this);
    auto* layout = column(content, 14);

    auto* header = new QHBoxLayout;
    header->setSpacing(12);
    TextBlock* title = paragraph(shownText(GuidedPresentation::actionTitle(tool_, language_), 300),
                                 25, QLTheme::foreground(), content, QFont::Medium);
    title->setObjectName(QStringLiteral("ql-guided-form-title"));
    header->addWidget(title, 1);
    QToolButton* close = borderlessButton(pick(language_, "Chiudi", "Close"), content);
    close->setObjectName(QStringLiteral("ql-guided-close"));
    connect(close, &QToolButton::clicked, this,
            [this] { later(&store_, [store = &store_] { store->setSelectedID(std::nullopt); }); });
    header->addWidget(close, 0, Qt::AlignTop);
    close_ = close;
    layout->addLayout(header);
    TextBlock* introduction =
        paragraph(shownText(GuidedPresentation::actionIntroduction(tool_, language_)), 14,
                  QLTheme::muted(), content);
    introduction->setObjectName(QStringLiteral("ql-guided-form-introduction"));
    layout->addWidget(introduction);

    const std::vector<std::string> all = keys(tool_);
    mainKeys_ = mainKeys(tool_);
    const std::vector<std::string>& main = mainKeys_;
    const std::unordered_set<std::string_view> shownFirst(main.begin(), main.end());
    std::vector<std::string> options;
    for (const std::string& key : all)
        if (!shownFirst.count(key)) options.push_back(key);
    for (const std::string& key : all)
        if (std::find(kIdentifierKeys.begin(), kIdentifierKeys.end(), key) != kIdentifierKeys.end())
            identifierKeys_.push_back(key);

    layout->addWidget(fields(main, main.size(), content));
    if (!options.empty()) {
        const QString count = QString::number(options.size());
        DisclosureGroup* group = disclosure(
            pick(language_, "Personalizza la richiesta · ", "Customize your request · ") + count +
                pick(language_, " opzioni", " options"),
            QLTheme::font(13), QLTheme::accent(), 12,
            [this, options](QWidget* holder) {
                QWidget* shown = fields(options, options.size(), holder);
                static_cast<QVBoxLayout*>(shown->layout())->setSpacing(16);
                return shown;
            },
            content);
        group->setObjectName(QStringLiteral("ql-guided-options"));
        // The new fields take the suggestions already gathered.
        connect(group->header(), &QAbstractButton::toggled, this, [this] { renderSuggestions(); });
        layout->addWidget(group);
    }
    if (all.empty()) {
        TextBlock* none =
            paragraph(pick(language_, "Per questa funzione non devi compilare campi.",
                           "You do not need to fill in any fields for this function."),
                      13, QLTheme::muted(), content);
        none->setObjectName(QStringLiteral("ql-guided-no-fields"));
        layout->addWidget(none);
    }
    requiredNote_ = paragraph(QString(), 13, QLTheme::muted(), content);
    requiredNote_->setObjectName(QStringLiteral("guided-required-fields"));
    layout->addWidget(requiredNote_);
    error_ = paragraph(QString(), 13, QLTheme::attention(), content);
    error_->setObjectName(QStringLiteral("ql-guided-error"));
    error_->setSelectable(true);
    layout->addWidget(error_);

    auto* sendRow = new QHBoxLayout;
    sendRow->setContentsMargins(0, 6, 0, 6);
    sendRow->setSpacing(16);
    send_ = new QPushButton(content);
    send_->setObjectName(QStringLiteral("guided-send"));
    send_->setFont(QLTheme::font(14, QFont::DemiBold));
    send_->setStyleSheet(sendStyle());
    new FocusOutline(send_, 8, true);
    send_->setIconSize(QSize(14, 14));
    send_->setCursor(Qt::PointingHandCursor);
    // Return sends, as Space does.
    send_->setAutoDefault(true);
    connect(send_, &QPushButton::clicked, this, [this] { send(); });
    sendHolder_ = new FocusHolder(send_, 8, true, content);
    sendRow->addWidget(sendHolder_);
    QLabel* safety =
        plainLabel(content, QLTheme::font(11),
                   tool_.safety() == ToolSafety::readOnly ? QLTheme::muted() : QLTheme::attention(),
                   fromUtf8(GuidedPresentation::safety(tool_, language_)));
    safety->setObjectName(QStringLiteral("ql-guided-safety"));
    sendRow->addWidget(safety);
    sendRow->addStretch(1);
    layout->addLayout(sendRow);

    DisclosureGroup* source = disclosure(
        pick(language_, "Descrizione originale e provenienza", "Original description and source"),
        QLTheme::font(12), QLTheme::muted(), 8,
        [this](QWidget* holder) { return sourceDetails(holder); }, content);
    source->setObjectName(QStringLiteral("ql-guided-source"));
    layout->addWidget(source);

    auto* answerHolder = new QWidget(content);
    answerLayout_ = column(answerHolder, 0);
    layout->addWidget(answerHolder);
    setContent(content);

    const auto ask = [this] { session_.request(tool_, toolKey_, identifierKeys_, language_); };
    auto* renderer = new CoalescedRender(this, [this] { render(); });
    for (auto signal : {&WorkspaceStore::busyChanged, &WorkspaceStore::toolBusyChanged})
        connect(&store_, signal, renderer, &CoalescedRender::request);
    connect(&store_, &WorkspaceStore::reportChanged, this, ask);
    connect(&session_, &GuidedSession::answersChanged, this, [this] {
        renderSuggestions();
        renderAnswer();
    });
    ask();
    renderSuggestions();
    renderAnswer();
    render();
}

QWidget* GuidedToolView::fields(const std::vector<std::string>& keys, std::size_t total,
                                QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* layout = column(box, 14);
    const std::size_t shown = std::min(keys.size(), fieldLimit);
    for (std::size_t i = 0; i < shown; ++i)
        layout->addWidget(field(keys[i], box));
    if (total > shown)
        layout->addWidget(
            paragraph(pick(language_, "Mostrati ", "Showing ") + QString::number(shown) +
                          pick(language_, " campi su ", " of ") + QString::number(total) +
                          pick(language_, ". Gli altri sono nei dettagli tecnici.",
                               " fields. The others are in the technical details."),
                      12, QLTheme::muted(), box));
    return box;
}

QWidget* GuidedToolView::field(const std::string& key, QWidget* parent) {
    const JSONValue& schema = propertySchema(tool_, key);
    const bool isRequired = required(tool_, key);
    const QString name = label(key, language_);
    auto* box = new QWidget(parent);
    auto* layout = column(box, 7, QMargins(0, 4, 0, 4));
    TextBlock* title = paragraph(
        name + (isRequired ? pick(language_, " · obbligatorio", " · required") : QString()), 13,
        QLTheme::foreground(), box, QFont::Medium);
    layout->addWidget(title);

    if (std::find(identifierKeys_.begin(), identifierKeys_.end(), key) != identifierKeys_.end()) {
        auto* slot = new QWidget(box);
        column(slot, 4);
        suggestionSlots_[key] = {slot, false, {}};
        layout->addWidget(slot);
    }

    const std::string text = values_.count(key) ? values_.at(key) : std::string();
    const std::optional<std::string> type = GuidedPresentation::fieldType(schema);
    const JSONValue::Array& choices = schema["enum"].array();
    QWidget* control = nullptr;
    if (!GuidedPresentation::supportsField(schema)) {
        layout->addWidget(paragraph(
            pick(
                language_,
                "Questo campo contiene opzioni complesse. Apri i dettagli tecnici per consultarle.",
                "This field contains complex options. Open the technical details to inspect them."),
            12, QLTheme::muted(), box));
    } else if (const bool picked = !choices.empty() && choices.size() <= kMaxChoices;
               picked || (choices.empty() && type == "boolean")) {
        auto* picker = new QComboBox(box);
        picker->setObjectName(QStringLiteral("ql-guided-picker"));
        picker->setAccessibleName(name);
        picker->setFont(QLTheme::font(13));
        // As wide as its widest row, up to a column's width; the rows are
        // few enough to measure.
        picker->setMaximumWidth(440);
        picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        if (picked) {
            picker->addItem(
                isRequired ? pick(language_, "Scegli…", "Choose…")
                           : pick(language_, "Lascia decidere al sito", "Use the site’s default"),
                QString());
            for (const JSONValue& element : choices) {
                const std::string value = enumText(element);
                picker->addItem(
                    shownText(GuidedPresentation::choice(value, language_), kMenuCharacters),
                    fromUtf8(value));
            }
        } else {
            picker->addItem(pick(language_, "Non specificato", "Not specified"), QString());
            picker->addItem(pick(language_, "Sì", "Yes"), QStringLiteral("true"));
            picker->addItem(QStringLiteral("No"), QStringLiteral("false"));
        }
        connect(picker, &QComboBox::activated, this, [this, key, picker, picked](int index) {
            setValue(key, picker->itemData(index).toString(),
                     picked && index > 0 ? std::optional(std::size_t(index - 1)) : std::nullopt);
        });
        layout->addWidget(picker, 0, Qt::AlignLeft);
        control = picker;
    } else if (type == "array") {
        layout->addWidget(
            paragraph(pick(language_, "Scrivi una voce per riga.", "Write one item per line."), 11,
                      QLTheme::muted(), box));
        auto* lines = new QPlainTextEdit(box);
        lines->setObjectName(QStringLiteral("ql-guided-lines"));
        lines->setAccessibleName(name);
        lines->setFont(QLTheme::font(14));
        lines->setFixedHeight(70);
        lines->setStyleSheet(QStringLiteral("QPlainTextEdit { border: 1px solid %1; }")
                                 .arg(QLTheme::line().name(QColor::HexArgb)));
        connect(lines, &QPlainTextEdit::textChanged, this,
                [this, key, lines] { setValue(key, lines->toPlainText()); });
        layout->addWidget(lines);
        control = lines;
    } else {
        auto* edit = new QLineEdit(box);
        edit->setObjectName(QStringLiteral("guided-field-") + fromUtf8(key));
        edit->setAccessibleName(name);
        edit->setFont(QLTheme::font(14));
        edit->setMaximumWidth(650);
        edit->setPlaceholderText(
            isRequired ? pick(language_, "Inserisci un valore", "Enter a value")
                       : pick(language_, "Puoi lasciare vuoto", "You can leave this blank"));
        connect(edit, &QLineEdit::textEdited, this,
                [this, key](const QString& typed) { setValue(key, typed); });
        layout->addWidget(edit);
        control = edit;
    }
    if (control) {
        // A picker is heard by its value unless a label names it.
        title->setBuddy(control);
        controls_[key] = control;
        showValue(key);
    }

    if (schema["description"].isString()) {
        const QString description = shownText(*schema["description"].string());
        DisclosureGroup* instructions = disclosure(
            pick(language_, "Indicazioni del sito", "Instructions from the site"),
            QLTheme::font(11), QLTheme::muted(), 6,
            [description](QWidget* holder) {
                auto* shown = paragraph(description, 12, QLTheme::muted(), holder);
                shown->setSelectable(true);
                return shown;
            },
            box);
        instructions->setObjectName(QStringLiteral("ql-guided-instructions"));
        layout->addWidget(instructions, 0, Qt::AlignLeft);
    }
    return box;
}

QWidget* GuidedToolView::sourceDetails(QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* layout = column(box, 10);
    const std::string_view description = tool_.description();
    TextBlock* text =
        paragraph(description.empty() ? pick(language_, "Nessuna descrizione pubblicata.",
                                             "No description published.")
                                      : shownText(description),
                  12, QLTheme::foreground(), box);
    text->setSelectable(true);
    layout->addWidget(text);
    TextBlock* source =
        paragraph(pick(language_, "Pubblicata da ", "Published by ") + hostOf(tool_.serverURL) +
                      QStringLiteral(" · ") + shownText(tool_.name(), 400),
                  12, QLTheme::muted(), box);
    source->setSelectable(true);
    source->setObjectName(QStringLiteral("ql-guided-source-line"));
    layout->addWidget(source);
    QPushButton* details = new BorderedButton(
        pick(language_, "Apri i dettagli tecnici", "Open technical details"), box);
    details->setObjectName(QStringLiteral("ql-guided-open-tool-details"));
    connect(details, &QPushButton::clicked, this, [this] {
        later(&store_, [store = &store_, id = tool_.id()] {
            store->select(id);
            store->setTab(WorkspaceTab::tools);
            store->setShowInspector(true);
        });
    });
    layout->addWidget(details, 0, Qt::AlignLeft);
    return box;
}

void GuidedToolView::setValue(const std::string& key, const QString& text,
                              std::optional<std::size_t> position) {
    values_[key] = text.toStdString();
    if (position)
        positions_[key] = *position;
    else
        positions_.erase(key);
    validationError_.reset();
    session_.keepDraft({toolKey_, tool_.id(), values_, positions_});
    render();
}

// Puts the entry of `values` into the control that edits it, without that
// counting as an edit.
void GuidedToolView::showValue(const std::string& key) {
    const auto found = controls_.find(key);
    if (found == controls_.end() || !found->second) return;
    const QString text = values_.count(key) ? fromUtf8(values_.at(key)) : QString();
    QWidget* control = found->second;
    const QSignalBlocker quiet(control);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        if (edit->text() != text) edit->setText(text);
    } else if (auto* lines = qobject_cast<QPlainTextEdit*>(control)) {
        if (lines->toPlainText() != text) lines->setPlainText(text);
    } else if (auto* picker = qobject_cast<QComboBox*>(control)) {
        int index = picker->findData(text);
        if (const auto kept = positions_.find(key);
            kept != positions_.end() && kept->second + 1 < std::size_t(picker->count()) &&
            picker->itemData(int(kept->second) + 1) == text)
            index = int(kept->second) + 1;
        picker->setCurrentIndex(qMax(0, index));
    }
}

void GuidedToolView::render() {
    const std::vector<std::string> missing = GuidedPresentation::missingRequired(values_, tool_);
    requiredNote_->setVisible(!missing.empty());
    if (!missing.empty()) {
        QStringList names;
        for (std::size_t i = 0; i < std::min(missing.size(), kListedNames); ++i)
            names << label(missing[i], language_);
        if (missing.size() > kListedNames) names << QString(QChar(0x2026));
        requiredNote_->setText(
            pick(language_, "Per inviare, compila: ", "Before sending, complete: ") +
            names.join(QStringLiteral(", ")) + QLatin1Char('.'));
    }
    error_->setVisible(validationError_.has_value());
    if (validationError_) error_->setText(*validationError_);

    const bool waiting = store_.toolBusy();
    send_->setText(waiting
                       ? pick(language_, "In attesa del sito…", "Waiting for the site…")
                       : pick(language_, "Invia richiesta al sito", "Send request to the site"));
    send_->setIcon(
        Symbols::icon(waiting ? QStringLiteral("hourglass") : QStringLiteral("arrow.up.right"),
                      QLTheme::background(), 14));
    // The reader stays by the answer, and can send again from the keyboard.
    setEnabledKeepingFocus(send_, !store_.busy() && !waiting && missing.empty(), sendHolder_);
    if (previousNote_) previousNote_->setVisible(waiting);
}

void GuidedToolView::renderSuggestions() {
    const GuidedSession::Answers* answers = session_.answers(toolKey_, language_);
    const bool ready = answers && answers->suggestionsReady;
    for (auto& [key, slot] : suggestionSlots_) {
        if (!slot.widget) continue;
        std::vector<ParameterSuggestion> found;
        if (ready)
            if (const auto entry = answers->suggestions.find(key);
                entry != answers->suggestions.end())
                found = entry->second;
        // Until the answers are read, what the slot shows stays.
        if (slot.filled && (!ready || found == slot.shown)) continue;
        slot.filled = true;
        slot.shown = found;
        QLayout* layout = slot.widget->layout();
        while (QLayoutItem* item = layout->takeAt(0)) {
            if (QWidget* old = item->widget()) {
                old->hide();
                old->deleteLater();
            }
            delete item;
        }
        QWidget* parent = slot.widget;
        if (found.empty()) {
            layout->addWidget(paragraph(
                pick(
                    language_,
                    "Inserisci l’identificativo fornito dal sito. Se non lo conosci, usa prima una "
                    "funzione di ricerca o consulta il catalogo; il nome visualizzato potrebbe "
                    "essere diverso.",
                    "Enter the identifier supplied by the site. If you do not know it, use a "
                    "search "
                    "function or browse the catalog first; the display name may differ."),
                12, QLTheme::muted(), parent));
            continue;
        }
        auto* chooser = new QToolButton(parent);
        chooser->setObjectName(QStringLiteral("guided-choose-") + fromUtf8(key));
        const QString title =
            pick(language_, "Scegli dai risultati ricevuti", "Choose from received results");
        chooser->setText(title);
        chooser->setAccessibleName(title);
        chooser->setFont(QLTheme::font(13));
        chooser->setAutoRaise(true);
        chooser->setPopupMode(QToolButton::InstantPopup);
        chooser->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        setTextColour(chooser, QLTheme::accent());
        auto* menu = new QMenu(chooser);
        menu->setObjectName(QStringLiteral("ql-guided-suggestions"));
        for (const ParameterSuggestion& suggestion : found) {
            QAction* item = menu->addAction(literalMenuText(
                shownText(suggestion.title, kMenuCharacters) + QStringLiteral(" · ") +
                shownText(suggestion.value, kMenuCharacters)));
            item->setData(fromUtf8(suggestion.value));
            connect(item, &QAction::triggered, this, [this, key, value = suggestion.value] {
                setValue(key, fromUtf8(value));
                showValue(key);
            });
        }
        chooser->setMenu(menu);
        layout->addWidget(chooser);
        layout->addWidget(paragraph(
            pick(
                language_,
                "Vengono proposti soltanto identificativi restituiti da questo server. Puoi anche "
                "inserirne uno nel campo.",
                "Only identifiers returned by this server are suggested. You can also enter one in "
                "the field."),
            11, QLTheme::muted(), parent));
    }
}

void GuidedToolView::renderAnswer() {
    const GuidedSession::Answers* answers = session_.answers(toolKey_, language_);
    if (!answers || !answers->replyReady) return;
    const bool show = answers->reply.has_value();
    if (answerShown_ == show && shownTree_ == answers->tree) return;
    if (answer_) {
        answerLayout_->removeWidget(answer_);
        answer_->hide();
        answer_->deleteLater();
        answer_ = nullptr;
        previousNote_ = nullptr;
    }
    answerShown_ = show;
    shownTree_ = answers->tree;
    if (!show) return;
    const GuidedReply& reply = *answers->reply;

    answer_ = new QWidget(answerLayout_->parentWidget());
    answer_->setObjectName(QStringLiteral("ql-guided-answer"));
    auto* layout = column(answer_, 12);
    auto* divider = new QWidget(answer_);
    column(divider, 0, QMargins(0, 10, 0, 10))->addWidget(horizontalRule(divider));
    layout->addWidget(divider);

    auto* heading = new QHBoxLayout;
    const QColor tone = reply.isError ? QLTheme::attention() : QColor(Qt::white);
    QLabel* title = nullptr;
    heading->addWidget(symbolLabel(
        reply.isError ? QStringLiteral("exclamationmark.circle") : QStringLiteral("text.bubble"),
        reply.isError ? pick(language_, "La richiesta non è riuscita", "The request failed")
                      : pick(language_, "Ultima risposta ricevuta", "Last answer received"),
        QLTheme::font(20, QFont::Medium), tone, answer_, &title));
    title->setObjectName(QStringLiteral("ql-guided-answer-title"));
    heading->addStretch(1);
    heading->addWidget(
        plainLabel(answer_, QLTheme::font(11), QLTheme::muted(),
                   fromUtf8(localizedDateTime(reply.evidence.timestamp,
                                              language_ == Language::italian ? "it" : "en"))));
    layout->addLayout(heading);

    previousNote_ = plainLabel(
        answer_, QLTheme::font(12), QLTheme::muted(),
        pick(language_, "Questa è la risposta precedente. La nuova richiesta è in corso.",
             "This is the previous answer. A new request is in progress."));
    previousNote_->setObjectName(QStringLiteral("ql-guided-previous-answer"));
    previousNote_->setVisible(store_.toolBusy());
    layout->addWidget(previousNote_);
    if (const auto answerLanguage = reply.value["language"].string()) {
        TextBlock* line =
            paragraph(pick(language_, "Lingua di questa risposta: ", "Language of this answer: ") +
                          shownText(GuidedPresentation::choice(*answerLanguage, language_), 200),
                      11, QLTheme::muted(), answer_);
        line->setObjectName(QStringLiteral("ql-guided-answer-language"));
        layout->addWidget(line);
    }
    layout->addWidget(new ReadableValueView(answers->tree, language_, answer_));

    auto* footer = new QHBoxLayout;
    footer->addWidget(
        paragraph(pick(language_, "Informazioni fornite da ", "Information supplied by ") +
                      hostOf(tool_.serverURL) + QLatin1Char('.'),
                  11, QLTheme::muted(), answer_),
        1);
    QToolButton* original =
        borderlessButton(pick(language_, "Risposta originale", "Original response"), answer_);
    original->setObjectName(QStringLiteral("ql-guided-original-response"));
    connect(original, &QToolButton::clicked, this, [this, id = reply.evidence.id] {
        later(&store_, [store = &store_, id] {
            store->setSelectedEvidenceID(id);
            store->setTab(WorkspaceTab::raw);
        });
    });
    footer->addWidget(original, 0, Qt::AlignTop);
    layout->addLayout(footer);
    answerLayout_->addWidget(answer_);
    if (std::exchange(sent_, false)) emit answerShown(answer_);
}

void GuidedToolView::send() {
    JSONValue arguments;
    try {
        arguments = GuidedPresentation::arguments(values_, tool_, language_, positions_);
    } catch (const QuorilanthError& failure) {
        validationError_ = shownText(failure.what());
        render();
        return;
    }
    pending_ = arguments;
    validationError_.reset();
    render();
    if (tool_.safety() == ToolSafety::readOnly) {
        sent_ = true;
        store_.run(tool_, pending_, false);
    } else
        askToConfirm(pending_);
}

QWidget* GuidedToolView::sendButton() const {
    return send_;
}

QWidget* GuidedToolView::firstControl() {
    // The field, not the chooser of suggestions above it: those arrive a
    // moment later, and would take the place the keyboard was given.
    for (const std::string& key : mainKeys_)
        if (const auto found = controls_.find(key); found != controls_.end() && found->second)
            return found->second;
    return nextInReadingOrder(this, close_, true);
}

QString GuidedToolView::confirmationMessage(const JSONValue& arguments) const {
    QStringList lines;
    if (const auto* members = arguments.object())
        for (const auto& [name, value] : *members)
            lines << label(name, language_) + QStringLiteral(": ") +
                         remoteText(fromUtf8(value.isString() ? *value.string() : value.pretty()),
                                    DirectionControls::dropped);
    QStringList blocks{shownText(GuidedPresentation::actionTitle(tool_, language_)),
                       pick(language_, "Destinazione: ", "Destination: ") +
                           remoteText(fromUtf8(tool_.serverURL), DirectionControls::dropped),
                       pick(language_, "Questa richiesta potrebbe modificare dati sul sito.",
                            "This request may change data on the site."),
                       lines.join(QLatin1Char('\n'))};
    return blocks.join(QStringLiteral("\n\n"));
}

void GuidedToolView::askToConfirm(const JSONValue& arguments) {
    if (confirm_) return;
    const QString question =
        tool_.safety() == ToolSafety::mutating
            ? pick(language_, "Confermi questa operazione?", "Confirm this operation?")
            : pick(language_, "Gli effetti non sono dichiarati. Vuoi procedere?",
                   "The effects are not declared. Continue?");
    QString message = confirmationMessage(arguments);
    if (message.size() > kAlertCharacters) message = message.left(kAlertCharacters) + QChar(0x2026);
    auto* box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Quorilanth"), question,
                                QMessageBox::NoButton, this);
    box->setObjectName(QStringLiteral("ql-guided-confirm"));
    box->setTextFormat(Qt::PlainText);
    box->setInformativeText(message);
    // Every label of the alert shows text as written, the informative one too.
    for (QLabel* text : box->findChildren<QLabel*>())
        text->setTextFormat(Qt::PlainText);
    QPushButton* cancel =
        box->addButton(pick(language_, "Annulla", "Cancel"), QMessageBox::RejectRole);
    cancel->setObjectName(QStringLiteral("ql-guided-confirm-cancel"));
    QPushButton* confirm = box->addButton(pick(language_, "Confermo e invio", "Confirm and send"),
                                          QMessageBox::DestructiveRole);
    confirm->setObjectName(QStringLiteral("ql-guided-confirm-send"));
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, box, confirm] {
        if (box->clickedButton() != confirm) return;
        sent_ = true;
        store_.run(tool_, pending_, true);
    });
    confirm_ = box;
    box->open();
}

} // namespace quorilanth
