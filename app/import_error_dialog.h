// "Error": the files that could not be added, with the reason for each. The end-of-run report is
// the same list under its own title.
#pragma once

#include <QDialog>

class QTreeWidget;

namespace quillotone {

class TfrmImpErr final : public QDialog {
    Q_OBJECT
public:
    explicit TfrmImpErr(QWidget* parent, const QString& title = "Error",
                        const QString& heading = "Open Audio File Error");

    void AddEntry(const QString& fileName, const QString& path, const QString& reason);
    int EntryCount() const;
    // Column 0 "Filename", 1 "Path", 2 "Reason".
    QString EntryText(int entry, int column) const;

private:
    QTreeWidget* errList_;
};

} // namespace quillotone
