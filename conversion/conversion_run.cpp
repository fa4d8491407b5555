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
    switch (code) {
    case -10:
        return "the application is busy,";
    case -11:
        return "Memory Error, ";
    case -12:
        return "Wrong file format, ";
    case -13:
        return "Unsupported audio file format, ";
    case -14:
        return "Output audio device error, ";
    case -15:
        return "Input audio device error, ";
    case -16:
        return "Mixer device driver error, ";
    case -17:
        return "ACM driver error, ";
    case -18:
        return "The specified file is already in use, ";
    case -19:
        return "Invalid operation, ";
    case -20:
        return "Invalid parameters, ";
    case -21:
        return "Incorrect CD driver operation, ";
    case -22:
        return "Control not installed, ";
    case -23:
        return "Incorrect address to the array. Index out of the array range, ";
    case -24:
        return "Stream error, ";
    case -40:
        return "Unexpected error, ";
    }
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
        const QString folder = host_.Settings().targetFolder;
        if (folder.isEmpty()) return;
        if (!QFileInfo::exists(folder) && !QDir().mkpath(folder)) return;
        for (int row = 0; row < host_.RowCount(); ++row)
            host_.SetMark(row, 0);
        host_.SetRunControlsEnabled(false);
        active_ = true;
        currentRow_ = 0;
        notCarried_.clear();
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
    in.outFormat = s.outFormat;
    in.options = s.naming;
    in.row = host_.RowCells(row);
    return OutputPathFor(in);
}

void TConversionRun::ConvertCurrentRow() {
    state_ = RunState::Converting;
    errorCode_ = 0;
    host_.SetProgressVisible(true);
    host_.SetMark(currentRow_, 1);
    host_.ScrollToRow(currentRow_);

    const RunSettings s = host_.Settings();
    const QString source = host_.RowCells(currentRow_).source;
    destination_ = destinationFor(currentRow_, s);
    outFormat_ = s.outFormat;

    if (s.promptExist && QFileInfo::exists(destination_) &&
        !host_.AskYesNo("Overwrite Confirm", destination_ + " already exists. Do you want to replace it?")) {
        host_.SetMark(currentRow_, 0);
        nextRowOrEnd(false);
        return;
    }

    percent_ = 0;
    fileActive_ = true;
    try {
        switch (outFormat_) {
        case 0:
            convert_.ConvertToMp3(source, destination_);
            break;
        case 1:
            convert_.ConvertToOgg(source, destination_);
            break;
        case 2:
            convert_.ConvertToWav(source, destination_);
            break;
        default:
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
    ShowConversionError(code);
    host_.SetCaption(CaptionConvert);
    endRun();
}

void TConversionRun::fileDone() {
    host_.SetMark(currentRow_, 2);
    if (tagConvertedFile_) {
        const QStringList lost = tagConvertedFile_(destination_, currentRow_, outFormat_);
        if (!lost.isEmpty()) notCarried_.insert(currentRow_, lost);
    }
    nextRowOrEnd(true);
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
