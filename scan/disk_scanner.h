// The disk scanner: searches folder trees for files whose names match masks, on a worker thread, and hands
// every file it finds to the main thread.
#pragma once

#include "scan/object_lists.h"
#include "scan/worker_thread.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class QSettings;

namespace quillotone {

enum TdcScanAttribute { saNormal, saArchive, saReadOnly, saHidden, saSystem, saDirectory, saAny };

// The file-system attribute bits that the members stand for. Here archive and system are never set,
// hidden means the name starts with ".", read-only that the owner may not write.
enum : unsigned {
    kAttrReadOnly = 0x01,
    kAttrHidden = 0x02,
    kAttrSystem = 0x04,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
    kAttrNormal = 0x80,
};

class TdcScanAttributes {
public:
    constexpr TdcScanAttributes() = default;
    constexpr TdcScanAttributes(std::initializer_list<TdcScanAttribute> members) {
        for (auto m : members)
            set_ |= 1u << m;
    }
    static constexpr TdcScanAttributes All() {
        return {saNormal, saArchive, saReadOnly, saHidden, saSystem, saDirectory, saAny};
    }
    // A file's attribute bits as a set; no bits gives saNormal.
    static TdcScanAttributes FromFileBits(unsigned bits);
    // What a property holding `current` becomes when `assigned` is assigned to it: saAny stays consistent
    // with the six members it stands for.
    static TdcScanAttributes Assign(TdcScanAttributes current, TdcScanAttributes assigned);

    bool Has(TdcScanAttribute member) const { return set_ & (1u << member); }
    TdcScanAttributes& Include(TdcScanAttribute member) {
        set_ |= 1u << member;
        return *this;
    }
    TdcScanAttributes& Exclude(TdcScanAttribute member) {
        set_ &= ~(1u << member);
        return *this;
    }
    bool operator==(const TdcScanAttributes&) const = default;

private:
    unsigned set_ = 0;
};

// One entry of a search list: a folder and a file mask in one ("/music/*.mp3"); "\" and "/" both separate.
struct TDiskScannerPath {
    QString PathMask;
    bool IncludeSubfolders = false;
};

class TDiskScanList : public TdcObjectList<TDiskScannerPath> {
public:
    int AddPath(const QString& pathMask, bool includeSubfolders) {
        return Add(new TDiskScannerPath{pathMask, includeSubfolders});
    }
};

enum TFindFilesByDateKind { ffModified, ffCreated, ffAccessed };

struct TSearchTime {
    bool AnyTime = true;
    TFindFilesByDateKind FindFiles = ffModified;
    QDateTime SinceTime; // both limits inclusive
    QDateTime TillTime;
};

struct TSearchSize {
    bool AnySize = true;
    int32_t MinSizeKB = 0; // units of 1024 bytes, both limits inclusive
    int32_t MaxSizeKB = 0;
};

struct TDiskScannerMatches {
    bool Limited = false;
    uint32_t MaxMatches = 0;
};

// What OnFileFound reports. There is no shell image list here: SysImageIndex is always 0 and no icons are
// fetched (UseIcons is kept for the stored settings only).
struct TdcFoundFile {
    QString FileName;       // full path, platform separators
    std::string NativeName; // the same path as the file system's bytes (exact even when not UTF-8)
    QString FileType;       // the MIME type's description for the file's extension
    uint64_t FileSize = 0;
    QDateTime FileTime; // last write, at two-second resolution; invalid when it cannot be converted
    TdcScanAttributes FileAttributes;
    int SysImageIndex = 0;
    uint32_t TotalFiles = 0;
    uint64_t TotalSize = 0;
};

// A file that matched but cannot be listed: the scanner reports only regular files whose full path is
// valid UTF-8, and says why it left out any other one, so that nothing is dropped unseen.
enum class TdcRefusal {
    NotRegular,  // a FIFO, socket or device: opening one can block for ever
    InvalidName, // the path is not valid UTF-8: no text names it exactly
    Unreadable,  // its details cannot be read (a dangling link, no permission)
};

struct TdcRefusedFile {
    QString FileName;       // full path; U+FFFD stands for bytes that are not UTF-8
    std::string NativeName; // the same path as the file system's bytes
    TdcRefusal Refusal = TdcRefusal::NotRegular;
    QString Reason; // the refusal in words, for a list shown to the user
};

class TdcMultiDiskScanner;
using TdcFileRefusedEvent = std::function<void(TdcMultiDiskScanner* sender, const TdcRefusedFile& file)>;
using TdcFileFoundEvent = std::function<void(TdcMultiDiskScanner* sender, const TdcFoundFile& file)>;
using TdcScanFolderEvent = std::function<void(TdcMultiDiskScanner* sender, const QString& folder)>;
using TdcScanDoneEvent = std::function<void(TdcMultiDiskScanner* sender, uint32_t totalFiles,
                                            uint64_t totalSize, int64_t elapsedTimeInSeconds)>;
using TdcNotifyEvent = std::function<void(TdcMultiDiskScanner* sender)>;

// Lists, filters and handlers are set while no scan runs. OnFileFound, OnFileRefused, OnScanFolder,
// OnFolderNotExist and OnScanDone run on the main thread while the worker waits; OnExcludingBegin and
// OnExcludingEnd on the worker; OnStopped on the thread that called StopScan.
// The worker hands its reports over in batches (one wait of the main thread per batch, not per file):
// each report still comes as its own call, in order and before OnScanDone, none after a stop, and
// while one runs TotalFiles and TotalSize read as they were when that report was made.
class TdcMultiDiskScanner {
public:
    TdcMultiDiskScanner();
    ~TdcMultiDiskScanner();
    TdcMultiDiskScanner(const TdcMultiDiskScanner&) = delete;
    TdcMultiDiskScanner& operator=(const TdcMultiDiskScanner&) = delete;

    TDiskScanList& IncludeList() { return include_; }
    TDiskScanList& ExcludeList() { return exclude_; }

    TDiskScannerMatches Matches;
    TSearchTime SearchTime;
    TSearchSize SearchSize;
    bool UseIcons = false;
    TdcScanAttributes SearchAttributes() const { return attributes_; }
    void SetSearchAttributes(TdcScanAttributes attributes);

    TdcFileFoundEvent OnFileFound;
    // A file that matches the mask and passes the filters but is not reported: not a regular file, a
    // name that is not UTF-8, or one whose details cannot be read. In order among the OnFileFound calls;
    // it counts in neither TotalFiles nor the match limit.
    TdcFileRefusedEvent OnFileRefused;
    TdcScanFolderEvent OnScanFolder;
    TdcScanFolderEvent OnFolderNotExist;
    TdcScanDoneEvent OnScanDone;
    TdcNotifyEvent OnStopped;
    TdcNotifyEvent OnExcludingBegin;
    TdcNotifyEvent OnExcludingEnd;

    void StartScan(); // returns at once; does nothing while scanning
    void StopScan();  // while scanning: asks the worker to stop and calls OnStopped at once
    bool IsScanning() const { return thread_->IsRunning(); }

    uint32_t TotalFiles() const;
    uint64_t TotalSize() const;

    // The stored form "ScannerLists": include and exclude list, each as a 32-bit entry count, then per
    // entry the 32-bit byte length of the UTF-8 PathMask, its bytes and IncludeSubfolders as one byte
    // (little-endian). Reading refuses damaged data (false) and then leaves both lists as they were.
    QByteArray WriteScannerLists() const;
    bool ReadScannerLists(const QByteArray& data);
    // "ScannerLists" in `settings`: written when either list is non-empty, removed otherwise.
    void SaveLists(QSettings& settings) const;
    bool LoadLists(const QSettings& settings);

private:
    struct Mask;
    enum class Mode { Include, Exclude };

    void prepare(); // on the main thread, before the worker starts
    void scan();    // on the worker
    void finished();
    void processList(const std::vector<QString>& masks, const std::vector<bool>& subfolders, Mode mode);
    void searchFolder(const std::string& folder, const Mask& mask, bool subfolders, Mode mode);
    bool stop() { return thread_->PollStop(); }
    QString fileType(const std::string& name);
    void refuse(const std::string& path, TdcRefusal refusal, const QString& reason);
    // Reports wait in `pending_` until a batch is full or old enough, or the scan ends.
    struct Report;
    void queue(Report&& report);
    void flush();
    void deliver(const std::vector<Report>& reports); // on the main thread
    void uncount(const std::vector<Report>& reports, size_t from);

    TDiskScanList include_;
    TDiskScanList exclude_;
    TdcScanAttributes attributes_{saNormal, saArchive, saReadOnly, saHidden, saSystem};

    // What the worker reads: a copy taken when the scan starts.
    struct Config {
        std::vector<QString> includeMasks, excludeMasks;
        std::vector<bool> includeSubfolders, excludeSubfolders;
        TDiskScannerMatches matches;
        TSearchTime time;
        TSearchSize size;
        TdcScanAttributes attributes;
    } config_;

    // Worker state; the main thread reads it only while the worker waits for a handler.
    std::unordered_set<std::string> found_;
    std::unordered_set<std::string> excluded_; // case-folded UTF-8 full paths
    std::vector<std::unique_ptr<Mask>> globalExcludeMasks_;
    bool duplicateCheck_ = false;
    QString currentFolder_; // what OnScanFolder and OnFolderNotExist are handed
    std::unordered_map<std::string, QString> typeCache_;
    // The last file time converted, by its seconds since the epoch.
    QDateTime lastTime_;
    int64_t lastTimeSeconds_ = 0;
    bool lastTimeKnown_ = false;
    std::vector<Report> pending_;
    int64_t pendingSince_ = 0; // steady-clock nanoseconds of the oldest pending report
    // What TotalFiles and TotalSize read inside a report's handler (main thread only).
    const Report* delivering_ = nullptr;

    std::atomic<uint32_t> totalFiles_{0};
    std::atomic<uint64_t> totalSize_{0};
    QDateTime startTime_;
    std::unique_ptr<TdcCustomThread> thread_;
};

// Wildcard match as the scanner does it: "*" any run of characters, "?" one character, without regard to
// case; "*" and "*.*" match every name.
bool MaskMatches(const QString& mask, const QString& name);

} // namespace quillotone
