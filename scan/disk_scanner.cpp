#include "scan/disk_scanner.h"

#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QSettings>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillotone {

namespace {

constexpr TdcScanAttribute kSixMembers[] = {saNormal, saArchive, saReadOnly, saHidden, saSystem, saDirectory};

struct AttributeBit {
    TdcScanAttribute member;
    unsigned bit;
};
constexpr AttributeBit kAttributeBits[] = {
    {saNormal, kAttrNormal}, {saArchive, kAttrArchive}, {saReadOnly, kAttrReadOnly},
    {saHidden, kAttrHidden}, {saSystem, kAttrSystem},   {saDirectory, kAttrDirectory},
};

bool holdsAllSix(TdcScanAttributes set) {
    for (auto m : kSixMembers)
        if (!set.Has(m)) return false;
    return true;
}

// "*" any run, "?" one character; `eq` compares one mask character with one name character.
template <class C, class Eq>
bool wildcardMatch(const C* mask, size_t maskLen, const C* name, size_t nameLen, Eq eq) {
    size_t m = 0, n = 0;
    size_t starMask = SIZE_MAX, starName = 0;
    while (n < nameLen) {
        if (m < maskLen && mask[m] == C('*')) {
            starMask = m++;
            starName = n;
        } else if (m < maskLen && (mask[m] == C('?') || eq(mask[m], name[n]))) {
            ++m;
            ++n;
        } else if (starMask != SIZE_MAX) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < maskLen && mask[m] == C('*'))
        ++m;
    return m == maskLen;
}

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool isAscii(const char* s, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (static_cast<unsigned char>(s[i]) >= 0x80) return false;
    return true;
}

std::u32string foldedUcs4(const QString& s) {
    auto ucs4 = s.toCaseFolded().toUcs4();
    return std::u32string(reinterpret_cast<const char32_t*>(ucs4.constData()),
                          static_cast<size_t>(ucs4.size()));
}

std::string exclusionKey(const std::string& path) {
    return QString::fromUtf8(path.data(), qsizetype(path.size())).toCaseFolded().toStdString();
}

// Local time at the two-second resolution of the old file-date format, which holds the years 1980-2107.
QDateTime fileDateTime(const struct timespec& ts) {
    QDateTime local = QDateTime::fromSecsSinceEpoch(ts.tv_sec);
    QDate date = local.date();
    if (!date.isValid() || date.year() < 1980 || date.year() > 2107) return {};
    QTime time = local.time();
    return QDateTime(date, QTime(time.hour(), time.minute(), time.second() & ~1));
}

struct Listed {
    std::string name;
    unsigned char type;
};

// Exact when the bytes are UTF-8: anything else comes back from Qt's round trip changed.
bool isValidUtf8(const std::string& bytes) {
    if (isAscii(bytes.data(), bytes.size())) return true;
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size())).toUtf8() ==
           QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size()));
}

QString kindOf(mode_t mode) {
    if (S_ISFIFO(mode)) return QStringLiteral("a FIFO");
    if (S_ISSOCK(mode)) return QStringLiteral("a socket");
    if (S_ISCHR(mode) || S_ISBLK(mode)) return QStringLiteral("a device");
    return QStringLiteral("not a regular file");
}

} // namespace

// ---- attributes

TdcScanAttributes TdcScanAttributes::FromFileBits(unsigned bits) {
    TdcScanAttributes set;
    for (const auto& ab : kAttributeBits)
        if (bits & ab.bit) set.Include(ab.member);
    if (bits == 0) set.Include(saNormal);
    return set;
}

TdcScanAttributes TdcScanAttributes::Assign(TdcScanAttributes current, TdcScanAttributes assigned) {
    if (assigned.Has(saAny) && !current.Has(saAny)) return All();
    if (assigned.Has(saAny) && !holdsAllSix(assigned))
        assigned.Exclude(saAny);
    else if (holdsAllSix(assigned))
        assigned.Include(saAny);
    return assigned;
}

bool MaskMatches(const QString& mask, const QString& name) {
    if (mask == QLatin1String("*") || mask == QLatin1String("*.*")) return true;
    auto m = foldedUcs4(mask), n = foldedUcs4(name);
    return wildcardMatch(m.data(), m.size(), n.data(), n.size(),
                         [](char32_t a, char32_t b) { return a == b; });
}

// A compiled mask: ASCII names against an ASCII mask take the fast byte path.
struct TdcMultiDiskScanner::Mask {
    explicit Mask(const QString& text)
        : all(text == QLatin1String("*") || text == QLatin1String("*.*")), folded(foldedUcs4(text)) {
        QByteArray utf8 = text.toUtf8();
        ascii = isAscii(utf8.constData(), size_t(utf8.size()));
        for (char c : utf8)
            lowered.push_back(asciiLower(c));
    }
    bool matches(const std::string& name) const {
        if (all) return true;
        if (ascii && isAscii(name.data(), name.size()))
            return wildcardMatch(lowered.data(), lowered.size(), name.data(), name.size(),
                                 [](char a, char b) { return a == asciiLower(b); });
        auto n = foldedUcs4(QString::fromUtf8(name.data(), qsizetype(name.size())));
        return wildcardMatch(folded.data(), folded.size(), n.data(), n.size(),
                             [](char32_t a, char32_t b) { return a == b; });
    }

    bool all;
    bool ascii = false;
    std::string lowered;
    std::u32string folded;
};

// ---- scanner

namespace {

// A batch goes to the main thread when it holds this many reports, or when its oldest report has
// waited this long (so that a slow walk still shows its progress).
constexpr size_t kBatchReports = 256;
constexpr int64_t kBatchNanoseconds = 25'000'000;

int64_t steadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

// One report for the main thread, with the totals as they stood when it was made.
struct TdcMultiDiskScanner::Report {
    enum class Kind { Found, Refused, Folder, FolderMissing } kind;
    TdcFoundFile found;
    TdcRefusedFile refused;
    QString folder;
    uint32_t totalFiles = 0;
    uint64_t totalSize = 0;
};

TdcMultiDiskScanner::TdcMultiDiskScanner() : thread_(std::make_unique<TdcCustomThread>()) {
    thread_->SetOnRun([this](TdcCustomThread*) { scan(); });
    thread_->SetOnFinish([this](TdcCustomThread*) { finished(); });
}

TdcMultiDiskScanner::~TdcMultiDiskScanner() {
    thread_->SetDestroying();
    StopScan();
    thread_.reset(); // waits for the worker while the rest of the scanner still exists
}

void TdcMultiDiskScanner::SetSearchAttributes(TdcScanAttributes attributes) {
    attributes_ = TdcScanAttributes::Assign(attributes_, attributes);
}

void TdcMultiDiskScanner::prepare() {
    config_ = Config{};
    for (const auto* p : include_) {
        config_.includeMasks.push_back(p->PathMask);
        config_.includeSubfolders.push_back(p->IncludeSubfolders);
    }
    for (const auto* p : exclude_) {
        config_.excludeMasks.push_back(p->PathMask);
        config_.excludeSubfolders.push_back(p->IncludeSubfolders);
    }
    config_.matches = Matches;
    config_.time = SearchTime;
    config_.size = SearchSize;
    config_.attributes = attributes_;
}

void TdcMultiDiskScanner::StartScan() {
    if (IsScanning()) return;
    // From inside the last worker's own handler a restart could never wait for that worker.
    if (IsMainThread() && thread_->Worker().InMainThreadCall()) return;
    prepare();
    totalFiles_.store(0);
    totalSize_.store(0);
    startTime_ = QDateTime::currentDateTime();
    thread_->Start();
}

uint32_t TdcMultiDiskScanner::TotalFiles() const {
    if (delivering_ && IsMainThread()) return delivering_->totalFiles;
    return totalFiles_.load();
}

uint64_t TdcMultiDiskScanner::TotalSize() const {
    if (delivering_ && IsMainThread()) return delivering_->totalSize;
    return totalSize_.load();
}

void TdcMultiDiskScanner::queue(Report&& report) {
    report.totalFiles = totalFiles_.load();
    report.totalSize = totalSize_.load();
    if (pending_.empty()) pendingSince_ = steadyNanoseconds();
    pending_.push_back(std::move(report));
    if (pending_.size() >= kBatchReports || steadyNanoseconds() - pendingSince_ >= kBatchNanoseconds) flush();
}

void TdcMultiDiskScanner::flush() {
    if (pending_.empty()) return;
    std::vector<Report> batch;
    batch.swap(pending_);
    batch.reserve(kBatchReports);
    // Nothing of a stopped scan is reported any more.
    if (!stop())
        thread_->RunOnMainThread([&] { deliver(batch); });
    else
        uncount(batch, 0);
    batch.clear();
    pending_.swap(batch); // keeps the room for the next batch
}

void TdcMultiDiskScanner::deliver(const std::vector<Report>& reports) {
    for (size_t i = 0; i < reports.size(); ++i) {
        const Report& report = reports[i];
        if (thread_->IsStopRequested()) {
            uncount(reports, i);
            break;
        }
        delivering_ = &report;
        try {
            switch (report.kind) {
            case Report::Kind::Found:
                if (OnFileFound) OnFileFound(this, report.found);
                break;
            case Report::Kind::Refused:
                if (OnFileRefused) OnFileRefused(this, report.refused);
                break;
            case Report::Kind::Folder:
                if (OnScanFolder) OnScanFolder(this, report.folder);
                break;
            case Report::Kind::FolderMissing:
                if (OnFolderNotExist) OnFolderNotExist(this, report.folder);
                break;
            }
        } catch (...) {
            delivering_ = nullptr;
            // As with one call per report: an error is dropped when errors are handled, and
            // otherwise ends the batch and goes back to the worker.
            if (!thread_->HandleErrors()) throw;
        }
        delivering_ = nullptr;
    }
}

void TdcMultiDiskScanner::uncount(const std::vector<Report>& reports, size_t from) {
    // The totals count what was reported: a stop leaves the rest of a batch out of them too.
    for (size_t i = from; i < reports.size(); ++i) {
        if (reports[i].kind != Report::Kind::Found) continue;
        totalFiles_.fetch_sub(1);
        totalSize_.fetch_sub(reports[i].found.FileSize);
    }
}

void TdcMultiDiskScanner::StopScan() {
    if (!IsScanning()) return;
    thread_->RequestStop();
    if (OnStopped && !thread_->Destroying()) OnStopped(this);
}

void TdcMultiDiskScanner::scan() {
    found_.clear();
    excluded_.clear();
    globalExcludeMasks_.clear();
    pending_.clear();
    lastTimeKnown_ = false; // the time zone may have changed since the last scan
    try {
        if (OnExcludingBegin) OnExcludingBegin(this);
        processList(config_.excludeMasks, config_.excludeSubfolders, Mode::Exclude);
        flush(); // missing exclude folders are reported before the exclusion pass ends
        if (OnExcludingEnd) OnExcludingEnd(this);
        if (stop()) return;
        duplicateCheck_ = config_.includeMasks.size() > 1;
        processList(config_.includeMasks, config_.includeSubfolders, Mode::Include);
    } catch (...) {
        // What was found before the error is still reported, before the end.
        flush();
        throw;
    }
    flush();
}

void TdcMultiDiskScanner::finished() {
    if (!thread_->Destroying() && OnScanDone)
        OnScanDone(this, totalFiles_.load(), totalSize_.load(),
                   startTime_.secsTo(QDateTime::currentDateTime()));
    excluded_.clear();
    globalExcludeMasks_.clear();
}

void TdcMultiDiskScanner::processList(const std::vector<QString>& masks, const std::vector<bool>& subfolders,
                                      Mode mode) {
    for (size_t i = 0; i < masks.size(); ++i) {
        if (stop()) return;
        if (masks[i].isEmpty()) continue;
        QString text = masks[i];
        text.replace(QLatin1Char('\\'), QLatin1Char('/'));
        qsizetype cut = text.lastIndexOf(QLatin1Char('/'));
        QString folder = text.left(cut + 1);
        Mask mask(text.mid(cut + 1));
        if (mode == Mode::Exclude && folder.isEmpty()) {
            globalExcludeMasks_.push_back(std::make_unique<Mask>(std::move(mask)));
            continue;
        }
        // No drives here: an empty folder is the current one, a relative one is taken from it.
        folder = folder.isEmpty() ? QDir::currentPath() : QDir::current().absoluteFilePath(folder);
        while (folder.contains(QLatin1String("//")))
            folder.replace(QLatin1String("//"), QLatin1String("/"));
        if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
        std::string native = QFile::encodeName(folder).toStdString();
        struct stat st;
        if (::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            searchFolder(native, mask, subfolders[i], mode);
        } else {
            currentFolder_ = QDir::toNativeSeparators(folder);
            if (stop()) return;
            if (OnFolderNotExist) queue(Report{Report::Kind::FolderMissing, {}, {}, currentFolder_});
        }
    }
}

QString TdcMultiDiskScanner::fileType(const std::string& name) {
    auto dot = name.rfind('.');
    std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
    for (auto& c : ext)
        c = asciiLower(c);
    auto it = typeCache_.find(ext);
    if (it != typeCache_.end()) return it->second;
    static QMimeDatabase db;
    QString type = ext.empty() ? QString()
                               : db.mimeTypeForFile(QString::fromUtf8(name.data(), qsizetype(name.size())),
                                                    QMimeDatabase::MatchExtension)
                                     .comment();
    typeCache_.emplace(ext, type);
    return type;
}

void TdcMultiDiskScanner::refuse(const std::string& path, TdcRefusal refusal, const QString& reason) {
    found_.insert(path); // a second mask over the same file says it once
    if (!OnFileRefused || stop()) return;
    queue(Report{Report::Kind::Refused,
                 {},
                 TdcRefusedFile{QFile::decodeName(QByteArray::fromStdString(path)), path, refusal, reason},
                 {}});
}

void TdcMultiDiskScanner::searchFolder(const std::string& folder, const Mask& mask, bool subfolders,
                                       Mode mode) {
    // Folders without matches do not hold back what an earlier one found.
    if (!pending_.empty() && steadyNanoseconds() - pendingSince_ >= kBatchNanoseconds) flush();
    currentFolder_ = QDir::toNativeSeparators(QFile::decodeName(QByteArray::fromStdString(folder)));
    if (OnScanFolder) {
        if (stop()) return;
        queue(Report{Report::Kind::Folder, {}, {}, currentFolder_});
    }

    // A folder that cannot be listed yields nothing. The listing is read whole and closed before the
    // sub-folders are entered, so deep trees do not hold one descriptor per level.
    int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return;
    std::vector<Listed> entries;
    if (DIR* dir = ::fdopendir(::dup(dirFd))) {
        while (dirent* e = ::readdir(dir)) {
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
            entries.push_back({e->d_name, e->d_type});
        }
        ::closedir(dir);
    }

    const Config& cfg = config_;
    // The filters; `st` describes the entry (symbolic links followed). One that cannot be read fails
    // them with `statError` set.
    int statError = 0;
    auto passes = [&](const Listed& entry, struct stat& st, unsigned& bits) {
        statError = 0;
        if (::fstatat(dirFd, entry.name.c_str(), &st, 0) != 0) {
            statError = errno;
            return false;
        }
        bits = 0;
        if (S_ISDIR(st.st_mode)) bits |= kAttrDirectory;
        if (!(st.st_mode & S_IWUSR)) bits |= kAttrReadOnly;
        if (entry.name[0] == '.') bits |= kAttrHidden;
        if (bits == 0) bits = kAttrNormal;
        for (const auto& ab : kAttributeBits)
            if ((bits & ab.bit) && !cfg.attributes.Has(ab.member)) return false;
        if (!cfg.size.AnySize) {
            int64_t size = st.st_size;
            if (size < int64_t(cfg.size.MinSizeKB) * 1024 || size > int64_t(cfg.size.MaxSizeKB) * 1024)
                return false;
        }
        if (!cfg.time.AnyTime) {
            QDateTime t;
            switch (cfg.time.FindFiles) {
            case ffModified:
                t = fileDateTime(st.st_mtim);
                break;
            case ffAccessed:
                t = fileDateTime(st.st_atim);
                break;
            case ffCreated: {
                struct statx sx;
                if (::statx(dirFd, entry.name.c_str(), 0, STATX_BTIME, &sx) == 0 &&
                    (sx.stx_mask & STATX_BTIME))
                    t = fileDateTime(timespec{sx.stx_btime.tv_sec, long(sx.stx_btime.tv_nsec)});
                break;
            }
            }
            if (!t.isValid() || t < cfg.time.SinceTime || t > cfg.time.TillTime) return false;
        }
        if (duplicateCheck_ && found_.count(folder + entry.name)) return false;
        return true;
    };

    struct stat st;
    unsigned bits = 0;
    if (mode == Mode::Include) {
        for (const auto& global : globalExcludeMasks_) {
            if (stop()) break;
            for (const auto& entry : entries)
                if (global->matches(entry.name) && passes(entry, st, bits))
                    excluded_.insert(exclusionKey(folder + entry.name));
        }
    }

    if (!stop()) {
        for (const auto& entry : entries) {
            if (!mask.matches(entry.name)) continue;
            std::string path = folder + entry.name;
            if (!passes(entry, st, bits)) {
                // a hidden name that the attributes leave out stays out without a word
                bool hiddenOut = entry.name[0] == '.' && !cfg.attributes.Has(saHidden);
                if (statError && !hiddenOut && mode == Mode::Include &&
                    !(duplicateCheck_ && found_.count(path)) &&
                    (excluded_.empty() || !excluded_.count(exclusionKey(path))))
                    refuse(path, TdcRefusal::Unreadable,
                           QStringLiteral("Cannot be read: ") +
                               QString::fromLocal8Bit(std::strerror(statError)));
                if (stop()) break;
                continue;
            }
            if (mode == Mode::Exclude) {
                excluded_.insert(exclusionKey(path));
            } else if (!excluded_.empty() && excluded_.count(exclusionKey(path))) {
                // left out on purpose
            } else if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
                refuse(path, TdcRefusal::NotRegular,
                       QStringLiteral("Not a regular file (%1)").arg(kindOf(st.st_mode)));
            } else if (!isValidUtf8(path)) {
                refuse(path, TdcRefusal::InvalidName, QStringLiteral("The name is not valid UTF-8"));
            } else {
                found_.insert(path);
                uint64_t size = uint64_t(st.st_size);
                uint32_t total = totalFiles_.fetch_add(1) + 1;
                uint64_t totalSize = totalSize_.fetch_add(size) + size;
                if (OnFileFound && !stop()) {
                    Report report{Report::Kind::Found, {}, {}, {}};
                    TdcFoundFile& file = report.found;
                    file.FileName = QFile::decodeName(QByteArray::fromStdString(path));
                    file.NativeName = path;
                    file.FileType = fileType(entry.name);
                    file.FileSize = size;
                    // The conversion to local time is the dearest step of a report; files of one
                    // folder were mostly written in the same second.
                    if (st.st_mtim.tv_sec != lastTimeSeconds_ || !lastTimeKnown_) {
                        lastTime_ = fileDateTime(st.st_mtim);
                        lastTimeSeconds_ = st.st_mtim.tv_sec;
                        lastTimeKnown_ = true;
                    }
                    file.FileTime = lastTime_;
                    file.FileAttributes = TdcScanAttributes::FromFileBits(bits);
                    file.TotalFiles = total;
                    file.TotalSize = totalSize;
                    queue(std::move(report));
                }
                if (cfg.matches.Limited && total == cfg.matches.MaxMatches) {
                    flush(); // the last allowed file is reported before the stop
                    StopScan();
                }
            }
            if (stop()) break;
        }
    }
    bool stopped = stop();
    std::vector<std::string> folders;
    if (!stopped && subfolders) {
        // Links to folders are not followed, so a link loop cannot trap the walk.
        for (const auto& entry : entries) {
            bool isDir = entry.type == DT_DIR;
            if (entry.type == DT_UNKNOWN) {
                struct stat lst;
                isDir = ::fstatat(dirFd, entry.name.c_str(), &lst, AT_SYMLINK_NOFOLLOW) == 0 &&
                        S_ISDIR(lst.st_mode);
            }
            if (isDir) folders.push_back(folder + entry.name + '/');
        }
    }
    ::close(dirFd);
    entries = {};
    for (const auto& sub : folders) {
        searchFolder(sub, mask, subfolders, mode);
        if (stop()) break;
    }
}

// ---- stored form

namespace {

void putU32(QByteArray& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

void writeList(QByteArray& out, const TDiskScanList& list) {
    putU32(out, uint32_t(list.Count()));
    for (const auto* p : list) {
        QByteArray bytes = p->PathMask.toUtf8();
        putU32(out, uint32_t(bytes.size()));
        out.append(bytes);
        out.append(char(p->IncludeSubfolders ? 1 : 0));
    }
}

// Every length is checked against what is left of the data before it is used.
bool readList(const QByteArray& data, qsizetype& pos, std::vector<TDiskScannerPath>& out) {
    auto getU32 = [&](uint32_t& v) {
        if (data.size() - pos < 4) return false;
        v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(uint8_t(data[pos + i])) << (8 * i);
        pos += 4;
        return true;
    };
    uint32_t count;
    if (!getU32(count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t len;
        if (!getU32(len) || uint64_t(data.size() - pos) < uint64_t(len) + 1) return false;
        TDiskScannerPath p;
        p.PathMask = QString::fromUtf8(data.constData() + pos, qsizetype(len));
        pos += len;
        p.IncludeSubfolders = data[pos++] != 0;
        out.push_back(std::move(p));
    }
    return true;
}

} // namespace

QByteArray TdcMultiDiskScanner::WriteScannerLists() const {
    QByteArray out;
    writeList(out, include_);
    writeList(out, exclude_);
    return out;
}

bool TdcMultiDiskScanner::ReadScannerLists(const QByteArray& data) {
    qsizetype pos = 0;
    std::vector<TDiskScannerPath> inc, exc;
    if (!readList(data, pos, inc) || !readList(data, pos, exc) || pos != data.size()) return false;
    include_.Clear();
    exclude_.Clear();
    for (auto& p : inc)
        include_.AddPath(p.PathMask, p.IncludeSubfolders);
    for (auto& p : exc)
        exclude_.AddPath(p.PathMask, p.IncludeSubfolders);
    return true;
}

void TdcMultiDiskScanner::SaveLists(QSettings& settings) const {
    if (include_.Count() == 0 && exclude_.Count() == 0)
        settings.remove(QStringLiteral("ScannerLists"));
    else
        settings.setValue(QStringLiteral("ScannerLists"), WriteScannerLists());
}

bool TdcMultiDiskScanner::LoadLists(const QSettings& settings) {
    QVariant value = settings.value(QStringLiteral("ScannerLists"));
    if (!value.isValid()) return false;
    return ReadScannerLists(value.toByteArray());
}

} // namespace quillotone
