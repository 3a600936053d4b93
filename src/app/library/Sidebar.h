#pragma once

#include "app/kit/ViewKit.h"
#include "app/store/SavedScan.h"

#include <QAbstractButton>
#include <array>
#include <optional>
#include <vector>

class QLabel;
class QToolButton;
class QVBoxLayout;

namespace quorilanth {

class WorkspaceStore;

// One of the four library sections: symbol, title and, for History, the
// number of saved scans; highlighted while the library shows that section.
class SectionRow : public QAbstractButton {
    Q_OBJECT
public:
    SectionRow(const QString& section, const QString& symbol, QWidget* parent = nullptr);
    const QString& section() const { return section_; }
    void bind(const QString& title, const QString& count, bool highlighted);
    bool highlighted() const { return highlighted_; }
    const QString& count() const { return count_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString section_, symbol_, count_;
    bool highlighted_ = false;
};

// One saved scan of the sidebar's list: site, collection or date, score.
class SidebarScanRow : public QAbstractButton {
    Q_OBJECT
public:
    explicit SidebarScanRow(QWidget* parent = nullptr);
    void bind(const SavedScan& scan, bool open);
    const SavedScan& scan() const { return scan_; }
    bool isOpen() const { return open_; }
    // While busy a row ignores clicks and keys but stays enabled as a widget:
    // Qt sends no context-menu event to a disabled one, and the menu's items
    // must still reach the store.
    void setResponsive(bool responsive);
    bool responsive() const { return responsive_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    SavedScan scan_;
    QString site_, detail_;
    bool open_ = false;
    bool responsive_ = true;
};

// The left column of the window: new scan, the library's sections, the first
// 20 scans of the current section, and a note on what the product offers.
class Sidebar : public Backdrop {
    Q_OBJECT
public:
    static constexpr int listLimit = 20;

    explicit Sidebar(WorkspaceStore& store, QWidget* parent = nullptr);
    void render();

protected:
    void changeEvent(QEvent* event) override;

private:
    void showMenu(const SavedScan& scan, const QPoint& where);
    // The row that is to take the keyboard from the focused one, when the
    // list about to be shown moves its scan elsewhere.
    std::optional<std::size_t> heirOfFocus(const std::vector<SavedScan>& scans,
                                           std::size_t listed) const;

    WorkspaceStore& store_;
    CoalescedRender* renderer_;
    QLabel* heading_;
    QToolButton* plus_;
    QAbstractButton* newScan_;
    std::array<SectionRow*, 4> sections_{};
    QLabel* listHeader_;
    // Made as the list first needs them and then kept, at most listLimit: the
    // list is rebound at every change, and a row is never deleted under its
    // own click or menu.
    std::vector<SidebarScanRow*> rows_;
    QVBoxLayout* rowsLayout_;
    SpacedText* emptyNote_;
    QLabel* answersHeading_;
    SpacedText* answersNote_;
};

} // namespace quorilanth
