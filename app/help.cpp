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
    return QDir(programFolder_).filePath("help.html");
}

void Help::mnuHelpClick(QWidget* parent) {
    const QString path = HelpFilePath();
    // The desktop opens a missing file without complaint, so it is checked here.
    if (!QFileInfo(path).isFile() || !ui_.OpenUrl(QUrl::fromLocalFile(path)))
        ui_.Message(parent, QMessageBox::NoIcon, "Quillotone",
                    "Can not find help file, please re-install Quillotone!", QMessageBox::Ok);
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
