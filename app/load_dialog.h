// "Load File...": the modeless dialog shown while dropped files and folders are added.
#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include "app/busy_dialog.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace quillotone {

class TfrmLoad final : public BusyDialog {
    Q_OBJECT
public:
    explicit TfrmLoad(QWidget* parent);

    bool Cancelled = false; // set by "Cancel", which leaves the dialog open

    QLabel* lblFilename;
    QProgressBar* ProgressBar;
    QPushButton* btnCancel;

    // The path being processed, and one step of activity (1 to 99, then round again). The dialog
    // shows the latest of them at most every kPaintInterval ms, painting at once since the caller
    // keeps the event loop busy: painting it for each of thousands of files would cost more than the
    // files themselves. A timer shows the last change when no further one comes.
    void ShowPath(const QString& path);
    QString ShownPath() const { return path_; }
    void Advance();
    int Position() const { return position_; }

    static constexpr int kPaintInterval = 40;

signals:
    void CancelClicked();

private:
    void changed();
    void paint();

    QString path_;
    int position_ = 0;
    QElapsedTimer paintedAt_;
    QTimer paintLater_;
};

} // namespace quillotone
