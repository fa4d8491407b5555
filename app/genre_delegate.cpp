#include "app/genre_delegate.h"

#include "app/genre_names.h"

#include <QComboBox>

namespace quillotone {

QWidget* GenreDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const {
    auto* combo = new QComboBox(parent);
    combo->setObjectName("GenreEditor");
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    for (const char* name : ListGenreNames())
        combo->addItem(QString::fromLatin1(name));
    return combo;
}

void GenreDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    auto* combo = static_cast<QComboBox*>(editor);
    const QString text = index.data(Qt::EditRole).toString();
    const int found = combo->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    combo->setCurrentIndex(found);
    combo->setEditText(text);
}

void GenreDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const {
    model->setData(index, static_cast<QComboBox*>(editor)->currentText(), Qt::EditRole);
}

} // namespace quillotone
