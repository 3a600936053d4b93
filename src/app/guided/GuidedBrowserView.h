#pragma once

#include "core/documents/AgentSurfaceAssessment.h"
#include "core/model/ScanReport.h"

#include <QPointer>
#include <QScrollArea>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTimer;
class QVariantAnimation;
class QVBoxLayout;

namespace quorilanth {

class BusyIndicator;
class GuidedSession;
class GuidedToolView;
class Panel;
class TextBlock;
class ToolCardGrid;
class WorkspaceStore;

// The "Per te" page: the current report in plain words for a reader who is
// not technical. What the site offers, the functions to try as cards, the
// form of the chosen one, the site's own description, the documents read, and
// the ways to the technical views. Everything is derived from the store; the
// page only selects a tool and switches the tab.
class GuidedBrowserView : public QScrollArea {
    Q_OBJECT
public:
    explicit GuidedBrowserView(WorkspaceStore& store, QWidget* parent = nullptr);
    ~GuidedBrowserView() override;

    ToolCardGrid* cards() const { return cards_; }
    // The slot that holds the form: the target of every automatic scroll.
    QWidget* formSlot() const { return slot_; }
    GuidedToolView* form() const;
    // Renders now what the store changed since the last render.
    void renderNow();
    // Presses the card at this index, as a click would.
    void choose(int index);

protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum Part : unsigned { reportPart = 1, busyPart = 2, selectionPart = 4, everything = 7 };
    void request(unsigned parts);
    void build();
    void render();
    void derive();
    void renderHeader();
    void renderInspection();
    void renderForm();
    void renderDocuments();
    void renderGuide();
    void scrollToForm();
    void focusForm();
    void revealAnswer();
    int formTop() const;

    WorkspaceStore& store_;
    GuidedSession& session_;
    unsigned dirty_ = everything;
    bool queued_ = false;

    // What the page shows of the current report, derived once per report.
    struct Derived {
        std::vector<MCPTool> tools;
        std::vector<std::string> keys;
        std::optional<AgentSurfaceAssessment> assessment;
        std::optional<std::string> description;
    } derived_;
    std::optional<std::string> selected_;
    // The keyboard goes into the form at the next render: it was on the card
    // just pressed, or in the form the new one replaces.
    bool focusForm_ = false;

    QWidget* page_ = nullptr;
    QLabel* eyebrowIcon_ = nullptr;
    QLabel* eyebrow_ = nullptr;
    TextBlock* title_ = nullptr;
    TextBlock* introduction_ = nullptr;
    QLabel* toolCount_ = nullptr;
    QLabel* documentCount_ = nullptr;
    BusyIndicator* busy_ = nullptr;
    quorilanth::Panel* inspection_ = nullptr;
    std::vector<std::pair<QLabel*, QLabel*>> surfaces_; // symbol, verdict
    TextBlock* documentsOnly_ = nullptr;
    QWidget* actions_ = nullptr;
    ToolCardGrid* cards_ = nullptr;
    QWidget* slot_ = nullptr;
    QVBoxLayout* slotLayout_ = nullptr;
    QPointer<GuidedToolView> form_;
    quorilanth::Panel* description_ = nullptr;
    TextBlock* descriptionText_ = nullptr;
    QWidget* documents_ = nullptr;
    QVBoxLayout* documentRows_ = nullptr;
    std::vector<GraphNode> shownDocuments_;
    std::set<std::string> openDocuments_;
    QLabel* scanLine_ = nullptr;

    QVariantAnimation* scroll_;
    int scrollStart_ = 0;
    QTimer* settleScroll_;
    // The answer just shown, brought into view as the page lays it out: the
    // page grows in steps, each one a moment after the last.
    QPointer<QWidget> answer_;
    QTimer* revealAnswer_;
    QTimer* answerSettled_;
};

} // namespace quorilanth
