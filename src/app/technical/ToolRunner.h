#pragma once

#include "core/base/JSONValue.h"
#include "core/model/MCPTool.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <string>

class QCheckBox;
class QLabel;
class QMessageBox;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

namespace quorilanth {

class CoalescedRender;
class DisclosureGroup;
class SelectableText;
class WorkspaceStore;

// The one place of the technical panes that calls a tool: a form built from
// the tool's input schema (or its arguments as JSON), checked against that
// schema, confirmed by the user unless the tool declares itself read-only, and
// sent only by RUN. It shows the tool's last recorded answer below.
class ToolRunner : public QWidget {
    Q_OBJECT
public:
    // The text entered or chosen for each property; an empty text is no value.
    using Values = std::map<std::string, std::string, std::less<>>;
    // The position in the property's "enum" of each element picked from a
    // list: elements can share a text, and the text alone would send the first.
    using Positions = std::map<std::string, std::size_t, std::less<>>;

    // Form fields built at most; the JSON editor gives any property.
    static constexpr std::size_t fieldLimit = 100;

    ToolRunner(WorkspaceStore& store, MCPTool tool, QWidget* parent = nullptr);
    ~ToolRunner() override;

    const MCPTool& tool() const { return tool_; }
    // The same tool as a later report lists it: the form follows its schema
    // and keeps what was entered.
    void setTool(MCPTool tool);

    // The arguments of a call: the JSON text in JSON mode, else an object of
    // the form's values, each a string for a property of type "string", the
    // listed element for a choice, otherwise the value its text denotes as
    // JSON. A text that is not JSON throws QuorilanthError with the message
    // the runner shows.
    static JSONValue arguments(const MCPTool& tool, const Values& values, bool useJSON,
                               const std::string& raw, const Positions& positions = {});

private:
    void render();
    void buildForm();
    void showEditor();
    void run();
    void confirm();
    void setValidationError(const std::optional<std::string>& message);

    WorkspaceStore& store_;
    MCPTool tool_;
    Values values_;
    Positions positions_;
    bool useJSON_ = false;
    std::string raw_ = "{}";
    JSONValue pending_;
    CoalescedRender* renderer_;
    QVBoxLayout* column_;
    QLabel* safety_;
    QCheckBox* jsonMode_;
    QWidget* editors_;
    QPlainTextEdit* json_;
    QWidget* form_ = nullptr;
    SelectableText* error_;
    QPushButton* runButton_;
    QWidget* runHolder_;
    QWidget* lastResponse_ = nullptr;
    std::string lastResponseID_;
    QPointer<QMessageBox> confirmation_;
};

} // namespace quorilanth
