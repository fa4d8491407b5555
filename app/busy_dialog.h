// A modeless dialog shown while the program works: no close box, Escape does nothing, and only the
// code that opened it closes it (Finish).
#pragma once

#include <QDialog>

namespace quillotone {

class BusyDialog : public QDialog {
    Q_OBJECT
public:
    explicit BusyDialog(QWidget* parent);

    // Closes it for good.
    void Finish();

protected:
    void reject() override {}
    void closeEvent(QCloseEvent* event) override;

private:
    bool closing_ = false;
};

} // namespace quillotone
