#pragma once

#include "core/model/ScanReport.h"

#include <QWidget>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QListView;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;

namespace quorilanth {

class CoalescedRender;
class ElidedLabel;
class JSONTree;
class RelationListModel;
class SelectableText;
class StatusBadge;
class ToolRunner;
class WorkspaceStore;

// The right-hand column: everything the report holds about the selected
// observation. It keeps no state of its own beyond what the reader opened:
// the JSON tree stays while the node and its data do, and the tool runner
// while the same tool stays selected.
class NodeInspector : public QWidget {
    Q_OBJECT
public:
    // Issues shown one per row; a note counts the rest.
    static constexpr std::size_t issueLimit = 100;

    explicit NodeInspector(WorkspaceStore& store, QWidget* parent = nullptr);
    ~NodeInspector() override;

    // One relationship of the selected node as its row shows it.
    struct Relation {
        std::size_t edge;
        bool outgoing;
        std::string other;
    };
    static std::vector<Relation> relations(const ScanReport& report, const std::string& id);

    // The URL "Open page" would hand to the system, or nothing when the
    // address may not be opened.
    static std::optional<std::string> openableURL(const std::string& url);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const GraphNode* selectedNode() const;
    void buildDetail();
    void fitRelations();
    void render();
    void renderNode(const ScanReport& report, const GraphNode& node);
    void renderData(const ScanReport& report, const GraphNode& node);
    void renderExchange();
    void renderRunner();

    WorkspaceStore& store_;
    CoalescedRender* renderer_;
    QStackedWidget* pages_;
    QScrollArea* scroll_ = nullptr;
    QWidget* content_ = nullptr;
    QVBoxLayout* stack_ = nullptr;
    QLabel* kindIcon_ = nullptr;
    StatusBadge* badge_ = nullptr;
    SelectableText* label_ = nullptr;
    QLabel* kindName_ = nullptr;
    QWidget* location_ = nullptr;
    SelectableText* url_ = nullptr;
    QPushButton* openPage_ = nullptr;
    SelectableText* summary_ = nullptr;
    QWidget* issues_ = nullptr;
    QWidget* exchangeDivider_ = nullptr;
    QWidget* exchange_ = nullptr;
    std::vector<SelectableText*> facts_;
    QWidget* runnerDivider_ = nullptr;
    ToolRunner* runner_ = nullptr;
    QWidget* treeSlot_ = nullptr;
    JSONTree* tree_ = nullptr;
    std::string treeNode_;
    QWidget* relationsDivider_ = nullptr;
    QLabel* relationsCaption_ = nullptr;
    QListView* relations_ = nullptr;
    RelationListModel* relationModel_ = nullptr;
    QLabel* linked_ = nullptr;
    std::string shownNode_;
    std::string shownNodeData_;
    std::uint64_t reportGeneration_ = 0;
    std::uint64_t shownGeneration_ = 0;
    std::vector<std::string> shownIssues_;
};

} // namespace quorilanth
