#pragma once

#include "app/kit/ViewKit.h"
#include "core/model/ScanReport.h"

class QLabel;

namespace quorilanth {

class WorkspaceStore;

// The band above a technical tab: the site, what was observed, and the score.
class ReportHeader : public Backdrop {
    Q_OBJECT
public:
    explicit ReportHeader(WorkspaceStore& store, QWidget* parent = nullptr);
    void render();

    struct Summary {
        QString site;
        std::size_t observations = 0;
        std::size_t servers = 0;
        std::size_t tools = 0;
        std::int64_t score = 0;
    };
    static Summary summarize(const ScanReport& report);
    static QString counterLine(const Summary& summary);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    WorkspaceStore& store_;
    CoalescedRender* renderer_;
    ElidedLabel* site_;
    BusyIndicator* busy_;
    QLabel* counters_;
    QWidget* scoreColumn_;
    QLabel* score_;
    QLabel* caption_;
};

} // namespace quorilanth
