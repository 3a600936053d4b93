#include "app/technical/RowList.h"

#include "app/technical/TechnicalKit.h"
#include "app/window/QLTheme.h"

#include <QAbstractItemDelegate>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QWheelEvent>

namespace quorilanth {
namespace {

// Enough rows for a fair mean, and about what a first screen shows.
constexpr int sampledRows = 32;

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
        painter->save();
        list_.painter_.paint(*painter, box, index.row());
        painter->restore();
        if ((option.state & QStyle::State_HasFocus) && list_.hasFocus()) {
            painter->save();
            painter->setPen(QPen(QLTheme::tint(QLTheme::accent(), 0.6), 1));
            painter->drawRect(box.adjusted(0, 0, -1, -1));
            painter->restore();
        }
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override {
        const int width = list_.viewport()->width();
        return {width, list_.rowHeight(index.row(), width) + list_.gap_};
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
    // A long list shows its first rows at once and measures the others in
    // batches over the next turns of the event loop.
    setLayoutMode(QListView::Batched);
    // Inside a page that scrolls, the first screen rarely shows more than a
    // few dozen rows, and a batch is measured at once.
    if (!scrolls) setBatchSize(sampledRows);
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
    if (!model) return;
    connect(model, &QAbstractItemModel::modelReset, this, [this] { forget(); });
    connect(model, &QAbstractItemModel::rowsInserted, this, [this] { forget(-1, -1); });
    connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { forget(); });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& first, const QModelIndex& last) {
                forget(first.row(), last.row());
            });
}

void RowList::forget() {
    heights_.clear();
    unmeasured_ = 0;
    updateGeometry();
}

void RowList::forget(int first, int last) {
    // Rows added at the end only need their own measure.
    if (model()) {
        const std::size_t rows = std::size_t(model()->rowCount());
        if (rows > heights_.size()) unmeasured_ += int(rows - heights_.size());
        heights_.resize(rows, -1);
    }
    for (int row = qMax(0, first); row <= last && row < int(heights_.size()); ++row) {
        int& height = heights_[std::size_t(row)];
        if (height >= 0) ++unmeasured_;
        height = -1;
    }
    updateGeometry();
}

int RowList::rowHeight(int row, int width) const {
    const int rows = model() ? model()->rowCount() : 0;
    if (width != heightsWidth_ || int(heights_.size()) != rows) {
        if (width != heightsWidth_) heights_.clear();
        heights_.resize(std::size_t(rows), -1);
        heightsWidth_ = width;
        unmeasured_ = int(std::count(heights_.begin(), heights_.end(), -1));
    }
    if (row < 0 || row >= rows) return 0;
    int& height = heights_[std::size_t(row)];
    if (height < 0) {
        height = painter_.height(row, width);
        --unmeasured_;
        if (estimated_ && !settleQueued_) {
            settleQueued_ = true;
            QMetaObject::invokeMethod(
                const_cast<RowList*>(this), [this] { const_cast<RowList*>(this)->settleHeight(); },
                Qt::QueuedConnection);
        }
    }
    return height;
}

void RowList::settleHeight() {
    settleQueued_ = false;
    if (!estimated_ || unmeasured_ > 0) return;
    estimated_ = false;
    updateGeometry();
}

int RowList::rowOf(const QString& identifier) const {
    const int rows = model() ? model()->rowCount() : 0;
    for (int row = 0; row < rows; ++row)
        if (model()->index(row, 0).data(identifierRole).toString() == identifier) return row;
    return -1;
}

int RowList::heightForWidth(int width) const {
    const int rows = model() ? model()->rowCount() : 0;
    if (rows == 0) return 0;
    long long measured = 0;
    int counted = 0;
    for (int row = 0; row < std::min(rows, sampledRows); ++row)
        rowHeight(row, width);
    for (int row = 0; row < rows; ++row) {
        const int height = heights_[std::size_t(row)];
        if (height < 0) continue;
        measured += height;
        ++counted;
    }
    const int mean = int(measured / counted);
    estimated_ = counted < rows;
    return int(std::min<long long>(measured + (long long)(rows - counted) * mean +
                                       (long long)(rows - 1) * gap_,
                                   QWIDGETSIZE_MAX));
}

QSize RowList::sizeHint() const {
    if (scrolls_) return QListView::sizeHint();
    const int wide = qMax(width(), 200);
    return {wide, heightForWidth(wide)};
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
