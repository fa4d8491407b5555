#include "app/user_interface.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>

namespace quillotone {

void ShowError(IUserInterface& ui, QWidget* parent, const QString& text) {
    ui.Message(parent, QMessageBox::Critical, "Quillotone", text, QMessageBox::Ok);
}

bool QtUserInterface::OpenUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

QMessageBox::StandardButton QtUserInterface::Message(QWidget* parent, QMessageBox::Icon icon,
                                                     const QString& title, const QString& text,
                                                     QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, title, text, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QStringList QtUserInterface::OpenFileNames(QWidget* parent, const QString& caption, const QString& folder,
                                           const QString& filters) {
    // The pattern lists are long (they match any case), so only the descriptions are shown.
    return QFileDialog::getOpenFileNames(parent, caption, folder, filters, nullptr,
                                         QFileDialog::HideNameFilterDetails);
}

QString QtUserInterface::ExistingFolder(QWidget* parent, const QString& caption, const QString& folder) {
    return QFileDialog::getExistingDirectory(parent, caption, folder, QFileDialog::ShowDirsOnly);
}

int QtUserInterface::Exec(QDialog& dialog) {
    return dialog.exec();
}

} // namespace quillotone
