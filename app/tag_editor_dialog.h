// The tag editor: a modal dialog over the conversion list's rows, one row at a time. The Summary page
// shows the row's stream properties, the Info page edits its file name and ten tag fields; a changed
// row is saved before stepping to another and on OK.
#pragma once

#include "app/conversion_list_model.h"
#include "tagedit/format_tags.h"

#include <QDialog>
#include <QString>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QWidget;

namespace quillotone {

class IAudioInformation2;
class IUserInterface;

// What the dialog needs from the window that owns the list.
class ITagEditorHost {
public:
    virtual ~ITagEditorHost() = default;
    virtual int RowCount() const = 0;
    virtual QString Cell(int row, int column) const = 0; // the list's columns
    virtual void SetCell(int row, int column, const QString& text) = 0;
    virtual TagColumnTexts TagColumns(int row) const = 0;
    virtual void SetTagColumns(int row, const TagColumnTexts& columns) = 0;
    virtual void SelectRow(int row) = 0;
    virtual int ReadPriority() const = 0;
    virtual int WriteFormat() const = 0;
    virtual IAudioInformation2* Information() = 0; // null when the component is missing
    virtual IUserInterface& Ui() = 0;
    // The program's display of an error raised by the tag layer.
    virtual void ShowGeneralError(const QString& text) = 0;
};

class Tfrmtaginfo final : public QDialog {
    Q_OBJECT
public:
    explicit Tfrmtaginfo(ITagEditorHost& host, QWidget* parent = nullptr);

    int CurrentRow() const { return currentRow_; }
    void SetCurrentRow(int row);
    bool Changed() const { return changed_; }

    // Handlers, public so that the tests can drive them as the buttons do.
    void actPreviousExecute();
    void actNextExecute();
    void accept() override; // OK

    QTabWidget* PageControl;
    QWidget* tsSummary;
    QWidget* tsInfo;
    QLabel* lblPath;
    QLabel* lblkind;
    QLabel* lblsize;
    QLabel* lblbitrate;
    QLabel* lblsamplerate;
    QLabel* lbldatemodified;
    QLabel* lbllastaccess;
    QLabel* lblformat;
    QLabel* lblchannels;
    QLabel* lblencoded;
    QLabel* lblduration;
    QLineEdit* edtFilename;
    QLineEdit* edtTitle;
    QLineEdit* edtArtist;
    QLineEdit* edtAlbum;
    QLineEdit* edtYear;
    QSpinBox* edtNumber;
    QComboBox* edtGenre;
    QLineEdit* edtCopyright;
    QLineEdit* edtURL;
    QLineEdit* edtEncoded;
    QPlainTextEdit* edtComment;
    QAction* actPrevious;
    QAction* actNext;
    QPushButton* btnPrevious;
    QPushButton* btnNext;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    // The path the Where label holds, without the break opportunities added for wrapping.
    QString ShownPath() const;

protected:
    void showEvent(QShowEvent* event) override; // loads the current row

private:
    QWidget* buildSummaryPage();
    QWidget* buildInfoPage();
    QList<QWidget*> tagFieldControls() const;
    void setChanged();
    void setEdited(tagedit::Field field);
    void updateStepActions();
    void showSummary(const QString& path);
    void LoadRow();
    enum class SaveResult { Done, Raised };
    SaveResult SaveRow();
    bool FilenameOk();
    void step(int delta);
    tagedit::TagFields fieldsFromControls() const;
    void showFields(const tagedit::TagFields& fields);

    ITagEditorHost& host_;
    int currentRow_ = 0;
    bool changed_ = false;
    // The tag fields the user edited since the row was loaded: a save writes exactly these (a name
    // change alone writes no tag, and after a load that failed the empty fields are not written).
    tagedit::FieldSet edited_;
    // The load read the file's tags (or found none); false after a load that stopped with an error.
    bool tagsShown_ = false;
    bool loading_ = false;
};

} // namespace quillotone
