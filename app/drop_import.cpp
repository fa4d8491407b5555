#include "app/drop_import.h"

#include "app/audio_extensions.h"
#include "app/conversion_list.h"
#include "app/import_error_dialog.h"
#include "app/load_dialog.h"
#include "app/user_interface.h"

#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <algorithm>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

namespace quillotone {

namespace {

bool carriesFiles(const QMimeData* mime) {
    return mime && mime->hasFormat(QStringLiteral("text/uri-list"));
}

// The load dialog as an import's progress.
class LoadDialogProgress final : public IImportProgress {
public:
    explicit LoadDialogProgress(TfrmLoad& dialog) : dialog_(dialog) {}
    void ShowPath(const QString& path) override { dialog_.ShowPath(path); }
    void Advance() override { dialog_.Advance(); }
    bool IsCancelled() const override { return dialog_.Cancelled; }

private:
    TfrmLoad& dialog_;
};

// Path order below a folder: in each folder its files by name, then its sub-folders by name. The
// scanner reports files as it meets them (one pass per extension), which would scatter an album.
bool inPathOrder(const QStringList& a, const QStringList& b) {
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        if (a[i] == b[i]) continue;
        const bool aFile = i == a.size() - 1, bFile = i == b.size() - 1;
        if (aFile != bFile) return aFile;
        return a[i] < b[i];
    }
    return a.size() < b.size();
}

} // namespace

void SortInPathOrder(QStringList& paths) {
    std::vector<std::pair<QStringList, QString>> keyed;
    keyed.reserve(size_t(paths.size()));
    for (const QString& p : paths)
        keyed.emplace_back(QDir::fromNativeSeparators(p).split(QLatin1Char('/')), p);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& x, const auto& y) { return inPathOrder(x.first, y.first); });
    for (qsizetype i = 0; i < paths.size(); ++i)
        paths[i] = keyed[size_t(i)].second;
}

DropImport::DropImport(ConversionList& list, QObject* parent) : QObject(parent), list_(list) {
    DiskScan.OnFileFound = [this](TdcMultiDiskScanner*, const TdcFoundFile& file) {
        // An error must not reach the worker: it ends the whole operation from Import.
        try {
            DiskScanFileFound(file.FileName);
        } catch (const std::exception& e) {
            scanError_ = QString::fromUtf8(e.what());
            DiskScan.StopScan();
        } catch (...) {
            scanError_ = QStringLiteral("Unknown error");
            DiskScan.StopScan();
        }
    };
    DiskScan.OnFileRefused = [this](TdcMultiDiskScanner*, const TdcRefusedFile& file) {
        refuseWhole(file.FileName, file.Reason);
    };
    DiskScan.OnScanDone = [this](TdcMultiDiskScanner*, uint32_t, uint64_t, int64_t) { DiskScanScanDone(); };
    DiskScan.OnStopped = [this](TdcMultiDiskScanner*) { DiskScanStopped(); };
}

DropImport::~DropImport() {
    DiskScan.StopScan();
}

void DropImport::AcceptDrops(QWidget& viewport, QWidget& window, IUserInterface& ui) {
    // Only the list's viewport takes drops; the rest of the window refuses them.
    viewport_ = &viewport;
    window_ = &window;
    ui_ = &ui;
    viewport.setAcceptDrops(true);
    viewport.installEventFilter(this);
}

bool DropImport::eventFilter(QObject* watched, QEvent* event) {
    if (watched != viewport_) return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (carriesFiles(drag->mimeData()))
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!carriesFiles(drop->mimeData())) {
            drop->ignore();
            return true;
        }
        QStringList local;
        for (const QUrl& url : drop->mimeData()->urls())
            if (url.isLocalFile()) local << QDir::toNativeSeparators(url.toLocalFile());
        drop->acceptProposedAction();
        AddPaths(DroppedPaths(local), *window_, *ui_);
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

QStringList DropImport::DroppedPaths(const QStringList& paths) {
    QStringList kept;
    for (const QString& path : paths) {
        // an audio name that is no regular file, or that no text names exactly, is kept to be refused
        if (QFileInfo(path).isDir() || HasAudioExtension(path)) kept << path;
    }
    return kept;
}

void DropImport::refuse(const QString& path) {
    // a name that is not UTF-8 reaches us with U+FFFD in place of its bytes, and names no file;
    // a file gone since the drop is skipped by the window as before
    const QString reason = list_.Refusal(path);
    if (path.contains(QChar(QChar::ReplacementCharacter)) || QFileInfo::exists(path))
        refuseWhole(path, reason);
    else
        emit Refused(path, reason);
}

void DropImport::refuseWhole(const QString& path, const QString& reason) {
    refused_.push_back({path, reason});
    emit Refused(path, reason);
}

void DropImport::Wake() {
    if (wait_) wait_->quit();
}

bool DropImport::cancelled() const {
    return progress_ && progress_->IsCancelled();
}

void DropImport::waitUntil(const std::function<bool()>& done) {
    // The scanner's handlers and a cancel wake the loop; meanwhile windows repaint as usual.
    QEventLoop loop;
    QEventLoop* outer = wait_;
    wait_ = &loop;
    while (!done())
        loop.exec();
    wait_ = outer;
}

bool DropImport::addFile(const QString& path) {
    QString refusal;
    try {
        refusal = list_.Refusal(path);
        if (refusal.isEmpty()) list_.AddFileRow(path, base_);
    } catch (const std::exception& e) {
        if (!ErrorRefusesFile) throw;
        refusal = QString::fromUtf8(e.what());
    }
    if (!refusal.isEmpty()) {
        // already listed or not audio: a drop skips it silently, a console run reports it
        emit Refused(path, refusal);
        return false;
    }
    if (progress_) progress_->Advance();
    return true;
}

bool DropImport::scanFolder(const QString& folder) {
    // A stopped worker reports its end later; the next scan cannot start before it has.
    if (scanPending_) waitUntil([this] { return !scanPending_; });

    ScanFinished = false;
    TDiskScanList& include = DiskScan.IncludeList();
    include.Clear();
    QString base = folder;
    if (!base.endsWith(QLatin1Char('/')) && !base.endsWith(QDir::separator())) base += QDir::separator();
    for (const QString& mask : FolderSearchMasks())
        include.AddPath(base + mask, true);
    scanPending_ = true;
    DiskScan.StartScan();
    if (!DiskScan.IsScanning()) { // it did not start: nothing to wait for
        scanPending_ = false;
        ScanFinished = true;
        return !cancelled();
    }

    waitUntil([&] { return ScanFinished || cancelled(); });
    if (!ScanFinished) DiskScan.StopScan();
    // A stopped scan is seen through to its end, so that nothing of it arrives after Import.
    if (scanPending_) waitUntil([this] { return !scanPending_; });
    QStringList found;
    found.swap(found_);
    if (cancelled() || !scanError_.isEmpty()) return false;

    // The files are added once the search is over, in path order.
    SortInPathOrder(found);
    for (const QString& path : found) {
        if (progress_) progress_->ShowPath(path);
        if (addFile(path) && cancelled()) return false;
        QCoreApplication::processEvents();
        if (cancelled()) return false;
    }
    return true;
}

QString DropImport::Import(const QStringList& paths, IImportProgress* progress) {
    IImportProgress* outer = progress_;
    progress_ = progress;
    scanError_.clear();
    refused_.clear();
    base_.clear();
    QString error;
    try {
        for (const QString& path : paths) {
            if (progress_) progress_->ShowPath(path);
            QCoreApplication::processEvents();
            const QFileInfo info(path);
            if (info.isFile()) {
                if (addFile(path) && cancelled()) break;
            } else if (info.isDir()) {
                base_ = path;
                const bool goOn = scanFolder(path);
                base_.clear();
                if (!goOn) break;
            } else {
                refuse(path);
            }
            QCoreApplication::processEvents();
        }
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    } catch (...) {
        error = QStringLiteral("Unknown error");
    }
    if (error.isEmpty()) error = scanError_;
    if (DiskScan.IsScanning() || scanPending_) {
        DiskScan.StopScan();
        if (scanPending_) waitUntil([this] { return !scanPending_; });
    }
    progress_ = outer;
    return error;
}

void DropImport::AddPaths(const QStringList& paths, QWidget& window, IUserInterface& ui) {
    auto load = std::make_unique<TfrmLoad>(&window);
    connect(load.get(), &TfrmLoad::CancelClicked, this, &DropImport::Wake);
    window.setEnabled(false);
    load->setEnabled(true);
    load->show();
    load->activateWindow();

    LoadDialogProgress progress(*load);
    const QString error = Import(paths, &progress);

    load->Finish();
    load.reset();
    window.setEnabled(true);
    window.activateWindow();
    emit Finished();
    if (!error.isEmpty()) ShowError(ui, &window, error);
    if (!refused_.empty()) {
        TfrmImpErr errors(&window);
        for (const ImportRefusal& r : refused_)
            errors.AddEntry(QFileInfo(r.path).fileName(), r.path, r.reason);
        ui.Exec(errors);
    }
}

void DropImport::DiskScanFileFound(const QString& path) {
    if (progress_) progress_->ShowPath(path);
    found_ << path;
    if (cancelled()) DiskScan.StopScan();
}

void DropImport::DiskScanScanDone() {
    ScanFinished = true;
    scanPending_ = false;
    Wake();
}

void DropImport::DiskScanStopped() {
    ScanFinished = true;
    Wake();
}

} // namespace quillotone
