#include "app/technical/RowList.h"

#include "app/kit/QLTheme.h"
#include "app/kit/ViewKit.h"
#include "app/technical/TechnicalKit.h"

#include <QAbstractItemDelegate>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>

namespace quorilanth {
namespace {

// About what a first screen shows, and enough rows for a fair mean.
constexpr int sampledRows = 32;
// How long one turn of the event loop may spend measuring rows ahead.
constexpr qint64 measuringSliceMs = 4;

} // namespace

int lineCount(const QString& text, const QFont& font, int width, int maxLines) {
    if (!text.contains(QLatin1Char('\n')) && QFontMetrics(font).horizontalAdvance(text) <= width)
        return 1;
    return int(wrappedLines(text, font, width, maxLines).size());
}

int drawLines(QPainter& painter, const QPoint& topLeft, const QStringList& lines, const QFont& font,
              const QColor& colour) {
    const QFontMetrics metrics(font);
    painter.setFont(font);
    painter.setPen(colour);
    int y = topLeft.y();
    for (const QString& line : lines) {
        painter.drawText(QPoint(topLeft.x(), y + metrics.ascent()), line);
        y += metrics.height();
    }
    return y - topLeft.y();
}

// Hands the list's rows to its row painter.
class RowDelegate final : public QAbstractItemDelegate {
public:
    explicit RowDelegate(RowList& list) : QAbstractItemDelegate(&list), list_(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QRect box = option.rect.adjusted(0, 0, 0, -list_.gap_);
        // A row shown before its turn came is measured now; its true place
        // follows with the next layout.
        const RowList::Measures& shown = list_.measures_[0];
        if (!list_.scrolls_ && shown.width == list_.viewport()->width() &&
            index.row() < int(shown.heights.size()) &&
            shown.heights[std::size_t(index.row())] < 0) {
            list_.measure(index.row());
            list_.measureLater();
        }
        painter->save();
        list_.painter_.paint(*painter, box, index.row());
        painter->restore();
        if (QLTheme::showsFocus(option) && list_.hasFocus())
            QLTheme::paintFocus(*painter, QRectF(box), 0);
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override {
        const int width = list_.viewport()->width();
        return {width, list_.shownHeight(index.row(), width) + list_.gap_};
    }

private:
    RowList& list_;
};

RowList::RowList(const RowPainter& painter, bool scrolls, int gap, QWidget* parent)
    : QListView(parent), painter_(painter), scrolls_(scrolls), gap_(gap) {
    setItemDelegate(new RowDelegate(*this));
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    // Rows are as wide as the list: a new width lays them out again.
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(false);
    // A long list that scrolls shows its first rows at once and measures the
    // others in batches over the next turns of the event loop.
    if (scrolls) setLayoutMode(QListView::Batched);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    setPalette(palette);
    viewport()->setAutoFillBackground(false);
    if (!scrolls) {
        QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }
    connect(this, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) emit chosen(index.row());
    });
    connect(this, &QListView::activated, this, [this](const QModelIndex& index) {
        if (index.isValid() && !(QGuiApplication::mouseButtons() & Qt::LeftButton))
            emit chosen(index.row());
    });
}

void RowList::setModel(QAbstractItemModel* model) {
    if (this->model()) this->model()->disconnect(this);
    QListView::setModel(model);
    forget();
    takeFocusWhenFilled();
    if (!model) return;
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        forget();
        takeFocusWhenFilled();
    });
    connect(model, &QAbstractItemModel::rowsInserted, this, [this] {
        forget(-1, -1);
        takeFocusWhenFilled();
    });
    connect(model, &QAbstractItemModel::rowsRemoved, this, [this] {
        forget();
        takeFocusWhenFilled();
    });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& first, const QModelIndex& last) {
                forget(first.row(), last.row());
            });
}

void RowList::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QListView::currentChanged(current, previous);
    // A list as tall as its rows leaves the scrolling to its page: the arrow
    // keys' row is brought into view there.
    if (!scrolls_ && hasFocus()) revealFocus(this);
}

void RowList::takeFocusWhenFilled() {
    // Focus shows on a row: a list without rows would hold it unseen.
    setFocusPolicy(model() && model()->rowCount() > 0 ? Qt::StrongFocus : Qt::NoFocus);
}

void RowList::Measures::forget(std::size_t row) {
    int& height = heights[row];
    if (height >= 0) {
        sum -= height;
        --count;
    }
    height = -1;
    next = std::min(next, row);
}

void RowList::Measures::resize(std::size_t rows) {
    for (std::size_t row = rows; row < heights.size(); ++row)
        forget(row);
    heights.resize(rows, -1);
    next = std::min(next, rows);
}

void RowList::forget() {
    measures_ = {};
    updateGeometry();
}

void RowList::forget(int first, int last) {
    for (Measures& measures : measures_) {
        // Rows added at the end only need their own measure.
        if (model()) measures.resize(std::size_t(model()->rowCount()));
        for (int row = qMax(0, first); row <= last && row < int(measures.heights.size()); ++row)
            measures.forget(std::size_t(row));
    }
    updateGeometry();
}

void RowList::track(int width) const {
    if (measures_[0].width != width) {
        std::swap(measures_[0], measures_[1]);
        if (measures_[0].width != width) measures_[0] = {width, {}, 0, 0, 0};
    }
    const std::size_t rows = std::size_t(model() ? model()->rowCount() : 0);
    if (measures_[0].heights.size() != rows) measures_[0].resize(rows);
}

int RowList::measure(int row) const {
    Measures& measures = measures_[0];
    int& height = measures.heights[std::size_t(row)];
    if (height < 0) {
        height = painter_.height(row, measures.width);
        measures.sum += height;
        ++measures.count;
    }
    return height;
}

int RowList::rowHeight(int row, int width) const {
    track(width);
    if (row < 0 || row >= int(measures_[0].heights.size())) return 0;
    return measure(row);
}

int RowList::shownHeight(int row, int width) const {
    track(width);
    const Measures& measures = measures_[0];
    if (row < 0 || row >= int(measures.heights.size())) return 0;
    if (scrolls_ || row < sampledRows || measures.heights[std::size_t(row)] >= 0)
        return measure(row);
    if (measures.count == 0)
        for (int first = 0; first < std::min(int(measures.heights.size()), sampledRows); ++first)
            measure(first);
    measureLater();
    return int(measures.sum / measures.count);
}

void RowList::measureLater() const {
    if (measuring_) return;
    measuring_ = true;
    QTimer::singleShot(0, const_cast<RowList*>(this), &RowList::measureSome);
}

void RowList::measureSome() {
    measuring_ = false;
    // The width the rows are laid out at now.
    track(viewport()->width());
    Measures& measures = measures_[0];
    QElapsedTimer clock;
    clock.start();
    while (measures.next < measures.heights.size() && !clock.hasExpired(measuringSliceMs))
        measure(int(measures.next++));
    while (measures.next < measures.heights.size() && measures.heights[measures.next] >= 0)
        ++measures.next;
    // The rows measured in this turn take their true places.
    scheduleDelayedItemsLayout();
    updateGeometry();
    if (measures.next < measures.heights.size()) measureLater();
}

int RowList::rowOf(const QString& identifier) const {
    const int rows = model() ? model()->rowCount() : 0;
    for (int row = 0; row < rows; ++row)
        if (model()->index(row, 0).data(identifierRole).toString() == identifier) return row;
    return -1;
}

int RowList::rowsHeight(int inner) const {
    const int rows = model() ? model()->rowCount() : 0;
    long long total = 0;
    for (int row = 0; row < rows; ++row)
        total += shownHeight(row, inner) + (row + 1 < rows ? gap_ : 0);
    return int(std::min<long long>(total, QWIDGETSIZE_MAX));
}

int RowList::heightForWidth(int width) const {
    // Rows are measured at the width they are drawn at, the viewport's.
    const QMargins margins = viewportMargins();
    return rowsHeight(width - margins.left() - margins.right() - 2 * frameWidth());
}

QSize RowList::sizeHint() const {
    if (scrolls_) return QListView::sizeHint();
    // At the width last laid out, so that a hint measures nothing new.
    const int inner = measures_[0].width > 0 ? measures_[0].width : qMax(viewport()->width(), 200);
    return {qMax(width(), 200), rowsHeight(inner)};
}

QSize RowList::minimumSizeHint() const {
    if (scrolls_) return QListView::minimumSizeHint();
    return {0, 0};
}

void RowList::wheelEvent(QWheelEvent* event) {
    // A list that does not scroll leaves the wheel to the page around it.
    if (scrolls_)
        QListView::wheelEvent(event);
    else
        event->ignore();
}

} // namespace quorilanth
