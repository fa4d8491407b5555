// Times a drop of one folder onto the main window's list with the real information component:
// the scan, the kind test, the icon, properties and tags of every row. Prints milliseconds per file.
// usage: app_drop_bench FOLDER
#include "app/main_window.h"
#include "app/user_interface.h"
#include "conversion/information_component.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>

using namespace quillotone;

namespace {

// CPU time of the whole process (every thread), in milliseconds: steadier than the wall clock on a
// shared machine.
double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Counts what would be shown instead of showing it.
class Unattended final : public IUserInterface {
public:
    int shown = 0;
    bool OpenUrl(const QUrl&) override { return true; }
    QMessageBox::StandardButton Message(QWidget*, QMessageBox::Icon, const QString&, const QString&,
                                        QMessageBox::StandardButtons) override {
        ++shown;
        return QMessageBox::Ok;
    }
    QStringList OpenFileNames(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString ExistingFolder(QWidget*, const QString&, const QString&) override { return {}; }
    int Exec(QDialog&) override {
        ++shown;
        return QDialog::Accepted;
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    QTemporaryDir settings;
    Unattended ui;
    MainWindowParts parts;
    parts.createInformation = [] { return std::unique_ptr<IAudioInformation2>(new TAudioInformation2); };
    TfrmMain win(ui, SettingsStore(settings.filePath("Quillotone.conf")), settings.path(), ProductLinks{},
                 parts);

    QElapsedTimer timer;
    const double cpu0 = cpuMs();
    timer.start();
    win.AddPaths(DropImport::DroppedPaths({QString::fromLocal8Bit(argv[1])}));
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    const double cpu = cpuMs() - cpu0;

    const int rows = win.ListModel().rowCount();
    if (ui.shown != 0 || rows == 0) {
        std::fprintf(stderr, "%d rows added, %d messages shown\n", rows, ui.shown);
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("drop of a folder  %5d files  %8.1f ms  %.3f ms per file (CPU %.3f ms per file)  peak memory "
                "%ld MB\n",
                rows, ms, ms / double(rows), cpu / double(rows), long(usage.ru_maxrss / 1024));
    return 0;
}
