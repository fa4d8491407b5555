// "Load File": the modeless progress dialog shown while files are added.
#pragma once

#include <QDialog>

class QProgressBar;

namespace quillotone {

class TfrmwaitLoad final : public QDialog {
    Q_OBJECT
public:
    explicit TfrmwaitLoad(QWidget* parent);

    // 0 to 100; repaints at once, since the caller keeps the event loop busy.
    void SetPosition(int percent);
    int Position() const;
    // Closes it for good.
    void Finish();

protected:
    void reject() override {} // no close box and no Escape: it closes when the work is done
    void closeEvent(QCloseEvent* event) override;

private:
    QProgressBar* bar_;
    bool closing_ = false;
};

} // namespace quillotone
