#include "app/window_tag_editor.h"

#include "app/main_window.h"
#include "app/user_interface.h"

#include <QItemSelectionModel>
#include <QTableView>

namespace quillotone {

int WindowTagEditorHost::RowCount() const {
    return w_.ListModel().rowCount();
}
QString WindowTagEditorHost::Cell(int row, int column) const {
    return w_.ListModel().Cell(row, column);
}
void WindowTagEditorHost::SetCell(int row, int column, const QString& text) {
    w_.ListModel().SetCell(row, column, text);
}

TagColumnTexts WindowTagEditorHost::TagColumns(int row) const {
    return w_.ListModel().TagColumns(row);
}

void WindowTagEditorHost::SetTagColumns(int row, const TagColumnTexts& columns) {
    w_.ListModel().SetTagColumns(row, columns);
}

void WindowTagEditorHost::SelectRow(int row) {
    const QModelIndex index = w_.ListModel().index(row, 0);
    w_.gvConvert->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                               QItemSelectionModel::Rows);
    w_.gvConvert->scrollTo(index);
}

int WindowTagEditorHost::ReadPriority() const {
    return w_.Options().ReadPriority;
}
int WindowTagEditorHost::WriteFormat() const {
    return w_.Options().WriteFormat;
}
IAudioInformation2* WindowTagEditorHost::Information() {
    return w_.Information();
}
IUserInterface& WindowTagEditorHost::Ui() {
    return w_.Ui();
}
void WindowTagEditorHost::ShowGeneralError(const QString& text) {
    ShowError(w_.Ui(), &w_, text);
}

WindowTagEditor::WindowTagEditor(TfrmMain& w) : host(w), dialog(host, &w) {}

void AddTagEditorPart(MainWindowParts& parts) {
    parts.createTagEditor = [](TfrmMain& w) { return std::make_unique<WindowTagEditor>(w); };
}

} // namespace quillotone
