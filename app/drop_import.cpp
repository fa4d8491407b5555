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
#include <exception>
#include <memory>

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

} // namespace

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
        refused_.push_back({file.FileName, file.Reason});
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
    // a file gone since the drop is skipped as before
    if (path.contains(QChar(QChar::ReplacementCharacter)))
        refused_.push_back({path, QStringLiteral("The name is not valid UTF-8")});
    else if (QFileInfo::exists(path))
        refused_.push_back({path, QStringLiteral("Not a regular file")});
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
    if (list_.IsFileInList(path) || !list_.IsValidAudioFile(path)) return false;
    list_.AddFileRow(path, base_);
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
    return !cancelled() && scanError_.isEmpty();
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
    if (addFile(path) && cancelled()) DiskScan.StopScan();
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
