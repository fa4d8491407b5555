// The tag editor inside the main window: the dialog's host over TfrmMain's list and controls, and
// the window part that owns both.
#pragma once

#include "app/tag_editor_dialog.h"
#include "app/window_parts.h"

namespace quillotone {

class TfrmMain;
struct MainWindowParts;

class WindowTagEditorHost final : public ITagEditorHost {
public:
    explicit WindowTagEditorHost(TfrmMain& w) : w_(w) {}
    int RowCount() const override;
    QString Cell(int row, int column) const override;
    void SetCell(int row, int column, const QString& text) override;
    TagColumnTexts TagColumns(int row) const override;
    void SetTagColumns(int row, const TagColumnTexts& columns) override;
    void SelectRow(int row) override;
    int ReadPriority() const override;
    int WriteFormat() const override;
    IAudioInformation2* Information() override;
    IUserInterface& Ui() override;
    void ShowGeneralError(const QString& text) override;

private:
    TfrmMain& w_;
};

class WindowTagEditor final : public ITagEditor {
public:
    explicit WindowTagEditor(TfrmMain& w);
    QDialog& Dialog() override { return dialog; }
    void SetCurrentRow(int row) override { dialog.SetCurrentRow(row); }
    WindowTagEditorHost host;
    Tfrmtaginfo dialog;
};

// Sets parts.createTagEditor.
void AddTagEditorPart(MainWindowParts& parts);

} // namespace quillotone
