#include "app/store/DialogPrompts.h"

#include "app/store/AppLanguage.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorilanth {

std::optional<QString> DialogPrompts::openReportPath() {
    const QString path = QFileDialog::getOpenFileName(QApplication::activeWindow(), QString(),
                                                      QString(), QStringLiteral("JSON (*.json)"));
    if (path.isEmpty()) return std::nullopt;
    return path;
}

std::optional<QString> DialogPrompts::savePath(const QString& suggestedName) {
    const QString path =
        QFileDialog::getSaveFileName(QApplication::activeWindow(), QString(), suggestedName);
    if (path.isEmpty()) return std::nullopt;
    return path;
}

std::optional<QString> DialogPrompts::collectionName(const QString& current) {
    QDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(QStringLiteral("Quorilanth"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* message = new QLabel(AppLanguage::pick(QStringLiteral("Nome della raccolta"),
                                                 QStringLiteral("Collection name")));
    message->setTextFormat(Qt::PlainText);
    auto* informative = new QLabel(
        AppLanguage::pick(QStringLiteral("Lascia vuoto per rimuovere la scansione dalla raccolta."),
                          QStringLiteral("Leave empty to remove the scan from its collection.")));
    informative->setTextFormat(Qt::PlainText);
    informative->setWordWrap(true);
    auto* field = new QLineEdit(current);
    field->setFixedSize(260, 24);
    auto* buttons = new QDialogButtonBox;
    buttons
        ->addButton(AppLanguage::pick(QStringLiteral("Salva"), QStringLiteral("Save")),
                    QDialogButtonBox::AcceptRole)
        ->setDefault(true);
    buttons->addButton(AppLanguage::pick(QStringLiteral("Annulla"), QStringLiteral("Cancel")),
                       QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(message);
    layout->addWidget(informative);
    layout->addWidget(field);
    layout->addWidget(buttons);
    field->setFocus();
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return field->text();
}

} // namespace quorilanth
