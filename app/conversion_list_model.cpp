#include "app/conversion_list_model.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <numeric>

namespace quillotone {

namespace {

const char* const kHeaders[Column::Count] = {
    "",     "",      "Filename", "Artist",    "Title", "Track number", "Album",
    "Year", "Genre", "Comment",  "Copyright", "URL",   "Encoded by",   "Path"};
constexpr int kWidths[Column::Count] = {20, 20, 180, 80, 80, 70, 80, 77, 80, 80, 80, 80, 80, 240};

// The row marks: nothing, a green play triangle, a check mark, a red cross.
std::array<QPixmap, 4> drawMarks() {
    std::array<QPixmap, 4> images;
    for (QPixmap& p : images) {
        p = QPixmap(16, 16);
        p.fill(Qt::transparent);
    }
    {
        QPainter painter(&images[size_t(RowMark::BeingConverted)]);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath triangle;
        triangle.moveTo(4, 2);
        triangle.lineTo(13, 8);
        triangle.lineTo(4, 14);
        triangle.closeSubpath();
        painter.fillPath(triangle, QColor(0x2e, 0xa0, 0x3c));
    }
    {
        QPainter painter(&images[size_t(RowMark::Converted)]);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(0x1f, 0x7a, 0x2e), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(QPolygonF{QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)});
    }
    {
        QPainter painter(&images[size_t(RowMark::Failed)]);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(0xc6, 0x28, 0x28), 2.5, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(4, 4), QPointF(12, 12));
        painter.drawLine(QPointF(12, 4), QPointF(4, 12));
    }
    return images;
}

} // namespace

ConversionListModel::ConversionListModel(QObject* parent)
    : QAbstractTableModel(parent), markImages_(drawMarks()) {}

int ConversionListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int ConversionListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Column::Count;
}

QVariant ConversionListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Row& row = rows_[index.row()];
    const int column = index.column();
    if (column == Column::Mark) {
        if (role == Qt::DecorationRole) return markImages_[size_t(row.mark)];
        return {};
    }
    if (column == Column::Icon) {
        if (role == Qt::DecorationRole && row.icon >= 0 && row.icon < icons_.size()) return icons_[row.icon];
        return {};
    }
    if (role == Qt::DisplayRole || role == Qt::EditRole || role == Qt::ToolTipRole)
        return row.cells[column - Column::Filename];
    return {};
}

bool ConversionListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole || !IsEditable(index.column())) return false;
    SetCell(index.row(), index.column(), value.toString());
    return true;
}

Qt::ItemFlags ConversionListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (IsEditable(index.column())) f |= Qt::ItemIsEditable;
    return f;
}

QVariant ConversionListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= Column::Count) return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return QString::fromLatin1(kHeaders[section]);
    // A first click on a header sorts ascending, whatever the previous column's order was.
    if (role == Qt::InitialSortOrderRole) return int(Qt::AscendingOrder);
    return {};
}

int ConversionListModel::ColumnWidth(int column) {
    return kWidths[column];
}

void ConversionListModel::sort(int column, Qt::SortOrder order) {
    if (!IsSortable(column) || column >= Column::Count) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> order_(rows_.size());
    std::iota(order_.begin(), order_.end(), 0);
    const int cell = column - Column::Filename;
    auto less = [&](int a, int b) {
        const QString& x = rows_[a].cells[cell];
        const QString& y = rows_[b].cells[cell];
        int c = x.compare(y, Qt::CaseInsensitive);
        if (c == 0) c = x.compare(y, Qt::CaseSensitive);
        return order == Qt::AscendingOrder ? c < 0 : c > 0;
    };
    std::stable_sort(order_.begin(), order_.end(), less);

    std::vector<Row> sorted;
    sorted.reserve(rows_.size());
    std::vector<int> newRowOf(rows_.size());
    for (size_t i = 0; i < order_.size(); ++i) {
        sorted.push_back(std::move(rows_[order_[i]]));
        newRowOf[order_[i]] = int(i);
    }
    rows_ = std::move(sorted);

    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& i : before)
        after.push_back(index(newRowOf[i.row()], i.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int ConversionListModel::AppendRow(int iconIndex) {
    const int row = rowCount();
    beginInsertRows({}, row, row);
    rows_.push_back(Row{RowMark::NotConverted, iconIndex, {}, {}});
    endInsertRows();
    return row;
}

QString ConversionListModel::Cell(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < Column::Filename || column >= Column::Count) return {};
    return rows_[row].cells[column - Column::Filename];
}

void ConversionListModel::countPath(const QString& path, int change) {
    if (path.isEmpty()) return;
    int& rows = pathRows_[path];
    rows += change;
    if (rows <= 0) pathRows_.remove(path);
}

void ConversionListModel::SetCell(int row, int column, const QString& text) {
    if (row < 0 || row >= rowCount() || column < Column::Filename || column >= Column::Count) return;
    QString& cell = rows_[row].cells[column - Column::Filename];
    if (column == Column::Path) {
        countPath(cell, -1);
        countPath(text, +1);
    }
    cell = text;
    const QModelIndex i = index(row, column);
    emit dataChanged(i, i);
}

TagColumnTexts ConversionListModel::TagColumns(int row) const {
    TagColumnTexts columns;
    for (size_t i = 0; i < columns.size(); ++i)
        columns[i] = Cell(row, Column::Artist + int(i)).toStdString();
    return columns;
}

void ConversionListModel::SetTagColumns(int row, const TagColumnTexts& columns) {
    if (row < 0 || row >= rowCount()) return;
    for (size_t i = 0; i < columns.size(); ++i)
        rows_[row].cells[Column::Artist - Column::Filename + i] = QString::fromStdString(columns[i]);
    emit dataChanged(index(row, Column::Artist), index(row, Column::EncodedBy));
}

void ConversionListModel::SetMark(int row, RowMark mark) {
    if (row < 0 || row >= rowCount()) return;
    rows_[row].mark = mark;
    const QModelIndex i = index(row, Column::Mark);
    emit dataChanged(i, i, {Qt::DecorationRole});
}

int ConversionListModel::AppendIcon(const QIcon& icon) {
    icons_.push_back(icon);
    return int(icons_.size()) - 1;
}

void ConversionListModel::RemoveRows(std::vector<int> rows) {
    // From the last to the first, so that the indexes still to come stay valid.
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(std::remove_if(rows.begin(), rows.end(), [&](int r) { return r < 0 || r >= rowCount(); }),
               rows.end());
    // Neighbouring rows go in one step.
    for (size_t i = 0; i < rows.size();) {
        size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] - 1)
            ++j;
        const int first = rows[j], last = rows[i];
        beginRemoveRows({}, first, last);
        for (int r = first; r <= last; ++r)
            countPath(rows_[r].cells[Column::Path - Column::Filename], -1);
        rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
        endRemoveRows();
        i = j + 1;
    }
}

void ConversionListModel::Clear() {
    beginResetModel();
    rows_.clear();
    pathRows_.clear();
    endResetModel();
}

} // namespace quillotone
