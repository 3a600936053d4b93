#pragma once

#include <QWidget>
#include <vector>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace quorilanth {

class CoalescedRender;
class WorkspaceStore;

// The Discovery tab: with an AI search result, the request, the candidate
// sites with the state of their verification scans and the model's raw
// answer; without one, the inventory of discovery documents and manifests.
class DiscoveryResultsView : public QWidget {
    Q_OBJECT
public:
    explicit DiscoveryResultsView(WorkspaceStore& store, QWidget* parent = nullptr);

    // Follows the store now: the face, then each candidate's state.
    void render();

protected:
    void changeEvent(QEvent* event) override;

private:
    static QString openText();

    struct Candidate {
        QString domain;
        QPushButton* open;
        QLabel* waiting;
    };

    void buildFace();
    void renderStates();
    void openCandidate(const QString& domain);

    WorkspaceStore& store_;
    CoalescedRender* renderer_;
    QVBoxLayout* layout_;
    QWidget* face_ = nullptr;
    // The face shows an earlier result, or none.
    bool faceStale_ = true;
    std::vector<Candidate> candidates_;
};

} // namespace quorilanth
