// The conversion list's grid: whole rows selected, fixed column widths with captions that fit, the
// genre drop-down, and sorting by a click on a text column's header.
#pragma once

#include <QTableView>

namespace quillotone {

class ConversionListModel;

class ConversionListView final : public QTableView {
    Q_OBJECT
public:
    ConversionListView(ConversionListModel& model, QWidget* parent);

private:
    void headerClicked(int column);

    ConversionListModel& model_;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

} // namespace quillotone
