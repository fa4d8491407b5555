// scan_bench FOLDER [ROUNDS] [walk]: scans FOLDER with the main window's four masks, the main thread's
// handler only counting, and prints the file count and the best time of ROUNDS scans in milliseconds. With
// "walk" no OnFileFound is set, which leaves out the round trips to the main thread (the count is then
// TotalFiles).
#include "scan/disk_scanner.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace quillotone;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: scan_bench FOLDER [ROUNDS]\n");
        return 2;
    }
    QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    TdcMultiDiskScanner scanner;
    for (const char* mask : {"*.mp3", "*.ogg", "*.wma", "*.wav"})
        scanner.IncludeList().AddPath(folder + "/" + QLatin1String(mask), true);
    uint32_t count = 0;
    QEventLoop loop;
    bool walkOnly = argc > 3 && std::strcmp(argv[3], "walk") == 0;
    if (!walkOnly) scanner.OnFileFound = [&](TdcMultiDiskScanner*, const TdcFoundFile&) { ++count; };
    scanner.OnScanDone = [&](TdcMultiDiskScanner*, uint32_t total, uint64_t, int64_t) {
        if (walkOnly) count = total;
        loop.quit();
    };

    double best = 1e300;
    for (int r = 0; r < rounds; ++r) {
        count = 0;
        QElapsedTimer timer;
        timer.start();
        scanner.StartScan();
        loop.exec();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("%u %.3f\n", count, best);
    return 0;
}
