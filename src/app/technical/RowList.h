#pragma once

#include <QAbstractListModel>
#include <QFont>
#include <QListView>
#include <QStringList>
#include <algorithm>
#include <array>
#include <limits>
#include <vector>

namespace quorilanth {

// How one kind of painted row is measured and drawn. Rows are painted, not
// built from widgets, so a list of thousands costs what its visible rows cost.
class RowPainter {
public:
    virtual ~RowPainter() = default;
    virtual int height(int row, int width) const = 0;
    virtual void paint(QPainter& painter, const QRect& box, int row) const = 0;
};

// A list of painted rows that reports a click, Return or Enter on a row.
// Models name each row for screen readers (Qt::AccessibleTextRole) and give it
// an identifier (identifierRole) by which tools and tests find it. A list that
// does not scroll is as tall as its rows, for a page that scrolls as a whole:
// it measures its first rows at once and the others over the next turns of
// the event loop, counting each at the mean of the measured ones until then.
class RowList : public QListView {
    Q_OBJECT
public:
    static constexpr int identifierRole = Qt::UserRole + 1;

    RowList(const RowPainter& painter, bool scrolls, int gap, QWidget* parent = nullptr);
    void setModel(QAbstractItemModel* model) override;

    // Space left and right of the rows, outside them.
    void setSideMargins(int pixels) { setViewportMargins(pixels, 0, pixels, 0); }
    // The row whose identifier is given, or -1.
    int rowOf(const QString& identifier) const;
    // Measured once per row and width.
    int rowHeight(int row, int width) const;

    bool hasHeightForWidth() const override { return !scrolls_; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void chosen(int row);

protected:
    void wheelEvent(QWheelEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    friend class RowDelegate;
    void forget();
    void forget(int first, int last);
    void takeFocusWhenFilled();
    // Keeps one entry per row for the width, all unmeasured when it is new.
    void track(int width) const;
    // The height the layout gives a row: its measure, or the mean until then.
    int shownHeight(int row, int width) const;
    // All rows and the gaps between them, at the viewport's width.
    int rowsHeight(int inner) const;
    int measure(int row) const;
    void measureLater() const;
    void measureSome();

    const RowPainter& painter_;
    bool scrolls_;
    int gap_;
    // The rows measured at one width. Two are kept: a page often asks at the
    // widths with and without its scroll bar in turn.
    struct Measures {
        int width = -1;
        std::vector<int> heights; // -1: not measured yet
        long long sum = 0;        // of the measured heights
        int count = 0;            // measured rows
        std::size_t next = 0;     // no row before it is unmeasured
        void forget(std::size_t row);
        void resize(std::size_t rows);
    };
    mutable std::array<Measures, 2> measures_; // the first is the width last asked for
    mutable bool measuring_ = false;           // a turn of measuring is queued
};

// A list model over plain row values. A Row has identifier() (what tests and
// tools find it by), spoken() (what a screen reader says), sameRow() (the
// same thing shown, perhaps changed) and equality (nothing to repaint).
template <typename Row> class RowModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    const std::vector<Row>& rows() const { return rows_; }
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(rows_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= int(rows_.size())) return {};
        const Row& row = rows_[std::size_t(index.row())];
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) return row.spoken();
        if (role == RowList::identifierRole) return row.identifier();
        return {};
    }

    // Rows that extend the shown ones are added and the changed ones redrawn,
    // so a list that grows during a scan keeps its place; anything else
    // starts the list afresh.
    void setRows(std::vector<Row> rows) {
        const std::size_t shown = rows_.size();
        const bool extends = rows.size() >= shown &&
                             std::equal(rows_.begin(), rows_.end(), rows.begin(),
                                        [](const Row& a, const Row& b) { return a.sameRow(b); });
        if (!extends) {
            beginResetModel();
            rows_ = std::move(rows);
            endResetModel();
            return;
        }
        for (std::size_t i = 0; i < shown; ++i) {
            if (rows_[i] == rows[i]) continue;
            rows_[i] = std::move(rows[i]);
            emit dataChanged(index(int(i)), index(int(i)));
        }
        if (rows.size() == shown) return;
        beginInsertRows({}, int(shown), int(rows.size()) - 1);
        rows_.insert(rows_.end(), std::make_move_iterator(rows.begin() + std::ptrdiff_t(shown)),
                     std::make_move_iterator(rows.end()));
        endInsertRows();
    }

private:
    std::vector<Row> rows_;
};

// For wrappedLines: as many lines as the text takes.
constexpr int noLineLimit = std::numeric_limits<int>::max();

// How many lines wrappedLines gives, measured without building them when the
// text fits one line, as most do.
int lineCount(const QString& text, const QFont& font, int width, int maxLines);
// Lines of wrappedLines drawn from the top left; returns their height.
int drawLines(QPainter& painter, const QPoint& topLeft, const QStringList& lines, const QFont& font,
              const QColor& colour);

// The most of one remote text that a row or a line shows (UTF-16 units, see
// boundedText): more lines than a row should grow to, so that a hostile
// megabyte costs what a screenful costs.
constexpr qsizetype rowTextLimit = 2000;

} // namespace quorilanth
