// The conversion run inside the main window: the run's host over TfrmMain's controls, and the
// window part that owns the host and the run.
#pragma once

#include "app/settings_store.h"
#include "app/window_parts.h"
#include "conversion/conversion_run.h"

#include <functional>
#include <vector>

namespace quillotone {

class TfrmMain;
struct MainWindowParts;

class ConversionListModel;

// What a run reads from the window's options.
RunSettings RunSettingsFrom(const WindowOptions& options);

// What the naming reads from a list row.
NamingRow NamingRowOf(const ConversionListModel& model, int row);

// The run's tagging step: a converted output gets the tags of its row, and with "Copy pictures and
// other tags" what else the source holds, as the options read when the file is done say.
TagConvertedFileFn TagFromRows(const ConversionListModel& model, std::function<WindowOptions()> options);

class WindowRunHost final : public IConversionRunHost {
public:
    explicit WindowRunHost(TfrmMain& w) : w_(w) {}

    int RowCount() const override;
    NamingRow RowCells(int row) const override;
    void SetMark(int row, RowMark mark) override;
    void ScrollToRow(int row) override;
    RunSettings Settings() const override;
    void ApplyEncoderSettings() override;
    void SetCaption(const QString& caption) override;
    void SetProgressVisible(bool visible) override;
    void SetProgressValue(int percent) override;
    void SetRunControlsEnabled(bool on) override;
    bool AskYesNo(const QString& title, const QString& text) override;
    OverwriteAnswer AskOverwrite(const QString& title, const QString& text) override;
    void ShowErrorBox(const QString& title, const QString& text) override;
    void ShowPlainMessage(const QString& text) override;
    void ExploreFolder(const QString& folder) override;
    void ShowGeneralError(const QString& text) override;
    void RunStarted() override { results_.clear(); }
    void RowFinished(const RowResult& result) override { results_.push_back(result); }

    // The rows of the run under way or of the last one, in the order they were done.
    const std::vector<RowResult>& Results() const { return results_; }
    // The end-of-run report: the rows skipped, failed, renamed or not carried whole, if any.
    void ShowReport();

private:
    TfrmMain& w_;
    std::vector<RowResult> results_;
};

// The report's reason cell for a row, or empty when the row needs no line.
QString ReportReason(const RowResult& result);

// On the window's conversion component and its step timer `TimeState`.
class WindowRun final : public IConversionRun {
public:
    explicit WindowRun(TfrmMain& w);
    bool IsConverting() const override { return run.IsConverting(); }
    void ActConvertExecute() override { run.ActConvertExecute(); }
    WindowRunHost host;
    TConversionRun run;
};

// Sets parts.createRun; a window without a conversion component gets no run. Every converted
// output is tagged from its row in the window's write format.
void AddRunPart(MainWindowParts& parts);

} // namespace quillotone
