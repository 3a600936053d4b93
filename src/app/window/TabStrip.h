#pragma once

#include "app/kit/ViewKit.h"
#include "app/store/WorkspaceTab.h"

#include <QAbstractButton>
#include <map>

class QLabel;
class QToolButton;

namespace quorilanth {

class WorkspaceStore;

// One tab button: symbol and label, accent when selected; SCHEMA keeps an
// accent outline at all times.
class TabButton : public QAbstractButton {
    Q_OBJECT
public:
    TabButton(WorkspaceTab tab, QWidget* parent = nullptr);
    WorkspaceTab tab() const { return tab_; }
    void setSelected(bool selected);
    bool selected() const { return selected_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont labelFont() const;
    int padding() const;

    WorkspaceTab tab_;
    bool selected_ = false;
};

// The strip under the search bar. Two faces: the guide face (the "For you"
// chip, the way into the technical view, SCHEMA) and the technical face (back
// to the guide, then every technical tab).
class TabStrip : public Backdrop {
    Q_OBJECT
public:
    explicit TabStrip(WorkspaceStore& store, QWidget* parent = nullptr);
    void render();
    TabButton* button(WorkspaceTab tab) const { return buttons_.at(tab); }

private:
    WorkspaceStore& store_;
    CoalescedRender* renderer_;
    QWidget* chip_;
    QLabel* chipText_;
    QWidget* guideSpacer_;
    QToolButton* technical_;
    QWidget* technicalGap_;
    QToolButton* back_;
    QWidget* backGap_;
    std::map<WorkspaceTab, TabButton*> buttons_;
};

QString tabSymbol(WorkspaceTab tab);

} // namespace quorilanth
