#include "app/window_run.h"

#include "app/conversion_list_model.h"
#include "app/tfrm_main.h"
#include "app/user_interface.h"
#include "tagedit/carry.h"
#include "tagedit/format_tags.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QToolButton>
#include <QUrl>

#include <array>

namespace quillotone {

int WindowRunHost::RowCount() const {
    return w_.ListModel().rowCount();
}

NamingRow WindowRunHost::RowCells(int row) const {
    const ConversionListModel& m = w_.ListModel();
    NamingRow r;
    r.source = m.Path(row);
    r.track = m.Cell(row, Column::TrackNumber);
    r.artist = m.Cell(row, Column::Artist);
    r.title = m.Cell(row, Column::Title);
    r.album = m.Cell(row, Column::Album);
    r.year = m.Cell(row, Column::Year);
    r.genre = m.Cell(row, Column::Genre);
    return r;
}

void WindowRunHost::SetMark(int row, int mark) {
    w_.ListModel().SetMark(row, mark);
}
void WindowRunHost::ScrollToRow(int row) {
    w_.gvConvert->scrollTo(w_.ListModel().index(row, 0));
}

RunSettings WindowRunHost::Settings() const {
    RunSettings s;
    s.outFormat = w_.cmboutFormat->currentIndex();
    s.targetFolder = w_.edtoutFolder->text();
    s.naming.rename = w_.chkRename->isChecked();
    s.naming.prefix = w_.rdprefix->isChecked();
    s.naming.property = w_.rdProperty->isChecked();
    s.naming.prefixText = w_.edtPrefix->text();
    s.naming.startAt = w_.edtStartat->value();
    s.naming.padding = w_.edtPadding->value();
    s.naming.pattern = w_.cmbRename->currentText();
    s.promptExist = w_.chkPromptExist->isChecked();
    s.showSuccess = w_.chkShowSucc->isChecked();
    s.openDestination = w_.chkOpenDst->isChecked();
    return s;
}

void WindowRunHost::ApplyEncoderSettings() {
    w_.ReadInspector();
    w_.cmboutFormatChange();
}

void WindowRunHost::SetCaption(const QString& caption) {
    w_.ActConvert->setText(caption);
}
void WindowRunHost::SetProgressVisible(bool visible) {
    w_.ProgressBar->setVisible(visible);
}
void WindowRunHost::SetProgressValue(int percent) {
    w_.ProgressBar->setValue(percent);
}

void WindowRunHost::SetRunControlsEnabled(bool on) {
    const QList<QWidget*> controls = {w_.edtoutFolder,   w_.cmboutFormat, w_.gbFileaname, w_.chkPromptExist,
                                      w_.chkShowSucc,    w_.chkOpenDst,   w_.Inspector,   w_.gvConvert,
                                      w_.btnEdittag,     w_.cmbQuality,   w_.btnDelete,   w_.cmbReadpriority,
                                      w_.cmbWriteFormat, w_.chkCopyTags};
    for (QWidget* c : controls)
        c->setEnabled(on);
    w_.ActaddFiles->setEnabled(on);
}

bool WindowRunHost::AskYesNo(const QString& title, const QString& text) {
    return w_.Ui().Message(&w_, QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

void WindowRunHost::ShowErrorBox(const QString& title, const QString& text) {
    w_.Ui().Message(&w_, QMessageBox::Critical, title, text, QMessageBox::Ok);
}

void WindowRunHost::ShowPlainMessage(const QString& text) {
    w_.Ui().Message(&w_, QMessageBox::NoIcon, "Quillotone", text, QMessageBox::Ok);
}

void WindowRunHost::ExploreFolder(const QString& folder) {
    w_.Ui().OpenUrl(QUrl::fromLocalFile(folder));
}

void WindowRunHost::ShowGeneralError(const QString& text) {
    ShowError(w_.Ui(), &w_, text);
}

WindowRun::WindowRun(TfrmMain& w) : host(w), run(*w.Convert(), host, w.TimeState) {}

void AddRunPart(MainWindowParts& parts) {
    parts.createRun = [](TfrmMain& w) -> std::unique_ptr<IConversionRun> {
        if (!w.Convert()) return nullptr;
        auto part = std::make_unique<WindowRun>(w);
        TfrmMain* window = &w;
        part->run.SetTagConvertedFile([window](const QString& destination, int row, int outFormat) {
            const ConversionListModel& m = window->ListModel();
            std::array<tagedit::TagText, tagedit::kFieldCount> columns;
            for (int i = 0; i < tagedit::kFieldCount; ++i)
                columns[size_t(i)] = m.Cell(row, Column::Artist + i).toStdString();
            const tagedit::TaggingResult tagged = tagedit::TagConvertedRow(
                m.Path(row).toStdString(), destination.toStdString(), tagedit::FieldsFromColumns(columns),
                outFormat, window->cmbWriteFormat->currentIndex(), window->cmbReadpriority->currentIndex(),
                window->chkCopyTags->isChecked());
            QStringList notCarried;
            for (const std::string& lost : tagged.notCarried)
                notCarried << QString::fromStdString(lost);
            return notCarried;
        });
        return part;
    };
}

} // namespace quillotone
