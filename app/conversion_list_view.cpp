#include "app/conversion_list_view.h"

#include "app/conversion_list_model.h"
#include "app/genre_delegate.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>

namespace quillotone {

ConversionListView::ConversionListView(ConversionListModel& model, QWidget* parent)
    : QTableView(parent), model_(model) {
    setObjectName("gvConvert");
    setModel(&model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::SelectedClicked);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setWordWrap(false);
    setIconSize(QSize(16, 16));
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(20);
    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(20);
    // The widths are fixed, so the header's font shrinks (down to 7 points) until every caption fits;
    // a caption still too wide is cut and shows whole in its tip.
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setTextElideMode(Qt::ElideRight);
    QFont headerFont = header->font();
    const int margins = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin) + 4;
    auto fits = [&](const QFont& f) {
        const QFontMetrics metrics(f);
        for (int c = Column::Filename; c < Column::Count; ++c)
            if (metrics.horizontalAdvance(model_.headerData(c, Qt::Horizontal).toString()) + margins >
                ConversionListModel::ColumnWidth(c))
                return false;
        return true;
    };
    while (!fits(headerFont) && headerFont.pointSizeF() > 7.0)
        headerFont.setPointSizeF(headerFont.pointSizeF() - 0.5);
    header->setFont(headerFont);
    for (int c = 0; c < Column::Count; ++c)
        setColumnWidth(c, ConversionListModel::ColumnWidth(c));
    header->setSectionResizeMode(Column::Mark, QHeaderView::Fixed);
    header->setSectionResizeMode(Column::Icon, QHeaderView::Fixed);
    setItemDelegateForColumn(Column::Genre, new GenreDelegate(this));
    connect(header, &QHeaderView::sectionClicked, this, &ConversionListView::headerClicked);
}

bool ConversionListView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    // A double click opens the row instead of editing the cell. Its first click on a selected cell
    // has already asked for an edit once the double-click time is over; that one is dropped too.
    if (trigger == DoubleClicked) {
        if (index.isValid()) {
            sinceOpen_.start();
            emit OpenRequested();
        }
        return false;
    }
    if (trigger == AllEditTriggers && !event && sinceOpen_.isValid() &&
        sinceOpen_.elapsed() < 2 * qApp->doubleClickInterval())
        return false;
    return QTableView::edit(index, trigger, event);
}

void ConversionListView::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && state() != EditingState &&
        currentIndex().isValid()) {
        event->accept();
        emit OpenRequested();
        return;
    }
    QTableView::keyPressEvent(event);
}

void ConversionListView::headerClicked(int column) {
    // A click on a text column sorts it ascending, a further click on it reverses. The header
    // flips its own indicator on a click, so the order is kept here.
    if (ConversionListModel::IsSortable(column)) {
        sortOrder_ = column == sortColumn_ && sortOrder_ == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                               : Qt::AscendingOrder;
        sortColumn_ = column;
        model_.sort(column, sortOrder_);
    }
    horizontalHeader()->setSortIndicatorShown(sortColumn_ >= 0);
    horizontalHeader()->setSortIndicator(sortColumn_, sortOrder_);
}

} // namespace quillotone
