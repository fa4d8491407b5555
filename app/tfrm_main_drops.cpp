// The main window's drop path: what a drop onto the list keeps, AddPaths behind the load dialog,
// and the folder scanner's handlers.
#include "app/audio_extensions.h"
#include "app/tfrm_load.h"
#include "app/tfrm_main.h"
#include "app/user_interface.h"

#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QTableView>
#include <QUrl>
#include <exception>
#include <memory>

namespace quillotone {

namespace {

bool carriesFiles(const QMimeData* mime) {
    return mime && mime->hasFormat(QStringLiteral("text/uri-list"));
}

} // namespace

void TfrmMain::bindDrops() {
    // Only the list's viewport takes drops; the rest of the window refuses them.
    gvConvert->viewport()->setAcceptDrops(true);
    gvConvert->viewport()->installEventFilter(this);

    DiskScan.OnFileFound = [this](TdcMultiDiskScanner*, const TdcFoundFile& file) {
        // An error must not reach the worker: it ends the whole operation from AddPaths.
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
    DiskScan.OnScanDone = [this](TdcMultiDiskScanner*, uint32_t, uint64_t, int64_t) { DiskScanScanDone(); };
    DiskScan.OnStopped = [this](TdcMultiDiskScanner*) { DiskScanStopped(); };
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched != gvConvert->viewport()) return QMainWindow::eventFilter(watched, event);
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
        AddPaths(DroppedPaths(local));
        return true;
    }
    default:
        return QMainWindow::eventFilter(watched, event);
    }
}

QStringList TfrmMain::DroppedPaths(const QStringList& paths) {
    QStringList kept;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isFile()) {
            if (HasAudioExtension(path)) kept << path;
        } else if (info.isDir()) {
            kept << path;
        }
    }
    return kept;
}

void TfrmMain::wakeWait() {
    if (wait_) wait_->quit();
}

void TfrmMain::waitUntil(const std::function<bool()>& done) {
    // The scanner's handlers and "Cancel" wake the loop; meanwhile the window repaints as usual.
    QEventLoop loop;
    QEventLoop* outer = wait_;
    wait_ = &loop;
    while (!done())
        loop.exec();
    wait_ = outer;
}

bool TfrmMain::scanFolder(const QString& folder, TfrmLoad& load) {
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
        return !load.Cancelled;
    }

    waitUntil([&] { return ScanFinished || load.Cancelled; });
    if (!ScanFinished) DiskScan.StopScan();
    // A stopped scan is seen through to its end, so that nothing of it arrives after AddPaths.
    if (scanPending_) waitUntil([this] { return !scanPending_; });
    return !load.Cancelled && scanError_.isEmpty();
}

void TfrmMain::AddPaths(const QStringList& paths) {
    auto load = std::make_unique<TfrmLoad>(this);
    TfrmLoad& dialog = *load;
    load_ = load.get();
    scanError_.clear();
    connect(load.get(), &TfrmLoad::CancelClicked, this, &TfrmMain::wakeWait);

    setEnabled(false);
    load->setEnabled(true);
    load->show();
    load->activateWindow();

    QString error;
    try {
        for (const QString& path : paths) {
            dialog.ShowPath(path);
            QCoreApplication::processEvents();
            dialog.repaint();
            const QFileInfo info(path);
            if (info.isFile()) {
                if (list_.IsFileInList(path) || !list_.IsValidAudioFile(path)) continue;
                list_.AddFileRow(path);
                dialog.Advance();
                if (dialog.Cancelled) break;
            } else if (info.isDir()) {
                if (!scanFolder(path, dialog)) break;
            }
            QCoreApplication::processEvents();
            dialog.ProgressBar->repaint();
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

    load_ = nullptr;
    load->Finish();
    load.reset();
    setEnabled(true);
    activateWindow();
    showListCount(model_.rowCount());
    UpdateActions();
    if (!error.isEmpty()) ShowError(ui_, this, error);
}

void TfrmMain::DiskScanFileFound(const QString& path) {
    if (load_) load_->ShowPath(path);
    if (list_.IsFileInList(path) || !list_.IsValidAudioFile(path)) return;
    list_.AddFileRow(path);
    if (load_) {
        load_->Advance();
        if (load_->Cancelled) DiskScan.StopScan();
    }
}

void TfrmMain::DiskScanScanDone() {
    ScanFinished = true;
    scanPending_ = false;
    wakeWait();
}

void TfrmMain::DiskScanStopped() {
    ScanFinished = true;
    wakeWait();
}

} // namespace quillotone
