#include "app/busy_dialog.h"

#include <QCloseEvent>

namespace quillotone {

BusyDialog::BusyDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setModal(false);
}

void BusyDialog::Finish() {
    closing_ = true;
    close();
}

void BusyDialog::closeEvent(QCloseEvent* event) {
    if (closing_)
        event->accept();
    else
        event->ignore();
}

} // namespace quillotone
