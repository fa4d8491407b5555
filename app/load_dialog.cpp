#include "app/load_dialog.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillotone {

TfrmLoad::TfrmLoad(QWidget* parent)
    : BusyDialog(parent), lblFilename(new QLabel(this)), ProgressBar(new QProgressBar(this)),
      btnCancel(new QPushButton("Cancel", this)) {
    setObjectName("TfrmLoad");
    setWindowTitle("Load File...");
    auto* caption = new QLabel("Process file:", this);
    lblFilename->setObjectName("lblFilename");
    lblFilename->setWordWrap(true);
    lblFilename->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Room for three lines; a longer path is cut rather than growing the dialog.
    lblFilename->setFixedHeight(QFontMetrics(lblFilename->font()).lineSpacing() * 3);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setDefault(true);
    btnCancel->setAutoDefault(true);
    connect(btnCancel, &QPushButton::clicked, this, [this] {
        Cancelled = true;
        emit CancelClicked();
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(lblFilename);
    layout->addWidget(ProgressBar);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnCancel);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    setFixedWidth(380);
    setFixedHeight(sizeHint().height());
    paintLater_.setSingleShot(true);
    connect(&paintLater_, &QTimer::timeout, this, &TfrmLoad::paint);
    if (parent) {
        QRect frame(QPoint(), size());
        frame.moveCenter(parent->window()->geometry().center());
        move(frame.topLeft());
    }
}

void TfrmLoad::ShowPath(const QString& path) {
    path_ = path;
    changed();
}

void TfrmLoad::Advance() {
    const int next = position_ + 1;
    position_ = next >= 100 ? 1 : next;
    changed();
}

void TfrmLoad::changed() {
    if (!paintedAt_.isValid() || paintedAt_.elapsed() >= kPaintInterval)
        paint();
    else if (!paintLater_.isActive())
        paintLater_.start(int(kPaintInterval - paintedAt_.elapsed()));
}

void TfrmLoad::paint() {
    paintLater_.stop();
    paintedAt_.restart();
    // Break anywhere: a path has few spaces, and the label wraps only at them.
    QString breakable;
    breakable.reserve(path_.size() * 2);
    for (QChar c : path_) {
        breakable += c;
        breakable += QChar(0x200B);
    }
    lblFilename->setText(breakable);
    ProgressBar->setValue(position_);
    repaint();
}

} // namespace quillotone
