#include "app/help.h"

#include "app/about_dialog.h"
#include "app/user_interface.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace quillotone {

Help::Help(IUserInterface& ui, QString programFolder, ProductLinks links)
    : ui_(ui), programFolder_(std::move(programFolder)), links_(std::move(links)) {}

QString Help::HelpFilePath() const {
    // Beside the executable in the build tree; share/quillotone/ beside bin/ once installed.
    const QDir folder(programFolder_);
    const QString beside = folder.filePath("help.html");
    const QString installed = QDir::cleanPath(folder.filePath("../share/quillotone/help.html"));
    return !QFileInfo(beside).isFile() && QFileInfo(installed).isFile() ? installed : beside;
}

void Help::mnuHelpClick(QWidget* parent) {
    const QString path = HelpFilePath();
    // The desktop opens a missing file without complaint, so it is checked here.
    if (!QFileInfo(path).isFile())
        ui_.Message(parent, QMessageBox::NoIcon, "Quillotone",
                    "Can not find help file, please re-install Quillotone!", QMessageBox::Ok);
    else if (!ui_.OpenUrl(QUrl::fromLocalFile(path)))
        ui_.Message(parent, QMessageBox::Warning, "Quillotone",
                    "The help page " + QDir::toNativeSeparators(path) +
                        " could not be opened: no web browser could be started.",
                    QMessageBox::Ok);
}

void Help::OpenHomepage() {
    if (!links_.homepage.isEmpty()) ui_.OpenUrl(QUrl(links_.homepage));
}

void Help::OpenMail() {
    if (!links_.email.isEmpty()) ui_.OpenUrl(QUrl("mailto:" + links_.email));
}

void Help::mnuAboutClick(QWidget* parent) {
    TfrmAbout about(parent, *this);
    ui_.Exec(about);
}

} // namespace quillotone
