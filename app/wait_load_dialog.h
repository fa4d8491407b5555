// "Load File": the modeless progress dialog shown while files are added.
#pragma once

#include "app/busy_dialog.h"

class QProgressBar;

namespace quillotone {

class TfrmwaitLoad final : public BusyDialog {
    Q_OBJECT
public:
    explicit TfrmwaitLoad(QWidget* parent);

    // 0 to 100; repaints at once, since the caller keeps the event loop busy.
    void SetPosition(int percent);
    int Position() const;

private:
    QProgressBar* bar_;
};

} // namespace quillotone
