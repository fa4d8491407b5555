#include "app/application.h"

#include <QMessageBox>
#include <exception>

namespace quillotone {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Quillotone");
    setOrganizationName("Quillotone");
    // No display name: Qt would append it to every caption the window manager shows ("About —
    // Quillotone"), and the captions are the program's own texts.
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    QString text;
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        text = QString::fromUtf8(e.what());
    } catch (...) {
        text = "Unexpected error";
    }
    QMessageBox::critical(activeWindow(), applicationDisplayName(), text);
    return false;
}

} // namespace quillotone
