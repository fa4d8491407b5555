#include "conversion/conversion_run.h"

#include <QDir>
#include <QFileInfo>

#include <exception>

namespace quillotone {

namespace {
const char* const CaptionStop = "&Stop Conversion";
const char* const CaptionConvert = "&Convert Now";

QString textOf(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unexpected error");
    }
}
} // namespace

TConversionRun::TConversionRun(IAudioConvert& convert, IConversionRunHost& host, QTimer* timeState,
                               QObject* parent)
    : QObject(parent), convert_(convert), host_(host), timeState_(timeState ? timeState : new QTimer(this)) {
    timeState_->setInterval(StepIntervalMs);
    timeState_->setSingleShot(true);
    timeState_->setTimerType(Qt::PreciseTimer); // a coarse timer may fire up to 5 % early
    timeState_->stop();
    connect(timeState_, &QTimer::timeout, this, &TConversionRun::TimeStateTimer);
    connect(&convert_, &IAudioConvert::OnConvertBlock, this, &TConversionRun::OnConvertBlock);
    connect(&convert_, &IAudioConvert::OnError, this, &TConversionRun::OnError);
}

TConversionRun::~TConversionRun() {
    timeState_->stop();
    if (fileActive_) {
        try {
            convert_.StopConversion();
        } catch (...) {
            // the component is going away with the window
        }
    }
}

QString TConversionRun::ConversionErrorMessage(int code) {
    struct ErrorText {
        int code;
        const char* message;
    };
    // Most end in a comma and a blank; the busy text has no blank.
    static constexpr ErrorText texts[] = {
        {ConvertError::Busy, "the application is busy,"},
        {ConvertError::Memory, "Memory Error, "},
        {ConvertError::WrongFormat, "Wrong file format, "},
        {ConvertError::UnsupportedFormat, "Unsupported audio file format, "},
        {ConvertError::OutputDevice, "Output audio device error, "},
        {ConvertError::InputDevice, "Input audio device error, "},
        {ConvertError::MixerDriver, "Mixer device driver error, "},
        {ConvertError::AcmDriver, "ACM driver error, "},
        {ConvertError::FileInUse, "The specified file is already in use, "},
        {ConvertError::InvalidOperation, "Invalid operation, "},
        {ConvertError::InvalidParameters, "Invalid parameters, "},
        {ConvertError::CdDriver, "Incorrect CD driver operation, "},
        {ConvertError::ControlNotInstalled, "Control not installed, "},
        {ConvertError::IndexOutOfRange, "Incorrect address to the array. Index out of the array range, "},
        {ConvertError::Stream, "Stream error, "},
        {ConvertError::Unexpected, "Unexpected error, "},
    };
    for (const ErrorText& t : texts)
        if (t.code == code) return QString::fromLatin1(t.message);
    return "Other unexpected error, ";
}

QString TConversionRun::ConversionErrorText(int code) {
    return "Occur Error: " + ConversionErrorMessage(code) + "\r\nprocess would exit!";
}

void TConversionRun::ShowConversionError(int code) {
    host_.ShowErrorBox("Process Error", ConversionErrorText(code));
}

void TConversionRun::ActConvertExecute() {
    try {
        host_.ApplyEncoderSettings();
        if (active_) {
            // a stop, also in the pause before the next file: that file does not start
            state_ = RunState::StopRequested;
            host_.SetCaption(CaptionConvert);
            timeState_->stop();
            if (fileActive_) {
                fileActive_ = false;
                convert_.StopConversion();
            }
            endRun();
            return;
        }
        if (host_.RowCount() <= 0) return;
        const RunSettings settings = host_.Settings();
        // Without a chosen output format there is nothing to convert to.
        if (!settings.outFormat) return;
        outFormat_ = *settings.outFormat;
        const QString folder = settings.targetFolder;
        if (folder.isEmpty()) return;
        if (!QFileInfo::exists(folder) && !QDir().mkpath(folder)) return;
        for (int row = 0; row < host_.RowCount(); ++row)
            host_.SetMark(row, RowMark::NotConverted);
        host_.SetRunControlsEnabled(false);
        active_ = true;
        currentRow_ = 0;
        host_.RunStarted();
        host_.SetCaption(CaptionStop);
        startedByClick_ = true;
        ConvertCurrentRow();
    } catch (...) {
        // errors of this handler are dropped without a message; the window is restored
        stepFailed(QString());
    }
}

QString TConversionRun::destinationFor(int row, const RunSettings& s) const {
    NamingInput in;
    in.targetFolder = s.targetFolder;
    in.outFormat = outFormat_;
    in.options = s.naming;
    in.row = host_.RowCells(row);
    return OutputPathFor(in);
}

void TConversionRun::ConvertCurrentRow() {
    state_ = RunState::Converting;
    errorCode_ = 0;
    host_.SetProgressVisible(true);
    host_.SetMark(currentRow_, RowMark::BeingConverted);
    host_.ScrollToRow(currentRow_);

    const RunSettings s = host_.Settings();
    const QString source = host_.RowCells(currentRow_).source;
    // Read for each file like the other settings; the run's controls keep it from changing.
    if (s.outFormat) outFormat_ = *s.outFormat;
    destination_ = destinationFor(currentRow_, s);

    if (s.promptExist && QFileInfo::exists(destination_) &&
        !host_.AskYesNo("Overwrite Confirm", destination_ + " already exists. Do you want to replace it?")) {
        host_.SetMark(currentRow_, RowMark::NotConverted);
        reportRow(RowOutcome::Skipped, "the output exists");
        nextRowOrEnd(false);
        return;
    }

    percent_ = 0;
    fileActive_ = true;
    try {
        switch (outFormat_) {
        case OutFormat::Mp3:
            convert_.ConvertToMp3(source, destination_);
            break;
        case OutFormat::Ogg:
            convert_.ConvertToOgg(source, destination_);
            break;
        case OutFormat::Wav:
            convert_.ConvertToWav(source, destination_);
            break;
        case OutFormat::Wma:
            convert_.ConvertToWma(source, destination_);
            break;
        }
    } catch (...) {
        fileActive_ = false;
        throw;
    }
}

void TConversionRun::TimeStateTimer() {
    timeState_->stop();
    if (!active_) return;
    startedByClick_ = false;
    try {
        ConvertCurrentRow();
    } catch (...) {
        stepFailed(textOf(std::current_exception()));
    }
}

void TConversionRun::OnConvertBlock(int percent) {
    if (!fileActive_) return;
    percent_ = percent;
    if (percent_ >= 100) {
        fileActive_ = false;
        state_ = RunState::FileDone;
        try {
            fileDone();
        } catch (...) {
            // on the first file, a part of the click in the original program: dropped silently
            stepFailed(startedByClick_ ? QString() : textOf(std::current_exception()));
        }
        return;
    }
    host_.SetProgressValue(percent_);
}

void TConversionRun::OnError(int code) {
    if (!fileActive_) return;
    errorCode_ = code;
    state_ = RunState::Failed;
    if (code == 0) return; // not an error code: the wait would go on
    fileActive_ = false;
    QString reason = ConversionErrorMessage(code).trimmed();
    if (reason.endsWith(',')) reason.chop(1);
    reportRow(RowOutcome::Failed, reason);
    if (host_.Settings().goOnAfterError) {
        host_.SetMark(currentRow_, RowMark::NotConverted);
        nextRowOrEnd(false);
        return;
    }
    ShowConversionError(code);
    host_.SetCaption(CaptionConvert);
    endRun();
}

void TConversionRun::fileDone() {
    host_.SetMark(currentRow_, RowMark::Converted);
    QStringList notCarried;
    if (tagConvertedFile_) notCarried = tagConvertedFile_(destination_, currentRow_, outFormat_);
    reportRow(RowOutcome::Converted, QString(), notCarried);
    nextRowOrEnd(true);
}

void TConversionRun::reportRow(RowOutcome outcome, const QString& reason, const QStringList& notCarried) {
    RowResult r;
    r.row = currentRow_;
    r.outcome = outcome;
    r.source = host_.RowCells(currentRow_).source;
    r.destination = destination_;
    r.reason = reason;
    r.notCarried = notCarried;
    host_.RowFinished(r);
}

void TConversionRun::nextRowOrEnd(bool converted) {
    if (currentRow_ + 1 < host_.RowCount()) {
        ++currentRow_;
        timeState_->start();
        return;
    }
    state_ = RunState::FileDone;
    host_.SetCaption(CaptionConvert);
    endRun();
    if (!converted) return; // a skipped last file ends the run without the completion actions
    const RunSettings s = host_.Settings();
    if (s.showSuccess) host_.ShowPlainMessage("Conversion complete!");
    if (s.openDestination) host_.ExploreFolder(s.targetFolder);
}

void TConversionRun::endRun() {
    active_ = false;
    timeState_->stop();
    host_.SetRunControlsEnabled(true);
    host_.SetProgressVisible(false);
    emit Finished();
}

void TConversionRun::stepFailed(const QString& text) {
    const bool wasActive = active_;
    if (fileActive_) {
        fileActive_ = false;
        try {
            convert_.StopConversion();
        } catch (...) {
        }
    }
    if (wasActive) {
        host_.SetCaption(CaptionConvert);
        endRun();
    }
    if (!text.isEmpty()) host_.ShowGeneralError(text);
}

} // namespace quillotone
