#include "conversion/conversion_run.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <sys/stat.h>

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

std::filesystem::path fsPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString errorText(const std::error_code& ec) {
    return QString::fromLocal8Bit(ec.message().c_str());
}

// "Occur Error: <message>\r\nprocess would exit!" for a message of our own.
const char* const FrameHead = "Occur Error: ";
const char* const FrameTail = "\r\nprocess would exit!";

// The component's operation for the output format.
void startConversion(IAudioConvert& convert, OutFormat format, const QString& source,
                     const QString& destination) {
    switch (format) {
    case OutFormat::Mp3:
        convert.ConvertToMp3(source, destination);
        break;
    case OutFormat::Ogg:
        convert.ConvertToOgg(source, destination);
        break;
    case OutFormat::Wav:
        convert.ConvertToWav(source, destination);
        break;
    case OutFormat::Wma:
        convert.ConvertToWma(source, destination);
        break;
    }
}

QString errorFrame(const QString& message) {
    return FrameHead + message + ", " + FrameTail;
}
} // namespace

std::optional<TConversionRun::FileId> TConversionRun::IdOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return std::nullopt;
    return FileId{quint64(st.st_dev), quint64(st.st_ino)};
}

bool TConversionRun::makeFolders(const QString& folder) {
    QStringList missing;
    for (QString level = QDir::cleanPath(folder); !level.isEmpty() && !QFileInfo::exists(level);) {
        missing << level;
        const int slash = int(level.lastIndexOf('/'));
        if (slash <= 0) break;
        level.truncate(slash);
    }
    std::error_code ec;
    std::filesystem::create_directories(fsPath(folder), ec);
    if (!ec && !QFileInfo(folder).isDir()) ec = std::make_error_code(std::errc::not_a_directory);
    for (const QString& level : missing)
        if (QFileInfo(level).isDir() && !foldersMade_.contains(level)) foldersMade_ << level;
    if (ec) {
        folderError_ = "the folder " + folder + " cannot be created: " + errorText(ec);
        return false;
    }
    return true;
}

void TConversionRun::removeEmptyFoldersMade() {
    // deepest first, so a parent is empty once its children are gone; rmdir keeps a folder with files
    std::sort(foldersMade_.begin(), foldersMade_.end(),
              [](const QString& a, const QString& b) { return a.size() > b.size(); });
    for (const QString& folder : foldersMade_)
        QDir().rmdir(folder);
    foldersMade_.clear();
}

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
    fillTimer_.setSingleShot(true);
    fillTimer_.setInterval(0);
    connect(&fillTimer_, &QTimer::timeout, this, &TConversionRun::fillSlots);
}

TConversionRun::~TConversionRun() {
    timeState_->stop();
    for (auto& slot : slots_) {
        if (!slot->busy) continue;
        slot->busy = false;
        try {
            slot->convert->StopConversion();
        } catch (...) {
        }
    }
    for (const auto& link : links_)
        disconnect(link);
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

QString TConversionRun::ErrorBoxMessage(const QString& boxText) {
    const QString head(FrameHead), tail(FrameTail);
    if (!boxText.startsWith(head) || !boxText.endsWith(tail)) return boxText;
    QString message = boxText.mid(head.size(), boxText.size() - head.size() - tail.size()).trimmed();
    if (message.endsWith(',')) message.chop(1);
    return message;
}

QString TConversionRun::ConversionErrorText(int code) {
    return FrameHead + ConversionErrorMessage(code) + FrameTail;
}

void TConversionRun::ActConvertExecute() {
    try {
        host_.ApplyEncoderSettings();
        if (active_ && pool_) {
            state_ = RunState::StopRequested;
            host_.SetCaption(CaptionConvert);
            stopSlots();
            endRun();
            return;
        }
        if (active_) {
            // a stop, also in the pause before the next file: that file does not start
            state_ = RunState::StopRequested;
            host_.SetCaption(CaptionConvert);
            timeState_->stop();
            if (fileActive_) {
                fileActive_ = false;
                convert_.StopConversion();
            }
            if (rowOpen_) {
                rowOpen_ = false; // a stopped row is neither done nor failed
                host_.SetMark(currentRow_, RowMark::NotConverted);
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
        foldersMade_.clear();
        if (!makeFolders(folder)) {
            host_.ShowErrorBox("Process Error", errorFrame(folderError_));
            return;
        }
        sources_.clear();
        outputs_.clear();
        overwriteAll_ = AllAnswer::None;
        pool_ = false;
        for (int row = 0; row < host_.RowCount(); ++row) {
            host_.SetMark(row, RowMark::NotConverted);
            if (auto id = IdOf(host_.RowCells(row).source)) sources_.insert(*id);
        }
        host_.SetRunControlsEnabled(false);
        active_ = true;
        currentRow_ = 0;
        host_.RunStarted();
        host_.SetCaption(CaptionStop);
        startedByClick_ = true;
        if (const int slotCount = SlotsFor(settings); slotCount > 1)
            startPool(slotCount);
        else
            ConvertCurrentRow();
    } catch (...) {
        // errors of this handler are dropped without a message; the window is restored
        stepFailed(textOf(std::current_exception()), false);
    }
}

QString TConversionRun::destinationFor(int row, const RunSettings& s) {
    NamingInput in;
    in.targetFolder = s.targetFolder;
    in.outFormat = outFormat_;
    in.options = s.naming;
    in.row = host_.RowCells(row);
    NamingFileSystem fs = NamingFileSystem::Real();
    fs.makeFolders = [this](const QString& folder) { return makeFolders(folder); };
    // the outputs of the rows still converting count as there, for numbered names too
    fs.exists = [this](const QString& path) { return claimed_.contains(path) || QFileInfo::exists(path); };
    folderError_.clear();
    return OutputPathFor(in, fs);
}

bool TConversionRun::askOverwrite() {
    if (overwriteAll_ != AllAnswer::None) return overwriteAll_ == AllAnswer::Yes;
    switch (host_.AskOverwrite("Overwrite Confirm",
                               destination_ + " already exists. Do you want to replace it?")) {
    case OverwriteAnswer::YesToAll:
        overwriteAll_ = AllAnswer::Yes;
        return true;
    case OverwriteAnswer::Yes:
        return true;
    case OverwriteAnswer::NoToAll:
        overwriteAll_ = AllAnswer::No;
        return false;
    case OverwriteAnswer::No:
        break;
    }
    return false;
}

void TConversionRun::ConvertCurrentRow() {
    state_ = RunState::Converting;
    errorCode_ = 0;
    host_.SetProgressVisible(true);
    host_.SetMark(currentRow_, RowMark::BeingConverted);
    host_.ScrollToRow(currentRow_);

    rowOpen_ = true;

    const RunSettings s = host_.Settings();
    const QString source = host_.RowCells(currentRow_).source;
    // Read for each file like the other settings; the run's controls keep it from changing.
    if (s.outFormat) outFormat_ = *s.outFormat;
    destination_.clear();
    if (!QFileInfo::exists(source)) {
        failRow(RowReason::Missing, errorFrame("the file " + source + " is missing"));
        return;
    }
    destination_ = destinationFor(currentRow_, s);
    // the naming takes any file for a folder; a file where a folder should be fails here, named
    if (!destination_.isEmpty() && !QFileInfo(QFileInfo(destination_).path()).isDir())
        makeFolders(QFileInfo(destination_).path());
    if (!folderError_.isEmpty()) {
        failRow(folderError_, errorFrame(folderError_));
        return;
    }
    // The same file by device and inode: a link to a source is the source.
    const std::optional<FileId> existing = IdOf(destination_);
    if (existing && sources_.count(*existing)) {
        host_.SetMark(currentRow_, RowMark::NotConverted);
        reportRow(RowOutcome::Skipped, RowReason::WouldReplaceSource);
        nextRowOrEnd(false);
        return;
    }
    QString note;
    if (existing && outputs_.count(*existing)) {
        destination_ = FreeNumberedPath(destination_);
        note = RowReason::Renamed;
    }

    if (s.promptExist && QFileInfo::exists(destination_) && !askOverwrite()) {
        host_.SetMark(currentRow_, RowMark::NotConverted);
        reportRow(RowOutcome::Skipped, RowReason::OutputExists);
        nextRowOrEnd(false);
        return;
    }
    rowNote_ = note;

    percent_ = 0;
    fileActive_ = true;
    try {
        startConversion(convert_, outFormat_, source, destination_);
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
        stepFailed(textOf(std::current_exception()), true);
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
            stepFailed(textOf(std::current_exception()), !startedByClick_);
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
    const QString source = host_.RowCells(currentRow_).source;
    // a source deleted after the check fails as unreadable: say what happened
    if (!QFileInfo::exists(source)) {
        failRow(RowReason::Missing, errorFrame("the file " + source + " is missing"));
        return;
    }
    QString reason = ConversionErrorMessage(code).trimmed();
    if (reason.endsWith(',')) reason.chop(1);
    failRow(reason, ConversionErrorText(code));
}

void TConversionRun::failRow(const QString& reason, const QString& boxText) {
    state_ = RunState::Failed;
    reportRow(RowOutcome::Failed, reason);
    if (host_.Settings().goOnAfterError) {
        host_.SetMark(currentRow_, RowMark::Failed);
        nextRowOrEnd(false);
        return;
    }
    host_.SetMark(currentRow_, RowMark::NotConverted);
    host_.ShowErrorBox("Process Error", boxText);
    host_.SetCaption(CaptionConvert);
    endRun();
}

void TConversionRun::fileDone() {
    host_.SetMark(currentRow_, RowMark::Converted);
    if (auto id = IdOf(destination_)) outputs_.insert(*id);
    QStringList notCarried;
    if (tagConvertedFile_) notCarried = tagConvertedFile_(destination_, currentRow_, outFormat_);
    // tagging rewrites the file through a new one renamed over it: a new inode
    if (auto id = IdOf(destination_)) outputs_.insert(*id);
    reportRow(RowOutcome::Converted, rowNote_, notCarried);
    nextRowOrEnd(true);
}

void TConversionRun::reportRow(RowOutcome outcome, const QString& reason, const QStringList& notCarried) {
    rowOpen_ = false;
    tellRowFinished(currentRow_, outcome, destination_, reason, notCarried);
}

void TConversionRun::tellRowFinished(int row, RowOutcome outcome, const QString& destination,
                                     const QString& reason, const QStringList& notCarried) {
    RowResult r;
    r.row = row;
    r.outcome = outcome;
    r.source = host_.RowCells(row).source;
    r.destination = destination;
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
    endAfterLastRow(converted);
}

void TConversionRun::endRun(bool signalEnd) {
    active_ = false;
    claimed_.clear();
    timeState_->stop();
    removeEmptyFoldersMade();
    host_.SetRunControlsEnabled(true);
    host_.SetProgressVisible(false);
    if (signalEnd) emit Finished();
}

void TConversionRun::stepFailed(const QString& text, bool show) {
    const bool wasActive = active_;
    if (pool_) stopSlots();
    if (fileActive_) {
        fileActive_ = false;
        try {
            convert_.StopConversion();
        } catch (...) {
        }
    }
    if (wasActive && rowOpen_) {
        if (host_.Settings().goOnAfterError) {
            // the report names it; the next row goes on as after a conversion error
            host_.SetMark(currentRow_, RowMark::Failed);
            reportRow(RowOutcome::Failed, text);
            nextRowOrEnd(false);
            return;
        }
        host_.SetMark(currentRow_, RowMark::NotConverted);
        reportRow(RowOutcome::Failed, text);
    }
    if (wasActive) {
        host_.SetCaption(CaptionConvert);
        endRun();
    }
    if (show) host_.ShowGeneralError(text);
}

// Several files at once. Rows start in list order and their outputs are decided here, on the main
// thread, one after the other: the checks against the sources, this run's outputs and the outputs
// of the rows still converting hold as for one file at a time.

int TConversionRun::SlotsFor(const RunSettings& settings) const {
    if (!makeConvert_) return 1;
    int n = settings.filesAtOnce > 0 ? settings.filesAtOnce : std::max(1, QThread::idealThreadCount());
    return std::max(1, std::min(n, host_.RowCount()));
}

void TConversionRun::startPool(int slotCount) {
    for (const auto& link : links_)
        disconnect(link);
    links_.clear();
    slots_.clear();
    pool_ = true;
    nextRow_ = 0;
    rowsEnded_ = 0;
    lastRowConverted_ = false;
    failure_.reset();
    state_ = RunState::Converting;
    errorCode_ = 0;
    for (int i = 0; i < slotCount; ++i) {
        auto slot = std::make_unique<Slot>();
        if (i == 0) {
            slot->convert = &convert_;
        } else {
            slot->owned = makeConvert_(outFormat_);
            slot->convert = slot->owned.get();
        }
        const size_t index = size_t(i);
        links_.push_back(connect(slot->convert, &IAudioConvert::OnConvertBlock, this,
                                 [this, index](int percent) { slotBlock(index, percent); }));
        links_.push_back(connect(slot->convert, &IAudioConvert::OnError, this,
                                 [this, index](int code) { slotError(index, code); }));
        slots_.push_back(std::move(slot));
    }
    host_.SetProgressVisible(true);
    host_.SetProgressValue(0);
    fillSlots();
}

void TConversionRun::scheduleFill() {
    // Not from inside a component's own event: the next call on it comes after the event returns.
    // A timer and not a posted event, whose queue the workers' posts share where ThreadSanitizer
    // cannot see its lock.
    if (!fillTimer_.isActive()) fillTimer_.start();
}

void TConversionRun::fillSlots() {
    // the overwrite question waits in a nested loop: a row ending meanwhile is picked up here
    if (filling_) return;
    filling_ = true;
    while (active_ && pool_ && state_ != RunState::StopRequested && nextRow_ < host_.RowCount()) {
        auto free = std::find_if(slots_.begin(), slots_.end(), [](const auto& s) { return !s->busy; });
        if (free == slots_.end()) break;
        const int row = nextRow_++;
        try {
            startRowInSlot(**free, row);
        } catch (...) {
            // the first row's call fails silently, as the click's part
            poolFailRow(row, (*free)->destination, textOf(std::current_exception()), {}, row != 0);
        }
    }
    filling_ = false;
    poolEndIfDone();
}

bool TConversionRun::startRowInSlot(Slot& slot, int row) {
    currentRow_ = row;
    host_.SetMark(row, RowMark::BeingConverted);
    host_.ScrollToRow(row);
    slot.destination.clear();
    const RunSettings s = host_.Settings();
    const QString source = host_.RowCells(row).source;
    if (!QFileInfo::exists(source)) {
        poolFailRow(row, {}, RowReason::Missing, errorFrame("the file " + source + " is missing"), false);
        return false;
    }
    QString destination = destinationFor(row, s);
    slot.destination = destination;
    if (!destination.isEmpty() && !QFileInfo(QFileInfo(destination).path()).isDir())
        makeFolders(QFileInfo(destination).path());
    if (!folderError_.isEmpty()) {
        poolFailRow(row, destination, folderError_, errorFrame(folderError_), false);
        return false;
    }
    const std::optional<FileId> existing = IdOf(destination);
    if (existing && sources_.count(*existing)) {
        host_.SetMark(row, RowMark::NotConverted);
        poolRowEnded(row, RowOutcome::Skipped, destination, RowReason::WouldReplaceSource);
        return false;
    }
    QString note;
    if ((existing && outputs_.count(*existing)) || claimed_.contains(destination)) {
        NamingFileSystem fs = NamingFileSystem::Real();
        fs.exists = [this](const QString& path) {
            return claimed_.contains(path) || QFileInfo::exists(path);
        };
        destination = FreeNumberedPath(destination, fs);
        note = RowReason::Renamed;
    }
    slot.destination = destination;
    if (s.promptExist && QFileInfo::exists(destination)) {
        destination_ = destination;
        const bool replace = askOverwrite();
        if (!active_) { // the run ended while the question was open
            host_.SetMark(row, RowMark::NotConverted);
            return false;
        }
        if (!replace) {
            host_.SetMark(row, RowMark::NotConverted);
            poolRowEnded(row, RowOutcome::Skipped, destination, RowReason::OutputExists);
            return false;
        }
    }
    slot.busy = true;
    slot.row = row;
    slot.percent = 0;
    slot.note = note;
    claimed_ << destination;
    try {
        startConversion(*slot.convert, outFormat_, source, destination);
    } catch (...) {
        slot.busy = false;
        claimed_.removeAll(destination);
        throw;
    }
    return true;
}

void TConversionRun::slotBlock(size_t index, int percent) {
    Slot& slot = *slots_.at(index);
    if (!slot.busy || !active_) return;
    slot.percent = percent;
    if (percent < 100) {
        showPoolProgress();
        return;
    }
    slot.busy = false;
    claimed_.removeAll(slot.destination);
    try {
        slotDone(slot);
    } catch (...) {
        poolFailRow(slot.row, slot.destination, textOf(std::current_exception()), {}, true);
    }
    scheduleFill();
}

void TConversionRun::slotDone(Slot& slot) {
    host_.SetMark(slot.row, RowMark::Converted);
    if (auto id = IdOf(slot.destination)) outputs_.insert(*id);
    QStringList notCarried;
    if (tagConvertedFile_) notCarried = tagConvertedFile_(slot.destination, slot.row, outFormat_);
    if (auto id = IdOf(slot.destination)) outputs_.insert(*id);
    poolRowEnded(slot.row, RowOutcome::Converted, slot.destination, slot.note, notCarried);
}

void TConversionRun::slotError(size_t index, int code) {
    Slot& slot = *slots_.at(index);
    if (!slot.busy || !active_) return;
    errorCode_ = code;
    if (code == 0) return; // not an error code: the conversion goes on
    slot.busy = false;
    claimed_.removeAll(slot.destination);
    const QString source = host_.RowCells(slot.row).source;
    if (!QFileInfo::exists(source)) {
        poolFailRow(slot.row, slot.destination, RowReason::Missing,
                    errorFrame("the file " + source + " is missing"), false);
    } else {
        QString reason = ConversionErrorMessage(code).trimmed();
        if (reason.endsWith(',')) reason.chop(1);
        poolFailRow(slot.row, slot.destination, reason, ConversionErrorText(code), false);
    }
    scheduleFill();
}

void TConversionRun::poolRowEnded(int row, RowOutcome outcome, const QString& destination,
                                  const QString& reason, const QStringList& notCarried) {
    ++rowsEnded_;
    if (row == host_.RowCount() - 1) lastRowConverted_ = outcome == RowOutcome::Converted;
    tellRowFinished(row, outcome, destination, reason, notCarried);
    showPoolProgress();
}

void TConversionRun::poolFailRow(int row, const QString& destination, const QString& reason,
                                 const QString& boxText, bool showGeneral) {
    state_ = RunState::Failed;
    poolRowEnded(row, RowOutcome::Failed, destination, reason);
    if (host_.Settings().goOnAfterError) {
        host_.SetMark(row, RowMark::Failed);
        return;
    }
    host_.SetMark(row, RowMark::NotConverted);
    // The rows after the failed one stop unreported, as at the user's stop: one at a time they
    // would not have started. Those before it finish first.
    stopSlots(row);
    nextRow_ = host_.RowCount();
    if (!failure_ || row < failure_->row) failure_ = Failure{row, reason, boxText, showGeneral};
    poolEndIfDone();
}

void TConversionRun::poolEndWithFailure() {
    const Failure f = *failure_;
    failure_.reset();
    if (!f.showGeneral && !f.boxText.isEmpty()) host_.ShowErrorBox("Process Error", f.boxText);
    host_.SetCaption(CaptionConvert);
    endRun();
    if (f.showGeneral) host_.ShowGeneralError(f.reason);
}

void TConversionRun::stopSlots(int afterRow) {
    for (auto& slot : slots_) {
        if (!slot->busy || slot->row <= afterRow) continue;
        slot->busy = false;
        claimed_.removeAll(slot->destination);
        try {
            slot->convert->StopConversion();
        } catch (...) {
        }
        host_.SetMark(slot->row, RowMark::NotConverted);
    }
}

void TConversionRun::poolEndIfDone() {
    if (!active_ || !pool_ || filling_) return;
    if (nextRow_ < host_.RowCount()) return;
    if (std::any_of(slots_.begin(), slots_.end(), [](const auto& s) { return s->busy; })) return;
    if (failure_) {
        poolEndWithFailure();
        return;
    }
    endAfterLastRow(lastRowConverted_);
}

void TConversionRun::endAfterLastRow(bool lastConverted) {
    state_ = RunState::FileDone;
    host_.SetCaption(CaptionConvert);
    endRun(false);
    // a skipped or failed last file ends the run without the completion actions
    if (lastConverted) {
        const RunSettings s = host_.Settings();
        if (s.showSuccess) host_.ShowPlainMessage("Conversion complete!");
        if (s.openDestination) host_.ExploreFolder(s.targetFolder);
    }
    emit Finished();
}

// The whole run: the rows ended and the share done of each converting one.
void TConversionRun::showPoolProgress() {
    const int rows = host_.RowCount();
    if (rows <= 0) return;
    qint64 done = qint64(rowsEnded_) * 100;
    for (const auto& slot : slots_)
        if (slot->busy) done += std::clamp(slot->percent, 0, 100);
    host_.SetProgressValue(int(done / rows));
}

} // namespace quillotone
