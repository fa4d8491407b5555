// The application object: an error that escapes an event handler is shown, and the program goes on.
#pragma once

#include <QApplication>

namespace quillotone {

class TApplication final : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace quillotone
