// The conversion run behind the big button: converts every list row, top to bottom, one file at a
// time. An event-driven state machine: the component's events, the one-shot 100 ms step timer and
// the button's click move it on; nothing waits in a nested event loop.
#pragma once

#include "conversion/audio_convert.h"
#include "conversion/output_naming.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

namespace quillotone {

enum class RunState : uint8_t { Idle = 0, Converting = 1, Failed = 2, StopRequested = 3, FileDone = 4 };

// What the run reads from the main window at each step.
struct RunSettings {
    int outFormat = 0; // 0 MP3, 1 Ogg, 2 WAV, 3 WMA
    QString targetFolder;
    NamingOptions naming;
    bool promptExist = false;     // chkPromptExist
    bool showSuccess = false;     // chkShowSucc
    bool openDestination = false; // chkOpenDst
};

// The main window as the run sees it.
class IConversionRunHost {
public:
    virtual ~IConversionRunHost() = default;
    virtual int RowCount() const = 0;
    virtual NamingRow RowCells(int row) const = 0; // Path and the six naming cells
    virtual void SetMark(int row, int mark) = 0;   // 0 not converted, 1 being converted, 2 converted
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
    // A box owned by the main window with an error icon and OK.
    virtual void ShowErrorBox(const QString& title, const QString& text) = 0;
    // A plain message box (the application's title, OK).
    virtual void ShowPlainMessage(const QString& text) = 0;
    // Opens the folder in the desktop's file manager ("explore").
    virtual void ExploreFolder(const QString& folder) = 0;
    // The application's general error display for an error that escaped an event handler.
    virtual void ShowGeneralError(const QString& text) = 0;
};

// Writes the row's tags into a converted file (destination path, row, output format 0-3); the result
// names what the output's tags could not hold, empty when they hold it all.
using TagConvertedFileFn = std::function<QStringList(const QString& destination, int row, int outFormat)>;

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

    // Starts a run, or asks the one under way to stop (also in the pause between two files).
    void ActConvertExecute();
    // A run is under way: a file converting or the next one pending on the step timer.
    bool IsConverting() const { return active_; }
    RunState State() const { return state_; }
    int CurrentRow() const { return currentRow_; }
    int Percent() const { return percent_; }
    int ErrorCode() const { return errorCode_; }
    // What the tagging could not carry into each converted file of the run (or the last run), by row;
    // rows that lost nothing are not in it.
    const QMap<int, QStringList>& NotCarried() const { return notCarried_; }
    QTimer& TimeState() { return *timeState_; }
    const QTimer& TimeState() const { return *timeState_; }

    // "Occur Error: <message>\r\nprocess would exit!" for the code.
    static QString ConversionErrorText(int code);
    static QString ConversionErrorMessage(int code);

private:
    void ConvertCurrentRow();
    void TimeStateTimer();
    void OnConvertBlock(int percent);
    void OnError(int code);
    void ShowConversionError(int code);
    void fileDone();
    void nextRowOrEnd(bool converted);
    void endRun();
    void stepFailed(const QString& text);
    QString destinationFor(int row, const RunSettings& settings) const;

    IAudioConvert& convert_;
    IConversionRunHost& host_;
    QTimer* timeState_;
    TagConvertedFileFn tagConvertedFile_;
    QMap<int, QStringList> notCarried_;

    RunState state_ = RunState::Idle;
    bool active_ = false;     // a run is under way
    bool fileActive_ = false; // the component is converting the current row
    bool startedByClick_ = false;
    int currentRow_ = 0;
    int percent_ = 0;
    int errorCode_ = 0;
    int outFormat_ = 0;
    QString destination_;
};

} // namespace quillotone
