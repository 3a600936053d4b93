#pragma once

#include "core/model/FindingStatus.h"

#include <QWidget>

class QPainter;

namespace quorilanth {

// A coloured dot and the status word on a faint tint of the same colour.
class StatusBadge : public QWidget {
    Q_OBJECT
public:
    explicit StatusBadge(FindingStatus status, QWidget* parent = nullptr);
    FindingStatus status() const { return status_; }
    void setStatus(FindingStatus status);
    QString word() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    // The same badge drawn without a widget, for rows that a list paints.
    static QSize sizeFor(FindingStatus status);
    static void paint(QPainter& painter, const QRect& box, FindingStatus status);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    FindingStatus status_;
};

} // namespace quorilanth
