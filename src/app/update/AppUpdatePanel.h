#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTextEdit;

namespace quorilanth {

class AppUpdateController;
class BusyIndicator;
class CoalescedRender;

// The update sheet: the running version, the channel's status, the offered
// release with its notes, the download and its progress, the verified disk
// image, the automatic-checks preference and the last check. It keeps no
// state: it re-renders from the controller and acts only through it.
class AppUpdatePanel : public QDialog {
    Q_OBJECT
public:
    explicit AppUpdatePanel(AppUpdateController& updater, QWidget* parent = nullptr);
    void render();

    // Shows the panel over host, window-modal, whenever the controller's
    // showPanel turns true, closes it when it turns false, and writes false
    // back however the panel was closed.
    static void present(AppUpdateController& updater, QWidget* host);

protected:
    void changeEvent(QEvent* event) override;

private:
    class Text;

    AppUpdateController& updater_;
    CoalescedRender* renderer_;
    QLabel* title_;
    QPushButton* close_;
    QLabel* installed_;
    BusyIndicator* spinner_;
    Text* status_;
    QWidget* release_;
    QTextEdit* notes_;
    QLabel* manifest_;
    QWidget* downloading_;
    QProgressBar* bar_;
    QLabel* percentage_;
    QPushButton* cancel_;
    QWidget* downloaded_;
    Text* downloadedNote_;
    QPushButton* open_;
    QPushButton* download_;
    QCheckBox* automatic_;
    QLabel* lastCheck_;
    QPushButton* checkNow_;
};

} // namespace quorilanth
