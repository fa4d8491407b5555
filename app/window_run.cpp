#include "app/window_run.h"

#include "app/conversion_list_model.h"
#include "app/import_error_dialog.h"
#include "app/main_window.h"
#include "app/user_interface.h"
#include "tagedit/format_tags.h"

#include <QAction>
#include <QFileInfo>
#include <QProgressBar>
#include <QTableView>
#include <QUrl>

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
    r.baseFolder = m.BaseFolder(row);
    return r;
}

void WindowRunHost::SetMark(int row, RowMark mark) {
    w_.ListModel().SetMark(row, mark);
}
void WindowRunHost::ScrollToRow(int row) {
    w_.gvConvert->scrollTo(w_.ListModel().index(row, 0));
}

RunSettings RunSettingsFrom(const WindowOptions& o) {
    RunSettings s;
    s.outFormat = OutFormatAt(o.OutFormat);
    s.targetFolder = o.TargetFolder;
    s.naming.rename = o.Rename;
    s.naming.prefix = o.Prefix;
    s.naming.property = o.Property;
    s.naming.prefixText = o.PrefixText;
    s.naming.startAt = o.StartAt;
    s.naming.padding = o.Padding;
    s.naming.pattern = o.PropertyText;
    s.naming.keepTree = o.KeepFolderStructure;
    s.promptExist = o.PromptExist;
    s.showSuccess = o.ShowSucc;
    s.openDestination = o.OpenDest;
    s.goOnAfterError = o.GoOnAfterError;
    return s;
}

RunSettings WindowRunHost::Settings() const {
    return RunSettingsFrom(w_.Options());
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
    // a run starts: what it runs with is stored, should the program not live to its end
    if (!on) w_.SaveSettings();
    w_.SetRunControlsEnabled(on);
}

bool WindowRunHost::AskYesNo(const QString& title, const QString& text) {
    return w_.Ui().Message(&w_, QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

OverwriteAnswer WindowRunHost::AskOverwrite(const QString& title, const QString& text) {
    switch (
        w_.Ui().Message(&w_, QMessageBox::Question, title, text,
                        QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::NoToAll)) {
    case QMessageBox::Yes:
        return OverwriteAnswer::Yes;
    case QMessageBox::YesToAll:
        return OverwriteAnswer::YesToAll;
    case QMessageBox::NoToAll:
        return OverwriteAnswer::NoToAll;
    default: // No, or the box closed
        return OverwriteAnswer::No;
    }
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

QString ReportReason(const RowResult& r) {
    switch (r.outcome) {
    case RowOutcome::Skipped:
        return "skipped: " + r.reason;
    case RowOutcome::Failed:
        return "failed: " + r.reason;
    case RowOutcome::Converted:
        if (r.reason.isEmpty()) return {};
        return "converted to " + QFileInfo(r.destination).fileName() + " (" + r.reason + ")";
    }
    return {};
}

void WindowRunHost::RowFinished(const RowResult& result) {
    if (!ReportReason(result).isEmpty()) noted_.push_back(result);
}

void WindowRunHost::ForgetReport() {
    noted_.clear();
}

void WindowRunHost::ShowReport() {
    const std::vector<RowResult> rows = std::move(noted_);
    noted_.clear();
    if (rows.empty()) return;
    TfrmImpErr report(&w_, "Conversion Report", "Some files were not converted as listed");
    report.resize(760, 320); // room for the reasons
    for (const RowResult& r : rows) {
        const QFileInfo source(r.source);
        report.AddEntry(source.fileName(), source.path(), ReportReason(r));
    }
    w_.Ui().Exec(report);
}

WindowRun::WindowRun(TfrmMain& w) : host(w), run(*w.Convert(), host, w.TimeState) {
    // a run the user stopped (or the closing window) ends without the report
    QObject::connect(&run, &TConversionRun::Finished, &run, [this] {
        if (run.State() == RunState::StopRequested)
            host.ForgetReport();
        else
            host.ShowReport();
    });
}

void AddRunPart(MainWindowParts& parts) {
    parts.createRun = [](TfrmMain& w) -> std::unique_ptr<IConversionRun> {
        if (!w.Convert()) return nullptr;
        auto part = std::make_unique<WindowRun>(w);
        TfrmMain* window = &w;
        part->run.SetTagConvertedFile([window](const QString& destination, int row, OutFormat format) {
            const tagedit::TagFields fields = tagedit::FieldsFromColumns(window->ListModel().TagColumns(row));
            tagedit::TagConvertedFile(destination.toStdString(), fields, static_cast<int>(format),
                                      window->Options().WriteFormat);
        });
        return part;
    };
}

} // namespace quillotone
