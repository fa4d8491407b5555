#include "app/command_line.h"

#include "app/about_dialog.h"
#include "app/conversion_list.h"
#include "app/conversion_list_model.h"
#include "app/drop_import.h"
#include "app/inspector.h"
#include "app/main_window.h"
#include "app/quality_controller.h"
#include "app/settings_store.h"
#include "app/user_interface.h"
#include "app/window_run.h"
#include "conversion/conversion_run.h"
#include "conversion/convert_component.h"
#include "conversion/encoder_apply.h"
#include "conversion/information_component.h"
#include "conversion/quality_choices.h"
#include "tagedit/format_tags.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QStringDecoder>
#include <QTimer>
#include <cstdio>
#include <exception>
#include <map>
#include <optional>
#include <set>
#include <unistd.h>

namespace quillotone {

namespace {

const char* const Program = "quillotone";

struct UsageError {
    QString text;
};

// What the command line asks for; an option not given leaves the stored setting as it is.
struct Request {
    bool help = false;
    bool version = false;
    std::optional<OutFormat> format;
    std::optional<QString> quality;
    std::optional<QString> target;
    bool keepNames = false;
    bool keepTree = false;
    std::optional<bool> copyTags;
    std::optional<QString> prefix;
    std::optional<QString> pattern;
    std::optional<int> writeFormat;
    std::optional<int> jobs; // files at once
    std::optional<bool> overwrite;
    std::optional<QString> settingsFile;
    QStringList paths;
    QStringList badNames; // arguments that are no valid UTF-8: no file can be found by them
};

const char* const FormatNames[kOutFormatCount] = {"mp3", "ogg", "wav", "wma"};

QString quoted(const QString& text) {
    return '"' + text + '"';
}

QString quotedList(const QStringList& entries) {
    QStringList q;
    for (const QString& e : entries)
        q << quoted(e);
    return q.join(", ");
}

QStringList writeFormatTexts() {
    QStringList out;
    for (const tagedit::WriteFormatEntry& e : tagedit::WriteFormats)
        out << QString::fromUtf8(e.text.data(), qsizetype(e.text.size()));
    return out;
}

// The entries quoted and comma-separated, in lines indented by `indent` (the first one is not).
QString wrapped(const QStringList& entries, int indent) {
    QString out, line;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QString item = quoted(entries[i]) + (i + 1 < entries.size() ? "," : "");
        if (!line.isEmpty() && indent + line.size() + 1 + item.size() > 90) {
            out += line + '\n' + QString(indent, ' ');
            line.clear();
        }
        line += (line.isEmpty() ? "" : " ") + item;
    }
    return out + line;
}

QString helpText() {
    return QString(R"(Usage: quillotone [PATH...]
       quillotone --convert [OPTIONS] PATH...

Without --convert the window opens with the files and folders added to the list as a
drop adds them.

With --convert the files are converted without a window. Folders are searched with their
sub-folders for .mp3, .ogg, .wav and .wma files, in the order the paths are given. The
list's checks, the output naming, the conversion and the tagging are the window's. The
settings are the window's stored settings (or those of --settings FILE); the options
change them for this run only, and no settings are written.

Options:
  --format mp3|ogg|wav|wma  the output format
  --quality TEXT            an entry of the format's quality list exactly as the window
                            shows it, e.g. "192 kbit/s"; a wrong one lists the entries
  --target DIR              the target folder
  --keep-names              outputs keep the source's name
  --prefix TEXT             outputs are named TEXT and a number
  --pattern TEXT            outputs are named by a pattern of tags, such as
                            "<artist>\<album>\<number> - <title>" ("\" makes a sub-folder)
  --keep-tree               with --keep-names or --prefix, each output goes into the
                            sub-folders its source has below the folder given
  --copy-tags yes|no        carry the source's pictures and other tags beside the list's
                            fields, or not; without it the stored setting holds
  --write-format TEXT       the tags written into the outputs, one of:
                            %1
  --overwrite yes|no        replace or skip an output that exists; without it an output
                            is skipped when "Prompt before overwriting" is on, else replaced
  --jobs N                  files at once, 0 = one per core; without it the stored
                            setting holds
  --settings FILE           read the settings from FILE, a file of the window's form
  --help                    show this text
  --version                 show the version

Standard output has one line per file:
  converted SRC -> DST
  converted SRC -> DST (NOTE)   with a note, e.g. that the output was renamed because
                                another output of this run has that name
  skipped SRC: REASON
  failed SRC: MESSAGE
after a converted file whose output could not hold all of the source's tags:
  not carried SRC: WHAT, WHAT
and last "N converted, N skipped, N failed". A failed file does not end the run.
Progress goes to standard error when that is a terminal.

Exit status: 0 when every file converted, 1 when a file was skipped or failed, 2 for a
usage error.
)")
        .arg(wrapped(writeFormatTexts(), 28));
}

bool isOption(const char* arg, const char* name) {
    return qstrcmp(arg, name) == 0;
}

// Decodes one argument; false when its bytes are not UTF-8.
bool decodeArgument(const char* arg, QString& out) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    out = decoder(QByteArrayView(arg));
    return !decoder.hasError();
}

Request parse(int argc, char** argv) {
    Request r;
    bool convert = false;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        QString arg;
        const bool valid = decodeArgument(argv[i], arg);
        if (optionsEnd || !arg.startsWith("-") || arg == "-") {
            (valid ? r.paths : r.badNames) << arg;
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        QString name = arg;
        std::optional<QString> inlineValue;
        if (const qsizetype eq = arg.indexOf('='); arg.startsWith("--") && eq > 0) {
            name = arg.left(eq);
            inlineValue = arg.mid(eq + 1);
        }
        auto value = [&]() -> QString {
            if (inlineValue) return *inlineValue;
            if (i + 1 >= argc) throw UsageError{name + " needs a value"};
            QString v;
            decodeArgument(argv[++i], v);
            return v;
        };
        auto flag = [&] {
            if (inlineValue) throw UsageError{name + " takes no value"};
        };
        if (name == "--convert") {
            flag();
            convert = true;
        } else if (name == "--help" || name == "-h") {
            flag();
            r.help = true;
        } else if (name == "--version") {
            flag();
            r.version = true;
        } else if (name == "--format") {
            const QString v = value();
            for (int f = 0; f < kOutFormatCount; ++f)
                if (v.compare(FormatNames[f], Qt::CaseInsensitive) == 0) r.format = OutFormat(f);
            if (!r.format) throw UsageError{"unknown format " + quoted(v) + "; use mp3, ogg, wav or wma"};
        } else if (name == "--quality") {
            r.quality = value();
        } else if (name == "--target") {
            r.target = value();
            if (r.target->isEmpty()) throw UsageError{"--target needs a folder"};
        } else if (name == "--keep-names") {
            flag();
            r.keepNames = true;
        } else if (name == "--keep-tree") {
            flag();
            r.keepTree = true;
        } else if (name == "--copy-tags") {
            const QString v = value();
            if (v != "yes" && v != "no") throw UsageError{"--copy-tags takes yes or no, not " + quoted(v)};
            r.copyTags = v == "yes";
        } else if (name == "--prefix") {
            r.prefix = value();
        } else if (name == "--pattern") {
            r.pattern = value();
        } else if (name == "--write-format") {
            const QString v = value();
            const qsizetype index = writeFormatTexts().indexOf(v);
            if (index < 0)
                throw UsageError{"unknown write format " + quoted(v) + "; use one of " +
                                 quotedList(writeFormatTexts())};
            r.writeFormat = int(index);
        } else if (name == "--jobs") {
            const QString v = value();
            bool ok = false;
            const int n = v.toInt(&ok);
            if (!ok || n < 0) throw UsageError{"--jobs needs a number of 0 or more, not " + quoted(v)};
            r.jobs = n;
        } else if (name == "--overwrite") {
            const QString v = value();
            if (v != "yes" && v != "no") throw UsageError{"--overwrite takes yes or no, not " + quoted(v)};
            r.overwrite = v == "yes";
        } else if (name == "--settings") {
            r.settingsFile = value();
        } else {
            throw UsageError{"unknown option " + name};
        }
    }
    if (r.help || r.version) return r;
    if (!convert) throw UsageError{"options need --convert"};
    if (int(r.keepNames) + int(r.prefix.has_value()) + int(r.pattern.has_value()) > 1)
        throw UsageError{"give only one of --keep-names, --prefix and --pattern"};
    if (r.paths.isEmpty() && r.badNames.isEmpty()) throw UsageError{"no PATH given"};
    return r;
}

void writeLine(FILE* stream, const QString& text) {
    const QByteArray bytes = (text + '\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

// The encoder settings go through the window's inspector and quality drop-down, unseen: a pick
// and a run read them exactly as they do in the window.
class EncoderParts {
public:
    EncoderParts(IAudioConvert& convert, EncoderSettings& settings, OutFormat format)
        : inspector_(settings, &convert.Mp3Encoder()),
          quality_(formats_, qualities_, pane_, inspector_, settings, &convert) {
        QStringList wma;
        ReadWmaQualities(convert, wma);
        inspector_.SetWmaQualities(wma);
        inspector_.ShowSettings();
        for (const char* name : OutFormatNames)
            formats_.addItem(name);
        formats_.setCurrentIndex(int(format));
        quality_.cmboutFormatChange();
    }

    // Picks the entry as the user picks it in the drop-down.
    void PickQuality(const QString& text) {
        const int index = qualities_.findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (index < 0) {
            QStringList entries;
            for (int i = 0; i < qualities_.count(); ++i)
                entries << qualities_.itemText(i);
            throw UsageError{"the quality " + quoted(text) + " is not in the " +
                             FormatNames[formats_.currentIndex()] + " list: " + quotedList(entries)};
        }
        qualities_.setCurrentIndex(index);
        quality_.cmbQualityChange();
    }

    // What the window's run host does when a run starts.
    void Apply() {
        inspector_.ReadInspector();
        quality_.cmboutFormatChange();
    }

private:
    QComboBox formats_;
    QComboBox qualities_;
    QLabel pane_;
    Inspector inspector_;
    QualityController quality_;
};

// The run's host on the console: one line per row on stdout, progress on a terminal's stderr,
// no one to ask (the overwrite question has its answer from the start).
class ConsoleRunHost final : public IConversionRunHost {
public:
    ConsoleRunHost(ConversionListModel& model, EncoderParts& encoder, RunSettings settings, bool overwrite)
        : model_(model), encoder_(encoder), settings_(std::move(settings)), overwrite_(overwrite),
          progress_(isatty(STDERR_FILENO) == 1) {}

    int RowCount() const override { return model_.rowCount(); }
    NamingRow RowCells(int row) const override { return NamingRowOf(model_, row); }
    void SetMark(int row, RowMark mark) override {
        model_.SetMark(row, mark);
        if (mark == RowMark::BeingConverted) {
            row_ = row;
            showProgress(0);
        }
    }
    void ScrollToRow(int) override {}
    RunSettings Settings() const override { return settings_; }
    void ApplyEncoderSettings() override {
        try {
            encoder_.Apply();
        } catch (const std::exception& e) {
            lastError_ = QString::fromUtf8(e.what());
            throw;
        }
    }
    void SetCaption(const QString&) override {}
    void SetProgressVisible(bool visible) override {
        if (!visible) clearProgress();
    }
    void SetProgressValue(int percent) override { showProgress(percent); }
    void SetRunControlsEnabled(bool) override {}
    bool AskYesNo(const QString&, const QString&) override { return overwrite_; }
    void ShowErrorBox(const QString&, const QString& text) override {
        lastError_ = oneLine(TConversionRun::ErrorBoxMessage(text));
    }
    void ShowPlainMessage(const QString&) override {} // the summary line says it
    void ExploreFolder(const QString&) override {}    // no desktop to open it on
    void ShowGeneralError(const QString& text) override { lastError_ = oneLine(text); }
    // Several files at once end in any order: the lines come in list order all the same.
    void RowFinished(const RowResult& r) override {
        reported_.insert(r.row);
        QStringList& lines = pending_[r.row];
        switch (r.outcome) {
        case RowOutcome::Converted:
            lines << "converted " + r.source + " -> " + r.destination +
                         (r.reason.isEmpty() ? QString() : " (" + r.reason + ")");
            if (!r.notCarried.isEmpty()) lines << "not carried " + r.source + ": " + r.notCarried.join(", ");
            ++converted_;
            break;
        case RowOutcome::Skipped:
            lines << "skipped " + r.source + ": " + r.reason;
            ++skipped_;
            break;
        case RowOutcome::Failed:
            lines << "failed " + r.source + ": " + r.reason;
            ++failed_;
            break;
        }
        for (auto next = pending_.begin(); next != pending_.end() && next->first == printed_;
             next = pending_.erase(next), ++printed_)
            for (const QString& line : next->second)
                Print(line);
    }

    void Skipped(const QString& source, const QString& reason) {
        Print("skipped " + source + ": " + reason);
        ++skipped_;
    }
    void Print(const QString& line) {
        clearProgress();
        writeLine(stdout, line);
        std::fflush(stdout);
    }
    void NoteError(const QString& text) { lastError_ = oneLine(text); }
    bool HasError() const { return !lastError_.isEmpty(); }

    // Rows the run did not report: the one an error ended it on failed, the rest were not reached.
    void ReportUnfinished(bool started) {
        for (int row = 0; row < model_.rowCount(); ++row) {
            if (auto done = pending_.find(row); done != pending_.end()) {
                for (const QString& line : done->second)
                    Print(line);
                continue;
            }
            if (reported_.count(row)) continue;
            const QString source = model_.Path(row);
            if (started && model_.Mark(row) != RowMark::NotConverted) {
                Print("failed " + source + ": " + (lastError_.isEmpty() ? "the run ended here" : lastError_));
                ++failed_;
            } else if (started) {
                Skipped(source, "the run ended before this file");
            } else {
                Skipped(source, lastError_.isEmpty() ? "the run did not start" : lastError_);
            }
        }
    }

    int ExitStatus() {
        clearProgress();
        writeLine(stdout,
                  QString("%1 converted, %2 skipped, %3 failed").arg(converted_).arg(skipped_).arg(failed_));
        std::fflush(stdout);
        return skipped_ + failed_ == 0 ? 0 : 1;
    }

private:
    static QString oneLine(QString text) { return text.replace("\r\n", " ").replace('\n', ' ').simplified(); }
    void showProgress(int percent) {
        if (!progress_ || row_ < 0) return;
        const QString line = QString("\r[%1/%2] %3% %4\x1b[K")
                                 .arg(row_ + 1)
                                 .arg(model_.rowCount())
                                 .arg(percent)
                                 .arg(ConversionList::FileNamePart(model_.Path(row_)));
        const QByteArray bytes = line.toUtf8();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        progressShown_ = true;
    }
    void clearProgress() {
        if (!progressShown_) return;
        std::fputs("\r\x1b[K", stderr);
        progressShown_ = false;
    }

    ConversionListModel& model_;
    EncoderParts& encoder_;
    RunSettings settings_;
    bool overwrite_;
    bool progress_;
    bool progressShown_ = false;
    int row_ = -1;
    std::set<int> reported_;
    std::map<int, QStringList> pending_; // reported rows waiting for an earlier one
    int printed_ = 0;                    // the rows before it are printed
    QString lastError_;
    int converted_ = 0, skipped_ = 0, failed_ = 0;
};

// The options over the stored settings, for this run only.
void applyRequest(const Request& r, WindowOptions& o) {
    if (r.format) o.OutFormat = int(*r.format);
    if (r.target) o.TargetFolder = AbsolutePaths({*r.target}).front();
    if (r.keepNames) o.Rename = false;
    if (r.keepTree) o.KeepFolderStructure = true;
    if (r.jobs) o.FilesAtOnce = *r.jobs;
    if (r.copyTags) o.CopySourceTags = *r.copyTags;
    if (r.prefix) {
        o.Rename = o.Prefix = true;
        o.Property = false;
        o.PrefixText = *r.prefix;
    }
    if (r.pattern) {
        o.Rename = o.Property = true;
        o.Prefix = false;
    }
    if (r.writeFormat) o.WriteFormat = *r.writeFormat;
    // The rename drop-down shows the stored pattern; a typed one replaces it.
    if (r.pattern)
        o.PropertyText = *r.pattern;
    else if (o.PropertyText.isEmpty() && o.PropertyIndex >= 0 && o.PropertyIndex < int(RenamePatterns.size()))
        o.PropertyText = RenamePatterns[size_t(o.PropertyIndex)];
}

int usage(const QString& text) {
    writeLine(stderr, QString(Program) + ": " + text);
    return 2;
}

} // namespace

bool IsConsoleRun(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (isOption(argv[i], "--")) return false;
        if (isOption(argv[i], "--convert") || isOption(argv[i], "--help") || isOption(argv[i], "-h") ||
            isOption(argv[i], "--version"))
            return true;
    }
    return false;
}

QStringList AbsolutePaths(const QStringList& paths) {
    QStringList out;
    for (const QString& p : paths)
        out << QDir::cleanPath(QFileInfo(p).absoluteFilePath());
    return out;
}

int ConsoleMain(int argc, char** argv) {
    Request request;
    try {
        request = parse(argc, argv);
    } catch (const UsageError& e) {
        return usage(e.text);
    }
    if (request.help) {
        writeLine(stdout, helpText().trimmed());
        return 0;
    }
    if (request.version) {
        writeLine(stdout, QString("Quillotone ") + ProgramVersion);
        return 0;
    }

    // The list model keeps icons, which need a GUI application; no display is needed for them.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int appArgc = 1;
    // What the platform says while it starts (a missing runtime folder and the like) is no
    // concern of a console run; its output is for the run's lines.
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QApplication app(appArgc, argv);
    qInstallMessageHandler(previous);
    QApplication::setApplicationName("Quillotone");
    QApplication::setOrganizationName("Quillotone");

    SettingsStore store = UserSettingsStore();
    if (request.settingsFile) {
        const QFileInfo info(*request.settingsFile);
        if (!info.isFile() || !info.isReadable())
            return usage("cannot read the settings file " + quoted(*request.settingsFile));
        store = SettingsStore(info.absoluteFilePath());
    }
    StoredSettings stored;
    store.Read(stored);
    applyRequest(request, stored.window);
    const std::optional<OutFormat> format = OutFormatAt(stored.window.OutFormat);
    if (!format) return usage("the settings choose no output format; give --format");

    std::unique_ptr<IAudioConvert> convert;
    std::unique_ptr<IAudioInformation2> information;
    std::unique_ptr<EncoderParts> encoder;
    try {
        convert = std::make_unique<TAudioConvert>();
        information = std::make_unique<TAudioInformation2>();
        convert->SetCreationSetting(-1);
        encoder = std::make_unique<EncoderParts>(*convert, stored.encoder, *format);
        if (request.quality) encoder->PickQuality(*request.quality);
    } catch (const UsageError& e) {
        return usage(e.text);
    } catch (const std::exception& e) {
        writeLine(stderr, QString(Program) + ": " + QString::fromUtf8(e.what()));
        return 1;
    }

    RunSettings settings = RunSettingsFrom(stored.window);
    settings.goOnAfterError = true;
    // No one can be asked: without --overwrite, "Prompt before overwriting" means "skip".
    const bool overwrite = request.overwrite.value_or(!settings.promptExist);
    settings.promptExist = true;
    settings.showSuccess = false;
    settings.openDestination = false;

    ConversionListModel model;
    QtUserInterface ui; // the list's Add Files dialogs only; a console run never opens them
    ConversionList list(model, ui);
    list.SetInformation(information.get());
    ConsoleRunHost host(model, *encoder, settings, overwrite);

    for (const QString& name : request.badNames)
        host.Skipped(name, "The name is not valid UTF-8");
    DropImport drops(list);
    drops.ErrorRefusesFile = true;
    QObject::connect(&drops, &DropImport::Refused, &drops,
                     [&host](const QString& path, const QString& reason) { host.Skipped(path, reason); });
    const QString importError = drops.Import(AbsolutePaths(request.paths));
    if (!importError.isEmpty()) writeLine(stderr, QString(Program) + ": " + importError);

    TConversionRun run(*convert, host);
    run.SetMakeConvert([&stored](OutFormat f) {
        auto further = std::make_unique<TAudioConvert>();
        further->SetCreationSetting(-1);
        ApplyOutputFormat(*further, stored.encoder, f);
        return std::unique_ptr<IAudioConvert>(std::move(further));
    });
    TagConvertedFileFn tag = TagFromRows(model, [options = stored.window] { return options; });
    run.SetTagConvertedFile([&host, tag](const QString& destination, int row, OutFormat f) {
        try {
            return tag(destination, row, f);
        } catch (const std::exception& e) {
            host.NoteError(QString::fromUtf8(e.what()));
            throw;
        }
    });
    bool finished = false;
    QObject::connect(&run, &TConversionRun::Finished, &app, [&] {
        finished = true;
        QCoreApplication::quit();
    });

    bool started = false;
    if (model.rowCount() > 0) {
        run.ActConvertExecute();
        started = finished || run.IsConverting();
        if (!finished && run.IsConverting()) app.exec();
        // The run says nothing when it cannot start for want of a target folder.
        if (!started && !host.HasError()) {
            if (settings.targetFolder.isEmpty())
                host.NoteError("no target folder; give --target");
            else if (!QFileInfo(settings.targetFolder).isDir())
                host.NoteError("the target folder " + quoted(settings.targetFolder) + " cannot be created");
        }
    }
    host.ReportUnfinished(started);
    return host.ExitStatus();
}

void OpenPaths(TfrmMain& window, const QStringList& paths) {
    if (paths.isEmpty()) return;
    const QStringList absolute = AbsolutePaths(paths);
    QTimer::singleShot(0, &window,
                       [&window, absolute] { window.AddPaths(DropImport::DroppedPaths(absolute)); });
}

} // namespace quillotone
