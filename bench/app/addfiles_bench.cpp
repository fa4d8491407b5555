// Times ConversionList::AddFiles with the real information component over every audio file in a
// folder and prints milliseconds per file. usage: app_addfiles_bench FOLDER LABEL
#include "app/conversion_list.h"
#include "app/conversion_list_model.h"
#include "app/user_interface.h"
#include "conversion/information_component.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QWidget>
#include <cstdio>
#include <ctime>

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
    int dialogs = 0;
    bool OpenUrl(const QUrl&) override { return true; }
    QMessageBox::StandardButton Message(QWidget*, QMessageBox::Icon, const QString&, const QString&,
                                        QMessageBox::StandardButtons) override {
        return QMessageBox::Ok;
    }
    QStringList OpenFileNames(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString ExistingFolder(QWidget*, const QString&, const QString&) override { return {}; }
    int Exec(QDialog&) override {
        ++dialogs;
        return QDialog::Accepted;
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FOLDER LABEL\n", argv[0]);
        return 2;
    }
    QStringList paths;
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    for (const QString& name :
         folder.entryList({"*.mp3", "*.ogg", "*.wav", "*.wma"}, QDir::Files, QDir::Name))
        paths << folder.filePath(name);
    if (paths.isEmpty()) {
        std::fprintf(stderr, "no audio files in %s\n", argv[1]);
        return 2;
    }

    Unattended ui;
    ConversionListModel model;
    ConversionList list(model, ui);
    TAudioInformation2 info;
    list.SetInformation(&info);
    QWidget window;

    QElapsedTimer timer;
    const double cpu0 = cpuMs();
    timer.start();
    list.AddFiles(paths, &window);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    const double cpu = cpuMs() - cpu0;

    if (ui.dialogs != 0 || model.rowCount() != paths.size()) {
        std::fprintf(stderr, "only %d of %lld files were added\n", model.rowCount(), (long long)paths.size());
        return 1;
    }
    std::printf("AddFiles %-20s %5lld files  %8.1f ms  %.3f ms per file (CPU %.3f ms per file)\n", argv[2],
                (long long)paths.size(), ms, ms / double(paths.size()), cpu / double(paths.size()));
    return 0;
}
