#include "app/import_error_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quillotone {

TfrmImpErr::TfrmImpErr(QWidget* parent, const QString& title, const QString& heading)
    : QDialog(parent), errList_(new QTreeWidget(this)) {
    setObjectName("TfrmImpErr");
    setWindowTitle(title);

    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    auto* headingLabel = new QLabel(heading, this);
    QFont bold = headingLabel->font();
    bold.setBold(true);
    headingLabel->setFont(bold);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(headingLabel, 1);

    errList_->setObjectName("errList");
    errList_->setColumnCount(3);
    errList_->setHeaderLabels({"Filename", "Path", "Reason"});
    errList_->setRootIsDecorated(false);
    errList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    errList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    errList_->setColumnWidth(0, 120);
    errList_->setColumnWidth(1, 200);
    errList_->setColumnWidth(2, 123);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(errList_, 1);
    layout->addWidget(buttons);
    resize(480, 300);
}

void TfrmImpErr::AddEntry(const QString& fileName, const QString& path, const QString& reason) {
    new QTreeWidgetItem(errList_, {fileName, path, reason});
}

int TfrmImpErr::EntryCount() const {
    return errList_->topLevelItemCount();
}

QString TfrmImpErr::EntryText(int entry, int column) const {
    const QTreeWidgetItem* item = errList_->topLevelItem(entry);
    return item ? item->text(column) : QString();
}

} // namespace quillotone
