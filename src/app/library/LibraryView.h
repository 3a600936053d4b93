#pragma once

#include "app/kit/ViewKit.h"
#include "app/store/SavedScan.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QIcon>
#include <functional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QToolButton;

namespace quorilanth {

class WorkspaceStore;

// One saved scan of the library: open (site, date, collection, score),
// favourite and collection buttons, on a card. Rows are recycled as the list
// scrolls; bind() gives a row its scan and its controls their identifiers.
class LibraryRow : public QWidget {
    Q_OBJECT
public:
    struct Actions {
        std::function<void(const SavedScan&)> open, favorite, collection;
    };
    LibraryRow(Actions actions, QWidget* parent = nullptr);
    void bind(const SavedScan& scan);
    // A row out of use answers to no scan's identifiers.
    void unbind();
    const SavedScan& scan() const { return scan_; }
    static int rowHeight();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SavedScan scan_;
    QAbstractButton* open_;
    QToolButton* favorite_;
    QToolButton* collection_;
    // Drawn once per row, not at every bind.
    QIcon marked_, unmarked_;
};

// The library's list: every entry scrolls, but only the rows in view exist.
class LibraryList : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int rowSpacing = 10;

    LibraryList(LibraryRow::Actions actions, QWidget* parent = nullptr);
    void setScans(std::vector<SavedScan> scans);
    const std::vector<SavedScan>& scans() const { return scans_; }
    // The rows now built, in view or not.
    int builtRows() const { return int(pool_.size()); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void layoutRows();

    LibraryRow::Actions actions_;
    std::vector<SavedScan> scans_;
    std::vector<LibraryRow*> pool_;
};

// The page of saved scans that fills the main column while the library is
// shown: one section at a time, a search, the collection filter, and the rows.
class LibraryView : public QWidget {
    Q_OBJECT
public:
    explicit LibraryView(WorkspaceStore& store, QWidget* parent = nullptr);
    void render();

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The empty state's button: what it does now.
    enum class EmptyAction { clearFilters, openHistory, newScan };
    void renderEmptyState(bool filtered);
    void runEmptyAction();
    void later(std::function<void()> work);

    WorkspaceStore& store_;
    CoalescedRender* renderer_;
    QLabel* title_;
    QLabel* subtitle_;
    QPushButton* back_;
    QPushButton* newScan_;
    QLineEdit* search_;
    QToolButton* clear_;
    QWidget* filterBox_;
    QLabel* filterLabel_;
    QComboBox* filter_;
    QLabel* count_;
    QStackedWidget* body_;
    QWidget* empty_;
    QLabel* emptySymbol_;
    QLabel* emptyTitle_;
    SpacedText* emptyDetail_;
    QPushButton* emptyButton_;
    EmptyAction emptyAction_ = EmptyAction::newScan;
    LibraryList* list_;
    // A change came while the page was hidden; it renders when shown.
    bool stale_ = false;
};

} // namespace quorilanth
