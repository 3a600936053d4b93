#include "app/technical/ToolRunner.h"

#include "app/kit/DisclosureGroup.h"
#include "app/kit/FocusHolder.h"
#include "app/kit/FocusOutline.h"
#include "app/kit/QLTheme.h"
#include "app/kit/Symbols.h"
#include "app/kit/ViewKit.h"
#include "app/store/WorkspaceStore.h"
#include "app/technical/JSONTree.h"
#include "app/technical/SelectableText.h"
#include "app/technical/TechnicalKit.h"
#include "core/mcp/JSONSchemaValidator.h"
#include "core/mcp/ToolInput.h"
#include "core/report/ToolCalls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <set>

namespace quorilanth {
namespace {

// What a one-line control or an alert line can show of a remote text.
constexpr qsizetype lineLimit = 300;
constexpr qsizetype alertArgumentsLimit = 4000;

QFont code(int size, QFont::Weight weight = QFont::Normal) {
    return QLTheme::font(size, weight, QLTheme::Design::monospaced);
}

// A choice's text: a string's own, any other value's JSON text.
std::string choiceText(const JSONValue& value) {
    return value.text();
}

QComboBox* picker(const QString& name, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setAccessibleName(name);
    box->setFont(QLTheme::font(11));
    // Measuring every entry of a long list would stall the form.
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(12);
    box->addItem(QStringLiteral("Not set"));
    return box;
}

} // namespace

ToolRunner::ToolRunner(WorkspaceStore& store, MCPTool tool, QWidget* parent)
    : QWidget(parent), store_(store), tool_(std::move(tool)),
      renderer_(new CoalescedRender(this, [this] { render(); })) {
    setObjectName(QStringLiteral("ql-tool-runner"));
    column_ = new QVBoxLayout(this);
    column_->setContentsMargins(0, 0, 0, 0);
    column_->setSpacing(13);

    auto* header = new QHBoxLayout;
    auto* title = new QLabel(QStringLiteral("TOOL RUNNER"), this);
    title->setTextFormat(Qt::PlainText);
    title->setFont(QLTheme::font(10, QFont::DemiBold, QLTheme::Design::monospaced, 1));
    setTextColour(title, QLTheme::foreground());
    header->addWidget(title);
    header->addStretch(1);
    safety_ = new QLabel(this);
    safety_->setObjectName(QStringLiteral("ql-tool-safety"));
    safety_->setTextFormat(Qt::PlainText);
    safety_->setFont(code(8));
    header->addWidget(safety_);
    column_->addLayout(header);

    auto* note = new QLabel(QStringLiteral("Effect classification comes from server annotations. "
                                           "Every call requires your RUN action."),
                            this);
    note->setTextFormat(Qt::PlainText);
    note->setWordWrap(true);
    note->setFont(QLTheme::font(10));
    setTextColour(note, QLTheme::muted());
    column_->addWidget(note);

    jsonMode_ = new QCheckBox(QStringLiteral("Edit arguments as JSON"), this);
    jsonMode_->setObjectName(QStringLiteral("ql-tool-json-mode"));
    jsonMode_->setFont(QLTheme::font(10));
    connect(jsonMode_, &QCheckBox::toggled, this, [this](bool on) {
        useJSON_ = on;
        showEditor();
    });
    column_->addWidget(jsonMode_);

    // The form and the editor take turns; the hidden one takes no room, so the
    // form is as tall as its fields and not as the 140-pixel editor.
    editors_ = new QWidget(this);
    auto* editorColumn = new QVBoxLayout(editors_);
    editorColumn->setContentsMargins(0, 0, 0, 0);
    json_ = new QPlainTextEdit(QString::fromStdString(raw_), editors_);
    json_->setObjectName(QStringLiteral("ql-tool-json"));
    json_->setAccessibleName(jsonMode_->text());
    json_->setFont(code(11));
    json_->setFixedHeight(140);
    json_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    json_->setStyleSheet(QStringLiteral("QPlainTextEdit { border: 1px solid %1; }")
                             .arg(QLTheme::line().name(QColor::HexArgb)));
    connect(json_, &QPlainTextEdit::textChanged, this,
            [this] { raw_ = json_->toPlainText().toStdString(); });
    editorColumn->addWidget(json_);
    column_->addWidget(editors_);

    error_ = new SelectableText(this);
    error_->setObjectName(QStringLiteral("ql-tool-error"));
    error_->setFont(QLTheme::font(10));
    error_->setColour(QLTheme::attention());
    error_->hide();
    column_->addWidget(error_);

    runButton_ = new QPushButton(this);
    runButton_->setObjectName(QStringLiteral("tool-run"));
    runButton_->setCursor(Qt::PointingHandCursor);
    runButton_->setFont(QLTheme::font(10, QFont::DemiBold, QLTheme::Design::standard, 1));
    runButton_->setIconSize(QSize(11, 11));
    runButton_->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: %2; border: none; border-radius: 5px;"
                       " padding: 10px; }"
                       "QPushButton:disabled { background: %3; }")
            .arg(QLTheme::accent().name(), QLTheme::background().name(),
                 QLTheme::tint(QLTheme::accent(), 0.45).name(QColor::HexArgb)));
    new FocusOutline(runButton_, 5, true);
    // Return runs, as Space does.
    runButton_->setAutoDefault(true);
    connect(runButton_, &QPushButton::clicked, this, &ToolRunner::run);
    runHolder_ = new FocusHolder(runButton_, 5, true, this);
    column_->addWidget(runHolder_);

    buildForm();
    for (auto signal : {&WorkspaceStore::reportChanged, &WorkspaceStore::busyChanged,
                        &WorkspaceStore::toolBusyChanged})
        connect(&store_, signal, renderer_, &CoalescedRender::request);
    render();
}

ToolRunner::~ToolRunner() = default;

void ToolRunner::setTool(MCPTool tool) {
    if (tool == tool_) return;
    const bool sameSchema = tool.inputSchema() == tool_.inputSchema();
    tool_ = std::move(tool);
    if (!sameSchema) buildForm();
    render();
}

void ToolRunner::buildForm() {
    auto* form = new QWidget(editors_);
    form->setObjectName(QStringLiteral("ql-tool-form"));
    auto* groups = new QVBoxLayout(form);
    groups->setContentsMargins(0, 0, 0, 0);
    groups->setSpacing(13);
    const JSONValue& schema = tool_.inputSchema();
    std::set<std::string_view> shownNames;
    const JSONValue::Array& required = schema["required"].array();
    // Members come in byte order of their UTF-8 names, the order of their code points.
    if (const JSONValue::Object* properties = schema["properties"].object()) {
        std::size_t built = 0;
        for (const auto& [name, property] : *properties) {
            // A schema can declare tens of thousands of properties; their
            // fields would hold the window for seconds. The rest are reached
            // through the JSON editor.
            if (built++ == fieldLimit) {
                auto* more =
                    new QLabel(QStringLiteral("Showing ") + QString::number(fieldLimit) +
                                   QStringLiteral(" of ") + QString::number(properties->size()) +
                                   QStringLiteral(" properties. Edit arguments as "
                                                  "JSON to give the others."),
                               form);
                more->setObjectName(QStringLiteral("ql-tool-more-fields"));
                more->setTextFormat(Qt::PlainText);
                more->setWordWrap(true);
                more->setFont(QLTheme::font(10));
                setTextColour(more, QLTheme::muted());
                groups->addWidget(more);
                break;
            }
            shownNames.insert(name);
            const QString shownName = boundedText(name, lineLimit);
            const bool isRequired =
                std::find(required.begin(), required.end(), JSONValue(name)) != required.end();
            auto* group = new QWidget(form);
            auto* lines = new QVBoxLayout(group);
            lines->setContentsMargins(0, 0, 0, 0);
            lines->setSpacing(5);

            auto* heading = new QHBoxLayout;
            auto* label = new ElidedLabel(group);
            label->setHintsTextWidth(true);
            label->setFont(code(11, QFont::Medium));
            label->setText(shownName);
            heading->addWidget(label, 0);
            if (isRequired) {
                auto* star = new QLabel(QStringLiteral("*"), group);
                star->setFont(code(11, QFont::Medium));
                setTextColour(star, QLTheme::accent());
                heading->addWidget(star);
            }
            heading->addStretch(1);
            auto* type = new ElidedLabel(group);
            type->setHintsTextWidth(true);
            type->setFont(code(9));
            type->setColour(QLTheme::muted());
            const JSONValue& declared = property["type"];
            type->setText(
                boundedText(declared.string() ? *declared.string() : declared.pretty(), lineLimit));
            // A long name shrinks before the type does, down to the type's
            // own width; a type of a site's own long text is cut at a third
            // of a narrow inspector.
            type->setObjectName(QStringLiteral("ql-tool-field-type"));
            type->setMinimumWidth(qMin(type->sizeHint().width(), 90));
            heading->addWidget(type, 0);
            lines->addLayout(heading);

            const QString fieldName = QStringLiteral("ql-tool-field-") + shownName;
            const JSONValue::Array& choices = property["enum"].array();
            const auto entered = values_.find(name);
            const std::string current = entered == values_.end() ? "" : entered->second;
            if (!choices.empty() || declared == JSONValue("boolean")) {
                QComboBox* box = picker(shownName, group);
                box->setObjectName(fieldName);
                // A picker is heard by its value unless a label names it.
                label->setBuddy(box);
                std::vector<std::string> texts;
                if (choices.empty())
                    texts = {"true", "false"};
                else
                    for (const JSONValue& choice : choices)
                        texts.push_back(choiceText(choice));
                for (const std::string& text : texts)
                    box->addItem(boundedText(text, lineLimit));
                auto at = std::find(texts.begin(), texts.end(), current);
                if (const auto kept = positions_.find(name); kept != positions_.end() &&
                                                             kept->second < texts.size() &&
                                                             texts[kept->second] == current)
                    at = texts.begin() + std::ptrdiff_t(kept->second);
                box->setCurrentIndex(
                    current.empty() || at == texts.end() ? 0 : int(at - texts.begin()) + 1);
                connect(box, &QComboBox::currentIndexChanged, this,
                        [this, name, texts = std::move(texts)](int index) {
                            values_[name] = index <= 0 ? "" : texts[std::size_t(index - 1)];
                            if (index <= 0)
                                positions_.erase(name);
                            else
                                positions_[name] = std::size_t(index - 1);
                        });
                lines->addWidget(box);
            } else {
                auto* field = new QLineEdit(group);
                field->setObjectName(fieldName);
                field->setAccessibleName(shownName);
                label->setBuddy(field);
                field->setFont(code(11));
                const JSONValue& fallback = property["default"];
                if (property.find("default") && !fallback.isNull())
                    field->setPlaceholderText(QStringLiteral("Default: ") +
                                              boundedText(choiceText(fallback), lineLimit));
                else
                    field->setPlaceholderText(isRequired ? QStringLiteral("Required")
                                                         : QStringLiteral("Optional"));
                field->setText(QString::fromStdString(current));
                connect(field, &QLineEdit::textEdited, this,
                        [this, name](const QString& text) { values_[name] = text.toStdString(); });
                lines->addWidget(field);
            }
            if (const std::optional<std::string_view> description =
                    property["description"].string()) {
                auto* text = new SelectableText(group);
                text->setMaximumRows(3);
                text->setFont(QLTheme::font(9));
                text->setColour(QLTheme::muted());
                text->setText(*description);
                lines->addWidget(text);
            }
            groups->addWidget(group);
        }
    }
    // A value for a field that is no longer shown would be sent unseen.
    std::erase_if(values_, [&](const auto& entry) { return !shownNames.contains(entry.first); });
    std::erase_if(positions_, [&](const auto& entry) { return !shownNames.contains(entry.first); });
    if (form_) {
        form_->hide();
        form_->deleteLater();
    }
    form_ = form;
    static_cast<QVBoxLayout*>(editors_->layout())->insertWidget(0, form_);
    showEditor();
}

void ToolRunner::showEditor() {
    form_->setVisible(!useJSON_);
    json_->setVisible(useJSON_);
}

JSONValue ToolRunner::arguments(const MCPTool& tool, const Values& values, bool useJSON,
                                const std::string& raw, const Positions& positions) {
    if (useJSON) return JSONValue::parse(raw);
    JSONValue result = JSONValue::emptyObject();
    for (const auto& [name, text] : values) {
        // Nothing is trimmed: a space is a value, and not JSON.
        if (text.empty()) continue;
        const JSONValue& property = ToolInput::property(tool, name);
        const auto picked = positions.find(name);
        if (const JSONValue* chosen = ToolInput::choice(
                property, text,
                picked == positions.end() ? std::nullopt : std::optional(picked->second))) {
            result.set(name, *chosen);
        } else if (property["type"] == JSONValue("string")) {
            result.set(name, JSONValue(text));
        } else {
            try {
                result.set(name, JSONValue::parse(text));
            } catch (const JSONParseError& error) {
                throw QuorilanthError(name + ": " + error.message());
            }
        }
    }
    return result;
}

void ToolRunner::setValidationError(const std::optional<std::string>& message) {
    error_->setVisible(message.has_value());
    error_->setText(std::string_view(message.value_or("")));
}

void ToolRunner::run() {
    JSONValue built;
    try {
        built = arguments(tool_, values_, useJSON_, raw_, positions_);
    } catch (const QuorilanthError& error) {
        setValidationError(error.message());
        return;
    }
    const SchemaValidation validation = JSONSchemaValidator::validate(built, tool_.inputSchema());
    // Notes on keywords the checker does not verify block nothing by themselves.
    if (!validation.errors.empty()) {
        std::string message;
        for (const auto* list : {&validation.errors, &validation.unsupported})
            for (const std::string& line : *list)
                message += (message.empty() ? "" : "\n") + line;
        setValidationError(message);
        return;
    }
    setValidationError(std::nullopt);
    pending_ = built;
    if (tool_.safety() == ToolSafety::readOnly)
        store_.run(tool_, built, false);
    else
        confirm();
}

void ToolRunner::confirm() {
    if (confirmation_) return;
    const QString label = QString::fromLatin1(toString(tool_.safety()));
    const QString message = boundedText(tool_.name(), lineLimit) + QLatin1Char('\n') +
                            boundedText(tool_.serverURL, lineLimit) +
                            QStringLiteral("\n\nThis may change remote state.\n\nArguments:\n") +
                            boundedText(pending_.pretty(), alertArgumentsLimit);
    auto* box = new QMessageBox(QMessageBox::NoIcon,
                                QStringLiteral("Invoke ") + label + QStringLiteral(" tool?"),
                                message, QMessageBox::NoButton, this);
    box->setObjectName(QStringLiteral("ql-tool-confirm"));
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    cancel->setObjectName(QStringLiteral("ql-tool-confirm-cancel"));
    QPushButton* go =
        box->addButton(QStringLiteral("Confirm invocation"), QMessageBox::DestructiveRole);
    go->setObjectName(QStringLiteral("ql-tool-confirm-invoke"));
    // Return must not send a call that changes remote state.
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    connect(go, &QPushButton::clicked, this, [this] { store_.run(tool_, pending_, true); });
    confirmation_ = box;
    box->open();
}

void ToolRunner::render() {
    const bool readOnly = tool_.safety() == ToolSafety::readOnly;
    safety_->setText(QString::fromLatin1(toString(tool_.safety())));
    setTextColour(safety_, readOnly ? QLTheme::accent() : QLTheme::attention());

    const bool running = store_.toolBusy();
    const QString label = running ? QStringLiteral("RUNNING\u2026") : QStringLiteral("RUN TOOL");
    runButton_->setText(label);
    runButton_->setAccessibleName(label);
    runButton_->setIcon(
        Symbols::icon(running ? QStringLiteral("hourglass") : QStringLiteral("play.fill"),
                      QLTheme::background(), 11));
    setEnabledKeepingFocus(runButton_, !store_.busy() && !running, runHolder_);

    std::optional<ToolCall> call;
    if (store_.report()) call = ToolCalls::latest(*store_.report(), tool_);
    const std::string answerID = call ? call->answer.id : std::string();
    if (answerID == lastResponseID_ && (lastResponse_ != nullptr) == call.has_value()) return;
    lastResponseID_ = answerID;
    if (lastResponse_) {
        lastResponse_->hide();
        lastResponse_->deleteLater();
        lastResponse_ = nullptr;
    }
    if (!call) return;

    lastResponse_ = new QWidget(this);
    lastResponse_->setObjectName(QStringLiteral("ql-tool-last-response"));
    auto* section = new QVBoxLayout(lastResponse_);
    section->setContentsMargins(0, 0, 0, 0);
    section->setSpacing(13);
    JSONValue body;
    try {
        body = JSONValue::parse(call->answer.responseBody.view());
    } catch (const JSONParseError&) {
        body = JSONValue(call->answer.responseBody);
    }
    auto* group = new DisclosureGroup(
        QStringLiteral("Last response"),
        [body](QWidget* owner) { return new JSONTree(body, 0, owner); }, lastResponse_);
    group->setObjectName(QStringLiteral("ql-tool-response"));
    group->header()->setFont(QLTheme::font(11));
    group->header()->setColour(QLTheme::accent());
    section->addWidget(group);
    QPushButton* open = textButton(QStringLiteral("Open request + response in RAW"),
                                   QStringLiteral("ql-tool-open-raw"), lastResponse_);
    connect(open, &QPushButton::clicked, this, [this, answerID] {
        store_.setSelectedEvidenceID(answerID);
        store_.setTab(WorkspaceTab::raw);
    });
    section->addWidget(open);
    column_->addWidget(lastResponse_);
}

} // namespace quorilanth
