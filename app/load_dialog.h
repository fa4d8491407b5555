// "Load File...": the modeless dialog shown while dropped files and folders are added.
#pragma once

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

    // Shows `path` and repaints at once, since the caller keeps the event loop busy.
    void ShowPath(const QString& path);
    QString ShownPath() const { return path_; }
    // One step of activity: 1 to 99, then round again.
    void Advance();

signals:
    void CancelClicked();

private:
    QString path_;
};

} // namespace quillotone
