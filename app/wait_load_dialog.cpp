#include "app/wait_load_dialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace quillotone {

TfrmwaitLoad::TfrmwaitLoad(QWidget* parent) : BusyDialog(parent), bar_(new QProgressBar(this)) {
    setObjectName("TfrmwaitLoad");
    setWindowTitle("Load File");
    auto* label = new QLabel("Please wait...", this);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    bar_->setObjectName("ProgressBar");
    bar_->setRange(0, 100);
    bar_->setValue(0);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(bar_);
    setFixedSize(320, 90);
}

void TfrmwaitLoad::SetPosition(int percent) {
    // The bar moves a hundred times at most, however many files there are: unchanged, nothing to paint.
    if (percent == bar_->value()) return;
    bar_->setValue(percent);
    repaint();
}

int TfrmwaitLoad::Position() const {
    return bar_->value();
}

} // namespace quillotone
