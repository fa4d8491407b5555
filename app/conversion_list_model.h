// The rows of the conversion list: one per source file, 14 columns (mark, icon, file name, the
// ten tag fields, path). The texts in a row are what a run converts and tags from.
#pragma once

#include "conversion/conversion_run.h"
#include "tagedit/format_tags.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QPixmap>
#include <array>
#include <vector>

namespace quillotone {

namespace Column {
constexpr int Mark = 0;
constexpr int Icon = 1;
constexpr int Filename = 2;
constexpr int Artist = 3;
constexpr int Title = 4;
constexpr int TrackNumber = 5;
constexpr int Album = 6;
constexpr int Year = 7;
constexpr int Genre = 8;
constexpr int Comment = 9;
constexpr int Copyright = 10;
constexpr int Url = 11;
constexpr int EncodedBy = 12;
constexpr int Path = 13; // always the last column
constexpr int Count = 14;
} // namespace Column

// The ten tag columns of a row, Artist to Encoded by, as tagedit takes them: UTF-8, the track as text.
using TagColumnTexts = std::array<tagedit::TagText, tagedit::kFieldCount>;
static_assert(Column::EncodedBy - Column::Artist + 1 == tagedit::kFieldCount);

class ConversionListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ConversionListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Text columns only; the other columns keep the order. Selections follow their rows.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    static bool IsSortable(int column) { return column >= Column::Filename; }
    static bool IsEditable(int column) { return column >= Column::Artist && column <= Column::EncodedBy; }
    static int ColumnWidth(int column);

    // Appends an empty row with the icon index and returns its index.
    int AppendRow(int iconIndex);
    QString Cell(int row, int column) const; // columns 2 to 13
    void SetCell(int row, int column, const QString& text);
    TagColumnTexts TagColumns(int row) const;
    void SetTagColumns(int row, const TagColumnTexts& columns);
    RowMark Mark(int row) const { return rows_[row].mark; }
    void SetMark(int row, RowMark mark);
    int IconIndex(int row) const { return rows_[row].icon; }
    QString Path(int row) const { return Cell(row, Column::Path); }
    // The folder the row was added from (a dropped or given folder); empty for a file on its own.
    QString BaseFolder(int row) const { return rows_[row].baseFolder; }
    void SetBaseFolder(int row, const QString& folder) { rows_[row].baseFolder = folder; }
    // Whether some row's Path column holds exactly `path`, without visiting the rows.
    bool HasPath(const QString& path) const { return pathRows_.contains(path); }

    // The file icons only grow, so the indexes kept by the rows stay valid after deleting.
    int AppendIcon(const QIcon& icon);
    int IconCount() const { return int(icons_.size()); }

    // `rows` in any order, without duplicates.
    void RemoveRows(std::vector<int> rows);
    void Clear();

private:
    struct Row {
        RowMark mark = RowMark::NotConverted;
        int icon = -1;
        std::array<QString, Column::Count - Column::Filename> cells; // columns 2 to 13
        QString baseFolder;
    };
    void countPath(const QString& path, int change);

    std::vector<Row> rows_;
    QHash<QString, int> pathRows_; // how many rows hold each non-empty path
    QList<QIcon> icons_;
    std::array<QPixmap, 4> markImages_;
};

} // namespace quillotone
