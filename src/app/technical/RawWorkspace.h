#pragma once

#include "app/technical/RawText.h"

#include <QWidget>
#include <cstdint>
#include <string>
#include <tuple>
#include <utility>

class QAbstractButton;
class QFont;
class QListView;

namespace quorilanth {

class CoalescedRender;
class EvidenceListModel;
class RawTextView;
class WorkspaceStore;

// The first line of an exchange's row in `room` pixels of `font`: the method
// whole when the status fits beside it, else both shortened with "…".
std::pair<QString, QString> rawRowHead(const QString& method, const QString& status,
                                       const QFont& font, int room);

// The raw tab: every recorded exchange of the report in a list, and the plain
// text of the current one as its request, its response or its timing and
// response headers, with a button that copies that text.
class RawWorkspace : public QWidget {
    Q_OBJECT
public:
    RawWorkspace(WorkspaceStore& store, const QString& pane, QWidget* parent = nullptr);
    ~RawWorkspace() override;

    RawPane pane() const { return pane_; }
    void setPane(RawPane pane);
    // The text shown for the current exchange and pane.
    QString rawText() const;

private:
    void render();
    // The shown exchange: the store's selected one, else the report's last.
    const Evidence* currentExchange(std::optional<Evidence>& selected) const;

    WorkspaceStore& store_;
    RawPane pane_;
    CoalescedRender* renderer_;
    EvidenceListModel* model_;
    QListView* list_;
    RawTextView* text_;
    QList<QAbstractButton*> segments_;
    // The exchange, form and report whose text is shown.
    std::tuple<std::string, RawPane, std::uint64_t> shown_{{}, RawPane::response, ~0ull};
    // The exchange the keyboard's row was last put on.
    std::string keyboardRow_;
};

} // namespace quorilanth
