// The conversion run behind the big button: converts every list row, top to bottom, one file at a
// time. An event-driven state machine: the component's events, the one-shot 100 ms step timer and
// the button's click move it on; nothing waits in a nested event loop.
#pragma once

#include "conversion/convert_interface.h"
#include "conversion/output_naming.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace quillotone {

enum class RunState : uint8_t { Idle = 0, Converting = 1, Failed = 2, StopRequested = 3, FileDone = 4 };

// A row's mark in the list's first column.
enum class RowMark { NotConverted = 0, BeingConverted = 1, Converted = 2, Failed = 3 };

// The answers to the overwrite question; "to All" holds for the rest of the run.
enum class OverwriteAnswer { Yes, YesToAll, No, NoToAll };

// What the run reads from the main window at each step.
struct RunSettings {
    std::optional<OutFormat> outFormat = OutFormat::Mp3; // none: the drop-down has no selection
    QString targetFolder;
    NamingOptions naming;
    bool promptExist = false;     // chkPromptExist
    bool showSuccess = false;     // chkShowSucc
    bool openDestination = false; // chkOpenDst
    // A failed row does not end the run: it is reported and the next row goes on.
    bool goOnAfterError = false;
    // Conversions running at once: 0 one per core, 1 one file at a time with the step pause.
    int filesAtOnce = 1;
};

// How a row of a run ended.
enum class RowOutcome { Converted, Skipped, Failed };

struct RowResult {
    int row = 0;
    RowOutcome outcome = RowOutcome::Converted;
    QString source;
    QString destination;    // the output written, or the one that was meant
    QString reason;         // why the row was skipped or failed; for a converted row, a renamed output
    QStringList notCarried; // what of the source's tags the output could not hold
};

// The reasons a run gives for its rows.
namespace RowReason {
inline const char* const OutputExists = "the output exists";
inline const char* const WouldReplaceSource = "the output would replace a source file";
inline const char* const Renamed = "renamed: another output of this run has that name";
inline const char* const Missing = "the file is missing";
} // namespace RowReason

// The main window as the run sees it.
class IConversionRunHost {
public:
    virtual ~IConversionRunHost() = default;
    virtual int RowCount() const = 0;
    virtual NamingRow RowCells(int row) const = 0; // Path and the six naming cells
    virtual void SetMark(int row, RowMark mark) = 0;
    virtual void ScrollToRow(int row) = 0;
    virtual RunSettings Settings() const = 0;
    // ReadInspector, then cmboutFormatChange: the inspector's values reach the component.
    virtual void ApplyEncoderSettings() = 0;
    virtual void SetCaption(const QString& caption) = 0; // of ActConvert
    virtual void SetProgressVisible(bool visible) = 0;
    virtual void SetProgressValue(int percent) = 0;
    // edtoutFolder, cmboutFormat, gbFileaname, chkPromptExist, chkShowSucc, chkOpenDst, Inspector,
    // gvConvert, ActaddFiles, btnEdittag, cmbQuality, btnDelete, cmbReadpriority, cmbWriteFormat.
    virtual void SetRunControlsEnabled(bool enabled) = 0;
    // A Yes/No box with a question icon; true for Yes.
    virtual bool AskYesNo(const QString& title, const QString& text) = 0;
    // The overwrite question; a host without the "to All" answers asks Yes or No.
    virtual OverwriteAnswer AskOverwrite(const QString& title, const QString& text) {
        return AskYesNo(title, text) ? OverwriteAnswer::Yes : OverwriteAnswer::No;
    }
    // A box owned by the main window with an error icon and OK.
    virtual void ShowErrorBox(const QString& title, const QString& text) = 0;
    // A plain message box (the application's title, OK).
    virtual void ShowPlainMessage(const QString& text) = 0;
    // Opens the folder in the desktop's file manager ("explore").
    virtual void ExploreFolder(const QString& folder) = 0;
    // The application's general error display for an error that escaped an event handler.
    virtual void ShowGeneralError(const QString& text) = 0;
    // A run starts (before its first row), then each row the run reached, once, when it is done with
    // it; a row the user stopped is not one.
    virtual void RunStarted() {}
    virtual void RowFinished(const RowResult& result) { (void)result; }
};

// Writes the row's tags into a converted file; the result names what the output's tags could not
// hold, empty when they hold it all.
using TagConvertedFileFn = std::function<QStringList(const QString& destination, int row, OutFormat format)>;

// A further conversion component for a run of several files at once, set up with the encoder
// settings the host's own component has for the format.
using MakeConvertFn = std::function<std::unique_ptr<IAudioConvert>(OutFormat format)>;

class TConversionRun final : public QObject {
    Q_OBJECT
public:
    // `timeState` is the window's step timer when it has one; otherwise the run makes its own.
    TConversionRun(IAudioConvert& convert, IConversionRunHost& host, QTimer* timeState = nullptr,
                   QObject* parent = nullptr);
    ~TConversionRun() override;

    static constexpr int StepIntervalMs = 100;

    // Without one the converted files are left untagged.
    void SetTagConvertedFile(TagConvertedFileFn tag) { tagConvertedFile_ = std::move(tag); }
    // Without one every run converts one file at a time, whatever filesAtOnce says.
    void SetMakeConvert(MakeConvertFn make) { makeConvert_ = std::move(make); }
    // The number of conversions a run with these settings keeps going.
    int SlotsFor(const RunSettings& settings) const;

    // Starts a run, or asks the one under way to stop (also in the pause between two files).
    void ActConvertExecute();
    // A run is under way: a file converting or the next one pending on the step timer.
    bool IsConverting() const { return active_; }
    RunState State() const { return state_; }
    int CurrentRow() const { return currentRow_; }
    int Percent() const { return percent_; }
    int ErrorCode() const { return errorCode_; }
    QTimer& TimeState() { return *timeState_; }
    const QTimer& TimeState() const { return *timeState_; }

    // "Occur Error: <message>\r\nprocess would exit!" for the code.
    static QString ConversionErrorText(int code);
    // The message inside such a box text ("Occur Error: MESSAGE, \r\nprocess would exit!"), or the
    // text as it is.
    static QString ErrorBoxMessage(const QString& boxText);
    static QString ConversionErrorMessage(int code);

signals:
    // The run is over: every row done, stopped, or ended by an error.
    void Finished();

private:
    void ConvertCurrentRow();
    void TimeStateTimer();
    void OnConvertBlock(int percent);
    void OnError(int code);
    void fileDone();
    void nextRowOrEnd(bool converted);
    void endRun(bool signalEnd = true);
    void stepFailed(const QString& text, bool show);
    void failRow(const QString& reason, const QString& boxText);
    void reportRow(RowOutcome outcome, const QString& reason, const QStringList& notCarried = {});
    void tellRowFinished(int row, RowOutcome outcome, const QString& destination, const QString& reason,
                         const QStringList& notCarried);
    void endAfterLastRow(bool lastConverted);
    QString destinationFor(int row, const RunSettings& settings);
    bool makeFolders(const QString& folder);
    void removeEmptyFoldersMade();
    bool askOverwrite();

    // Several files at once: each slot converts one row on its own component.
    struct Slot {
        IAudioConvert* convert = nullptr;
        std::unique_ptr<IAudioConvert> owned;
        bool busy = false;
        int row = 0;
        int percent = 0;
        QString destination;
        QString note;
    };
    void startPool(int slotCount);
    void fillSlots();
    void scheduleFill();
    bool startRowInSlot(Slot& slot, int row); // false: the row ended at once
    void slotBlock(size_t index, int percent);
    void slotError(size_t index, int code);
    void slotDone(Slot& slot);
    void poolRowEnded(int row, RowOutcome outcome, const QString& destination, const QString& reason,
                      const QStringList& notCarried = {});
    void poolFailRow(int row, const QString& destination, const QString& reason, const QString& boxText,
                     bool showGeneral);
    void stopSlots(int afterRow = -1);
    void poolEndIfDone();
    void poolEndWithFailure();
    void showPoolProgress();

    using FileId = std::pair<quint64, quint64>; // device and inode
    static std::optional<FileId> IdOf(const QString& path);

    IAudioConvert& convert_;
    IConversionRunHost& host_;
    QTimer* timeState_;
    TagConvertedFileFn tagConvertedFile_;
    MakeConvertFn makeConvert_;
    std::vector<std::unique_ptr<Slot>> slots_; // empty for a run of one file at a time
    int nextRow_ = 0;                          // the next row a free slot starts
    int rowsEnded_ = 0;
    bool lastRowConverted_ = false;
    bool filling_ = false;
    // The first error of a run that does not go on: shown and ending the run once the rows before
    // the failed one are done, as one file at a time would have had them done.
    struct Failure {
        int row = 0;
        QString reason, boxText;
        bool showGeneral = false;
    };
    std::optional<Failure> failure_;
    QTimer fillTimer_;    // a zero timer, not a posted event: see scheduleFill
    bool pool_ = false;   // the run under way keeps several files going
    QStringList claimed_; // the outputs of the rows converting now, not all on disk yet
    std::vector<QMetaObject::Connection> links_;

    RunState state_ = RunState::Idle;
    bool active_ = false;     // a run is under way
    bool fileActive_ = false; // the component is converting the current row
    bool startedByClick_ = false;
    int currentRow_ = 0;
    int percent_ = 0;
    int errorCode_ = 0;
    OutFormat outFormat_ = OutFormat::Mp3;
    QString destination_;
    bool rowOpen_ = false; // the current row is not reported yet
    QString rowNote_;      // what the report says of the current row when it converts

    // Facts of the run under way.
    std::set<FileId> sources_; // every row's source: never written over
    std::set<FileId> outputs_; // what this run wrote: never written over by a later row
    QStringList foldersMade_;  // removed again when the run leaves them empty
    QString folderError_;      // why the last folder could not be made
    enum class AllAnswer { None, Yes, No } overwriteAll_ = AllAnswer::None;
};

} // namespace quillotone
