#pragma once

#include "ai/AIProvider.h"

#include <QDialog>
#include <QPointer>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPushButton;
class QToolButton;

namespace quorilanth {

class CoalescedRender;
class WorkspaceStore;
class SpacedText;

// The settings sheet: the AI provider, its model and keys, the update check,
// live schema and Developer Mode. Built afresh at each opening, so typed keys
// and the feedback line never outlive it; keys are only ever written.
class SettingsView : public QDialog {
    Q_OBJECT
public:
    // checkForUpdates: what the update button asks for once the sheet has
    // closed; the store's update controller by default.
    explicit SettingsView(WorkspaceStore& store, QWidget* parent = nullptr,
                          std::function<void()> checkForUpdates = {});

    static constexpr int updateCheckDelayMs = 300;

    QString feedback() const { return feedback_; }

    // Escape, the window's close button: the sheet closes through the store.
    void reject() override;

private:
    void render();
    // Puts the two toggles back to the store's values.
    void showStore();
    void chooseProvider(int index);
    void saveKey(QLineEdit* field, std::string_view account, const QString& saved,
                 const QString& removed, bool removing);
    void developerToggled(bool checked);
    void checkUpdates();
    void fitHeight();

    WorkspaceStore& store_;
    std::function<void()> checkForUpdates_;
    CoalescedRender* renderer_;
    QString feedback_;
    QLabel* language_;
    QComboBox* provider_;
    QLabel* availability_;
    QWidget* modelAndKey_;
    QLineEdit* model_;
    QLineEdit* key_;
    QPushButton* saveKey_;
    SpacedText* glmNote_;
    QToolButton* glmLink_;
    QLabel* feedbackLine_;
    QWidget* webSearch_;
    QLineEdit* searchKey_;
    QPushButton* saveSearchKey_;
    QLabel* updateTitle_;
    QLabel* version_;
    QPushButton* checkUpdates_;
    QCheckBox* liveSchema_;
    QCheckBox* developerMode_;
    QPointer<QMessageBox> confirmDeveloper_;
};

} // namespace quorilanth
