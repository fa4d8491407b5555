// The conversion list's grid: whole rows selected, column widths with captions that fit, the genre
// drop-down, and sorting by a click on a text column's header. Enter or a double click on a row asks
// for the row to be opened; a tag cell is edited in place with F2 or a click on a selected cell.
#pragma once

#include <QElapsedTimer>
#include <QTableView>

namespace quillotone {

class ConversionListModel;

class ConversionListView final : public QTableView {
    Q_OBJECT
public:
    ConversionListView(ConversionListModel& model, QWidget* parent);

signals:
    void OpenRequested();

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void headerClicked(int column);

    ConversionListModel& model_;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    QElapsedTimer sinceOpen_; // since a double click opened a row
};

} // namespace quillotone
