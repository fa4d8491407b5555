// "Load File...": the modeless dialog shown while dropped files and folders are added.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace quillotone {

class TfrmLoad final : public QDialog {
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
    // Closes it for good.
    void Finish();

signals:
    void CancelClicked();

protected:
    void reject() override {} // no close box and no Escape
    void closeEvent(QCloseEvent* event) override;

private:
    bool closing_ = false;
    QString path_;
};

} // namespace quillotone
