#include "app/window_run.h"

#include "app/conversion_list_model.h"
#include "app/import_error_dialog.h"
#include "app/main_window.h"
#include "app/user_interface.h"
#include "tagedit/carry.h"
#include "tagedit/format_tags.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QProgressBar>
#include <QTableView>
#include <QUrl>

#include <algorithm>

namespace quillotone {

int WindowRunHost::RowCount() const {
    return w_.ListModel().rowCount();
}

NamingRow WindowRunHost::RowCells(int row) const {
    return NamingRowOf(w_.ListModel(), row);
}

NamingRow NamingRowOf(const ConversionListModel& m, int row) {
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
    s.filesAtOnce = std::max(0, o.FilesAtOnce);
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
    if (!w_.Ui().OpenUrl(QUrl::fromLocalFile(folder)))
        w_.Ui().Message(&w_, QMessageBox::Warning, "Quillotone",
                        "The destination folder " + QDir::toNativeSeparators(folder) +
                            " could not be opened: no file manager could be started.",
                        QMessageBox::Ok);
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

void WindowRunHost::ShowReport() {
    struct Line {
        QFileInfo source;
        QString reason;
    };
    std::vector<Line> lines;
    bool notAsListed = false; // a row skipped, failed or renamed, beside what was not carried
    for (const RowResult& r : results_) {
        if (const QString reason = ReportReason(r); !reason.isEmpty()) {
            lines.push_back({QFileInfo(r.source), reason});
            notAsListed = true;
        }
        if (!r.notCarried.isEmpty())
            lines.push_back({QFileInfo(r.source), "not carried: " + r.notCarried.join(", ")});
    }
    if (lines.empty()) return;
    TfrmImpErr report(&w_, "Conversion Report",
                      notAsListed ? "Some files were not converted as listed"
                                  : "Some tags could not be carried into the outputs");
    report.resize(760, 320); // room for the reasons
    for (const Line& line : lines)
        report.AddEntry(line.source.fileName(), line.source.path(), line.reason);
    w_.Ui().Exec(report);
}

WindowRun::WindowRun(TfrmMain& w) : host(w), run(*w.Convert(), host, w.TimeState) {
    // a run the user stopped (or the closing window) ends without the report
    QObject::connect(&run, &TConversionRun::Finished, &run, [this] {
        if (run.State() != RunState::StopRequested) host.ShowReport();
    });
}

void AddRunPart(MainWindowParts& parts) {
    parts.createRun = [](TfrmMain& w) -> std::unique_ptr<IConversionRun> {
        if (!w.Convert()) return nullptr;
        auto part = std::make_unique<WindowRun>(w);
        TfrmMain* window = &w;
        part->run.SetTagConvertedFile(TagFromRows(w.ListModel(), [window] { return window->Options(); }));
        if (w.CanMakeConvert())
            part->run.SetMakeConvert([window](OutFormat format) { return window->MakeConvert(format); });
        return part;
    };
}

TagConvertedFileFn TagFromRows(const ConversionListModel& model, std::function<WindowOptions()> options) {
    return [&model, options](const QString& destination, int row, OutFormat format) {
        const WindowOptions o = options();
        const tagedit::TaggingResult tagged = tagedit::TagConvertedRow(
            model.Path(row).toStdString(), destination.toStdString(),
            tagedit::FieldsFromColumns(model.TagColumns(row)), static_cast<int>(format), o.WriteFormat,
            o.ReadPriority, o.CopySourceTags);
        QStringList notCarried;
        for (const std::string& lost : tagged.notCarried)
            notCarried << QString::fromStdString(lost);
        return notCarried;
    };
}

} // namespace quillotone
