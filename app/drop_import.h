// Adding dropped files and folders to the conversion list: files are taken as they are, folders
// are searched with all their sub-folders by the folder scanner `DiskScan`. Every file not listed
// is reported through Refused; a file that cannot be listed at all (not a regular file, a name that
// is not UTF-8) is also kept in RefusedFiles. The search and the checks work without a window
// (Import); the window's drop adds the load dialog around them and shows RefusedFiles in the
// import-error list (AddPaths), while files already listed or not audio are skipped silently.
#pragma once

#include "scan/disk_scanner.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <vector>

class QEventLoop;
class QWidget;

namespace quillotone {

class ConversionList;
class IUserInterface;

// What an import shows while it works, and how it is cancelled. The window's is the load dialog.
class IImportProgress {
public:
    virtual ~IImportProgress() = default;
    virtual void ShowPath(const QString& path) = 0; // the path being looked at
    virtual void Advance() = 0;                     // one more file was added
    virtual bool IsCancelled() const = 0;
};

// Puts paths found below a folder in path order: in each folder its files by name, then its
// sub-folders by name.
void SortInPathOrder(QStringList& paths);

// A file an import could not list, and why.
struct ImportRefusal {
    QString path;
    QString reason;
};

class DropImport final : public QObject {
    Q_OBJECT
public:
    explicit DropImport(ConversionList& list, QObject* parent = nullptr);
    ~DropImport() override; // stops a search under way

    // What a drop of `paths` keeps: files with one of the four extensions, and folders, in order.
    static QStringList DroppedPaths(const QStringList& paths);

    // Adds the files and the audio files found below the folders (each folder's in path order), in
    // order, until `progress` (if
    // any) is cancelled. Events are processed meanwhile, so a folder search runs while this waits.
    // Returns the text of an error that ended the operation (the rows added so far stay), or empty.
    QString Import(const QStringList& paths, IImportProgress* progress = nullptr);
    // The files the last Import refused, in order.
    const std::vector<ImportRefusal>& RefusedFiles() const { return refused_; }
    // Wakes Import's wait for the search, so that a cancel made in an event handler is seen at once.
    void Wake();

    // The window's operation: Import behind the load dialog, with `window` disabled meanwhile; an
    // error is shown once the window is enabled again.
    void AddPaths(const QStringList& paths, QWidget& window, IUserInterface& ui);
    // Drops of local files and folders on `viewport` go to AddPaths; other drops are refused.
    void AcceptDrops(QWidget& viewport, QWidget& window, IUserInterface& ui);

    // The folder scanner's handlers.
    void DiskScanFileFound(const QString& path);
    void DiskScanScanDone();
    void DiskScanStopped();

    TdcMultiDiskScanner DiskScan;
    bool ScanFinished = true;
    // An error while a file is added refuses that file (Refused) instead of ending the operation.
    bool ErrorRefusesFile = false;

signals:
    // The list refused a file given or found, for `reason`; the operation goes on.
    void Refused(const QString& path, const QString& reason);
    // AddPaths has closed its dialog and enabled the window again.
    void Finished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool cancelled() const;
    bool addFile(const QString& path);
    void refuse(const QString& path);
    void refuseWhole(const QString& path, const QString& reason);
    bool scanFolder(const QString& folder);
    void waitUntil(const std::function<bool()>& done);

    ConversionList& list_;
    QWidget* viewport_ = nullptr; // with the window and the desktop its drops go to
    QWidget* window_ = nullptr;
    IUserInterface* ui_ = nullptr;
    IImportProgress* progress_ = nullptr; // while Import runs
    QEventLoop* wait_ = nullptr;          // Import's wait for the scanner
    bool scanPending_ = false;            // a started scan whose worker has not reported its end yet
    QString scanError_;                   // an error raised while a found file was added
    QStringList found_;                   // what the current folder search found, not yet added
    std::vector<ImportRefusal> refused_;
    QString base_; // the folder being searched: the base folder of the rows it adds
};

} // namespace quillotone
