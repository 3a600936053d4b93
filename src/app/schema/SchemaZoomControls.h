#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QToolButton;

namespace quorilanth {

class WorkspaceStore;

// The magnification as the controls show it, truncated to a whole percent.
QString zoomPercentText(double zoom);

// Zoom out, the percentage, zoom in and fit, at the end of the schema
// screen's header. They change only the store; the canvas follows it.
class SchemaZoomControls : public QWidget {
    Q_OBJECT
public:
    explicit SchemaZoomControls(WorkspaceStore& store, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void render();

    WorkspaceStore& store_;
    QToolButton* zoomOut_;
    QLabel* percent_;
    QToolButton* zoomIn_;
    QToolButton* fit_;
};

} // namespace quorilanth
