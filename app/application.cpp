#include "app/application.h"

#include <QMessageBox>
#include <exception>

namespace quillotone {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

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
