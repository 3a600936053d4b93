#pragma once

#include "app/kit/Panel.h"
#include "core/guided/GuidedReplies.h"

#include <QPointer>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QMessageBox;
class QPushButton;
class QLabel;
class QVBoxLayout;

namespace quorilanth {

class GuidedSession;
class TextBlock;
class WorkspaceStore;
struct ReadableNode;

// The plain-language form through which a reader sends one request to one
// tool: its fields, the send button with the tool's safety line, the
// confirmation for a tool that may change data, and the tool's last answer.
// It converts the typed texts into arguments and hands them to the store; it
// never talks to the network itself.
class GuidedToolView : public Panel {
    Q_OBJECT
public:
    using FormValues = GuidedPresentation::FormValues;

    using ChoicePositions = GuidedPresentation::ChoicePositions;

    GuidedToolView(WorkspaceStore& store, GuidedSession& session, MCPTool tool, std::string toolKey,
                   FormValues values, QWidget* parent = nullptr, ChoicePositions positions = {});

    const MCPTool& tool() const { return tool_; }
    const std::string& toolKey() const { return toolKey_; }
    const FormValues& values() const { return values_; }
    Language language() const { return language_; }

    // The schema's property names in name order, and those shown first.
    static std::vector<std::string> keys(const MCPTool& tool);
    static std::vector<std::string> mainKeys(const MCPTool& tool);
    // The button that sends, which keeps the keyboard while the answer comes.
    QWidget* sendButton() const;
    // Where the keyboard starts in the form: the first field's control, or
    // with no field the first control after Close.
    QWidget* firstControl();
    // The text of the confirmation alert for the arguments about to be sent.
    QString confirmationMessage(const JSONValue& arguments) const;

    // Fields shown in each part of the form; a hostile schema may declare
    // thousands, and the rest stay in the technical view.
    static constexpr std::size_t fieldLimit = 100;

signals:
    // The answer to a request this form sent is shown.
    void answerShown(QWidget* answer);

private:
    void setValue(const std::string& key, const QString& text,
                  std::optional<std::size_t> position = std::nullopt);
    void showValue(const std::string& key);
    void send();
    void askToConfirm(const JSONValue& arguments);
    void render();
    void renderSuggestions();
    void renderAnswer();
    QWidget* field(const std::string& key, QWidget* parent);
    QWidget* fields(const std::vector<std::string>& keys, std::size_t total, QWidget* parent);
    QWidget* sourceDetails(QWidget* parent);

    WorkspaceStore& store_;
    GuidedSession& session_;
    const MCPTool tool_;
    const std::string toolKey_;
    const Language language_;
    FormValues values_;
    ChoicePositions positions_;
    std::optional<QString> validationError_;
    JSONValue pending_;
    QPointer<QMessageBox> confirm_;

    std::vector<std::string> identifierKeys_;
    std::vector<std::string> mainKeys_;
    QWidget* close_;
    std::map<std::string, QPointer<QWidget>> controls_;
    // Where an identifier field shows its suggestions, and what it shows.
    struct SuggestionSlot {
        QPointer<QWidget> widget;
        bool filled = false;
        std::vector<ParameterSuggestion> shown;
    };
    std::map<std::string, SuggestionSlot> suggestionSlots_;
    TextBlock* requiredNote_;
    TextBlock* error_;
    QPushButton* send_;
    QWidget* sendHolder_;
    QVBoxLayout* answerLayout_;
    QWidget* answer_ = nullptr;
    QLabel* previousNote_ = nullptr;
    std::shared_ptr<const ReadableNode> shownTree_;
    bool answerShown_ = false;
    bool sent_ = false;
};

} // namespace quorilanth
