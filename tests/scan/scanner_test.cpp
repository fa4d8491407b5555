#include "common/test_files.h"
#include "scan/disk_scanner.h"
#include "scan_test_util.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace quillotone;
using scantest::processUntil;
namespace fs = std::filesystem;

namespace {

void touch(const fs::path& file, size_t bytes = 0) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << std::string(bytes, 'x');
}

class ScannerTest : public ::testing::Test {
protected:
    // Runs a scan to its end; events name found files relative to the temporary folder.
    std::vector<std::string> scan(TdcMultiDiskScanner& scanner, bool recordFound = true) {
        std::vector<std::string> events;
        bool done = false;
        std::string root = dir.path().string() + "/";
        auto rel = [&](const QString& p) {
            std::string s = p.toStdString();
            return s.rfind(root, 0) == 0 ? s.substr(root.size()) : s;
        };
        if (recordFound)
            scanner.OnFileFound = [&](TdcMultiDiskScanner*, const TdcFoundFile& f) {
                events.push_back(rel(f.FileName));
            };
        scanner.OnFolderNotExist = [&](TdcMultiDiskScanner*, const QString& folder) {
            events.push_back("missing " + rel(folder));
        };
        scanner.OnStopped = [&](TdcMultiDiskScanner*) { events.push_back("stopped"); };
        scanner.OnScanDone = [&](TdcMultiDiskScanner*, uint32_t total, uint64_t, int64_t) {
            events.push_back("done " + std::to_string(total));
            done = true;
        };
        scanner.StartScan();
        EXPECT_TRUE(processUntil([&] { return done; }));
        return events;
    }
    QString at(const std::string& rel) { return QString::fromStdString((dir.path() / rel).string()); }
    void addFourMasks(TdcMultiDiskScanner& scanner, const std::string& folder = "") {
        for (const char* mask : {"*.mp3", "*.ogg", "*.wma", "*.wav"})
            scanner.IncludeList().AddPath(at(folder) + "/" + mask, true);
    }
    testutil::TempDir dir;
};

using Events = std::vector<std::string>;

TEST_F(ScannerTest, DepthFirstOnePassPerMaskAndFolderNamedLikeAFile) {
    touch(dir / "a.mp3");
    touch(dir / "sub/b.mp3");
    touch(dir / "sub/c.ogg");
    fs::create_directories(dir / "x.mp3/inner");
    touch(dir / "x.mp3/inner/d.WAV");
    TdcMultiDiskScanner scanner;
    addFourMasks(scanner);
    EXPECT_EQ(scan(scanner), (Events{"a.mp3", "sub/b.mp3", "sub/c.ogg", "x.mp3/inner/d.WAV", "done 4"}));
    EXPECT_EQ(scanner.TotalFiles(), 4u);
}

TEST_F(ScannerTest, TwoMasksForTheSameFilesReportEachOnce) {
    touch(dir / "one.mp3", 1000);
    touch(dir / "deep/two.mp3", 24);
    TdcMultiDiskScanner scanner;
    scanner.IncludeList().AddPath(at("") + "/*.mp3", true);
    scanner.IncludeList().AddPath(at("") + "\\*.mp?", true); // "\" separates as well
    EXPECT_EQ(scan(scanner), (Events{"one.mp3", "deep/two.mp3", "done 2"}));
    EXPECT_EQ(scanner.TotalSize(), 1024u);
}

TEST_F(ScannerTest, StopFromOnFileFound) {
    for (int i = 0; i < 5; ++i)
        touch(dir / ("f" + std::to_string(i) + ".mp3"));
    TdcMultiDiskScanner scanner;
    scanner.IncludeList().AddPath(at("") + "/*.mp3", false);
    int found = 0;
    Events events;
    scanner.OnFileFound = [&](TdcMultiDiskScanner* s, const TdcFoundFile&) {
        ++found;
        s->StopScan();
    };
    events = scan(scanner, false);
    EXPECT_EQ(found, 1);
    EXPECT_EQ(events, (Events{"stopped", "done 1"}));
    EXPECT_FALSE(scanner.IsScanning());
}

// More reports than one hand-over carries: each still arrives alone, on the main thread, in order, with
// the totals of its moment, and a stop in the middle of a hand-over ends the reports there.
TEST_F(ScannerTest, ManyReportsArriveOneByOneInOrderAndAStopEndsThemMidway) {
    for (int d = 0; d < 3; ++d)
        for (int i = 0; i < 250; ++i)
            touch(dir / ("d" + std::to_string(d)) / ("f" + std::to_string(i) + ".mp3"), 2);
    TdcMultiDiskScanner scanner;
    scanner.IncludeList().AddPath(at("") + "/*.mp3", true);
    int stopAt = 0, found = 0, folders = 0, outOfStep = 0;
    std::string folder, wrongFolder;
    scanner.OnScanFolder = [&](TdcMultiDiskScanner*, const QString& f) {
        ++folders;
        folder = f.toStdString();
    };
    scanner.OnFileFound = [&](TdcMultiDiskScanner* s, const TdcFoundFile& f) {
        ++found;
        if (QThread::currentThread() != QCoreApplication::instance()->thread() ||
            f.TotalFiles != uint32_t(found) || s->TotalFiles() != f.TotalFiles ||
            s->TotalSize() != 2u * f.TotalFiles)
            ++outOfStep;
        if (f.FileName.toStdString().rfind(folder, 0) != 0) wrongFolder = f.FileName.toStdString();
        if (found == stopAt) s->StopScan();
    };
    EXPECT_EQ(scan(scanner, false), (Events{"done 750"}));
    EXPECT_EQ(found, 750);
    EXPECT_EQ(folders, 4);
    EXPECT_EQ(outOfStep, 0);
    EXPECT_EQ(wrongFolder, "");

    stopAt = 300;
    found = folders = 0;
    EXPECT_EQ(scan(scanner, false), (Events{"stopped", "done 300"}));
    EXPECT_EQ(found, 300);
    EXPECT_EQ(folders, 3); // the root and two of the three: the last is reached only after the stop
    EXPECT_EQ(outOfStep, 0);
    EXPECT_EQ(scanner.TotalFiles(), 300u);
}

TEST_F(ScannerTest, LimitedStopsAfterMaxMatches) {
    for (int i = 0; i < 5; ++i)
        touch(dir / ("f" + std::to_string(i) + ".ogg"));
    TdcMultiDiskScanner scanner;
    scanner.IncludeList().AddPath(at("") + "/*.ogg", false);
    scanner.Matches.Limited = true;
    scanner.Matches.MaxMatches = 2;
    Events events = scan(scanner);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[2], "stopped");
    EXPECT_EQ(events[3], "done 2");
}

TEST_F(ScannerTest, MissingFolderIsReportedAndTheNextEntryRuns) {
    touch(dir / "here.wav");
    TdcMultiDiskScanner scanner;
    scanner.IncludeList().AddPath(at("nowhere") + "/*.wav", true);
    scanner.IncludeList().AddPath(at("") + "/*.wav", true);
    EXPECT_EQ(scan(scanner), (Events{"missing nowhere/", "here.wav", "done 1"}));
}

TEST_F(ScannerTest, ExcludeByMaskEverywhereAndByFolderWithoutCase) {
    touch(dir / "keep.mp3");
    touch(dir / "skip.tmp.mp3");
    touch(dir / "sub/also.TMP.mp3");
    touch(dir / "Private/secret.mp3");
    touch(dir / "Private/deeper/hidden.mp3");
    // The mask of the exclude entry in another case than the files: still left out.
    TdcMultiDiskScanner second;
    second.IncludeList().AddPath(at("") + "/*.mp3", true);
    second.ExcludeList().AddPath("*.tmp.*", false);
    second.ExcludeList().AddPath(at("Private") + "/*.MP3", true);
    EXPECT_EQ(scan(second), (Events{"keep.mp3", "done 1"}));
}

TEST_F(ScannerTest, HiddenFilesFollowSaHidden) {
    touch(dir / ".hidden.mp3");
    touch(dir / "plain.mp3");
    TdcMultiDiskScanner scanner;
    scanner.IncludeList().AddPath(at("") + "/*.mp3", false);
    Events all = scan(scanner);
    std::sort(all.begin(), all.end() - 1);
    EXPECT_EQ(all, (Events{".hidden.mp3", "plain.mp3", "done 2"}));
    scanner.SetSearchAttributes(scanner.SearchAttributes().Exclude(saHidden));
    EXPECT_EQ(scan(scanner), (Events{"plain.mp3", "done 1"}));
}

TEST_F(ScannerTest, OddNamesCapitalExtensionsAndReportedDetails) {
    touch(dir / "with space/Song Title.MP3", 3);
    touch(dir / "Ünïcödé/日本語.Ogg", 5);
    TdcMultiDiskScanner scanner;
    addFourMasks(scanner);
    std::vector<TdcFoundFile> files;
    scanner.OnFileFound = [&](TdcMultiDiskScanner*, const TdcFoundFile& f) { files.push_back(f); };
    EXPECT_EQ(scan(scanner, false), (Events{"done 2"}));
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].FileName, at("with space/Song Title.MP3"));
    EXPECT_EQ(files[0].NativeName, (dir / "with space/Song Title.MP3").string());
    EXPECT_EQ(files[0].FileSize, 3u);
    EXPECT_TRUE(files[0].FileTime.isValid());
    EXPECT_EQ(files[0].FileTime.time().second() % 2, 0);
    EXPECT_TRUE(files[0].FileAttributes.Has(saNormal));
    EXPECT_EQ(files[1].FileName, at("Ünïcödé/日本語.Ogg"));
    EXPECT_EQ(files[1].TotalFiles, 2u);
    EXPECT_EQ(files[1].TotalSize, 8u);
}

TEST_F(ScannerTest, OnlyRegularFilesWithUtf8NamesAreFoundAndTheRestIsRefusedWithAReason) {
    touch(dir / "a.mp3");
    ASSERT_EQ(::mkfifo((dir / "fifo.mp3").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo.txt").c_str(), 0644), 0); // not matched: not mentioned
    fs::create_symlink(dir / "fifo.mp3", dir / "link to fifo.wav");
    fs::create_symlink(dir / "nowhere", dir / "gone.ogg");
    touch(dir / "sub/Caf\xE9.wma"); // Latin-1 bytes: not UTF-8
    fs::create_directories(dir / "d\xFCr");
    touch(dir / "d\xFCr/in.mp3");               // a folder's name makes the path invalid as well
    fs::create_directories(dir / "folder.mp3"); // folders stay out without a word, as before
    TdcMultiDiskScanner scanner;
    addFourMasks(scanner);
    std::vector<std::string> refused;
    std::string root = dir.path().string() + "/";
    scanner.OnFileRefused = [&](TdcMultiDiskScanner*, const TdcRefusedFile& f) {
        EXPECT_EQ(f.NativeName.rfind(root, 0), 0u);
        EXPECT_EQ(f.FileName, QFile::decodeName(QByteArray::fromStdString(f.NativeName)));
        refused.push_back(f.NativeName.substr(root.size()) + ": " + f.Reason.toStdString());
    };
    Events found = scan(scanner);
    EXPECT_EQ(found, (Events{"a.mp3", "done 1"}));
    std::sort(refused.begin(), refused.end());
    EXPECT_EQ(refused, (std::vector<std::string>{
                           "d\xFCr/in.mp3: The name is not valid UTF-8",
                           "fifo.mp3: Not a regular file (a FIFO)",
                           "gone.ogg: Cannot be read: No such file or directory",
                           "link to fifo.wav: Not a regular file (a FIFO)",
                           "sub/Caf\xE9.wma: The name is not valid UTF-8",
                       }));
}

TEST_F(ScannerTest, SymlinkLoopAndUnreadableFolderDoNotHang) {
    touch(dir / "loop/a.mp3");
    fs::create_directory_symlink(dir / "loop", dir / "loop/again");
    touch(dir / "locked/b.mp3");
    fs::permissions(dir / "locked", fs::perms::none);
    TdcMultiDiskScanner scanner;
    scanner.IncludeList().AddPath(at("") + "/*.mp3", true);
    Events events = scan(scanner);
    fs::permissions(dir / "locked", fs::perms::owner_all);
    if (::geteuid() == 0) // root lists the locked folder anyway
        EXPECT_EQ(events.back(), "done 2");
    else
        EXPECT_EQ(events, (Events{"loop/a.mp3", "done 1"}));
}

TEST_F(ScannerTest, SizeAndReadOnlyFilters) {
    touch(dir / "small.wav", 100);
    touch(dir / "big.wav", 3000);
    touch(dir / "ro.wav", 2048);
    fs::permissions(dir / "ro.wav", fs::perms::owner_write, fs::perm_options::remove);
    TdcMultiDiskScanner scanner;
    scanner.IncludeList().AddPath(at("") + "/*.wav", false);
    scanner.SearchSize.AnySize = false;
    scanner.SearchSize.MinSizeKB = 1;
    scanner.SearchSize.MaxSizeKB = 3;
    Events events = scan(scanner);
    std::sort(events.begin(), events.end() - 1);
    EXPECT_EQ(events, (Events{"big.wav", "ro.wav", "done 2"}));
    scanner.SetSearchAttributes(scanner.SearchAttributes().Exclude(saReadOnly));
    EXPECT_EQ(scan(scanner), (Events{"big.wav", "done 1"}));
}

TEST_F(ScannerTest, StartScanWhileScanningDoesNothing) {
    touch(dir / "a.mp3");
    touch(dir / "b.mp3");
    TdcMultiDiskScanner scanner;
    scanner.IncludeList().AddPath(at("") + "/*.mp3", false);
    int restarts = 0;
    scanner.OnFileFound = [&](TdcMultiDiskScanner* s, const TdcFoundFile&) {
        s->StartScan();
        ++restarts;
        EXPECT_EQ(s->TotalFiles(), uint32_t(restarts));
    };
    EXPECT_EQ(scan(scanner, false), (Events{"done 2"}));
}

TEST(ScannerAttributes, AnyStaysConsistent) {
    TdcScanAttributes none;
    EXPECT_EQ(TdcScanAttributes::Assign(none, {saAny}), TdcScanAttributes::All());
    TdcScanAttributes all = TdcScanAttributes::All();
    TdcScanAttributes withoutHidden = all;
    withoutHidden.Exclude(saHidden);
    EXPECT_FALSE(TdcScanAttributes::Assign(all, withoutHidden).Has(saAny));
    TdcScanAttributes six{saNormal, saArchive, saReadOnly, saHidden, saSystem, saDirectory};
    EXPECT_EQ(TdcScanAttributes::Assign(none, six), all);
    EXPECT_EQ(TdcScanAttributes::FromFileBits(0), TdcScanAttributes{saNormal});
}

TEST(ScannerMask, Wildcards) {
    struct Case {
        const char* mask;
        const char* name;
        bool match;
    } cases[] = {
        {"*.mp3", "a.MP3", true},   {"*.mp3", "a.mp3.txt", false}, {"*.mp?", "x.mp4", true},
        {"*.mp?", "x.mp", false},   {"*.*", "noext", true},        {"a*b*c", "aXXbYYc", true},
        {"a*b*c", "aXXbYY", false}, {"*.ogg", "Ärger.OGG", true},  {"?", "日", true},
        {"Ä*.wav", "äh.WAV", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MaskMatches(QString::fromUtf8(c.mask), QString::fromUtf8(c.name)), c.match)
            << c.mask << " " << c.name;
}

TEST(ScannerLists, StoredFormRoundTripAndDamagedData) {
    TdcMultiDiskScanner scanner;
    scanner.IncludeList().AddPath("/music/*.mp3", true);
    scanner.IncludeList().AddPath("/mÜsic/*.ogg", false);
    scanner.ExcludeList().AddPath("*.tmp", false);
    QByteArray data = scanner.WriteScannerLists();
    QByteArray expectedStart("\x02\x00\x00\x00\x0c\x00\x00\x00/music/*.mp3\x01", 17);
    EXPECT_EQ(data.left(17), expectedStart);

    TdcMultiDiskScanner other;
    ASSERT_TRUE(other.ReadScannerLists(data));
    ASSERT_EQ(other.IncludeList().Count(), 2);
    EXPECT_EQ(other.IncludeList().Items(1)->PathMask, QString::fromUtf8("/mÜsic/*.ogg"));
    EXPECT_FALSE(other.IncludeList().Items(1)->IncludeSubfolders);
    EXPECT_EQ(other.ExcludeList().Items(0)->PathMask, "*.tmp");

    QByteArray huge = data;
    huge[4] = '\xff'; // a length beyond the data
    for (const QByteArray& bad : {data.left(data.size() - 1), huge, data + "x", QByteArray("\x01", 1)}) {
        EXPECT_FALSE(other.ReadScannerLists(bad));
        EXPECT_EQ(other.IncludeList().Count(), 2); // untouched
    }

    testutil::TempDir dir;
    QSettings settings((dir.path() / "s.ini").c_str(), QSettings::IniFormat);
    other.SaveLists(settings);
    TdcMultiDiskScanner loaded;
    ASSERT_TRUE(loaded.LoadLists(settings));
    EXPECT_EQ(loaded.WriteScannerLists(), data);
    TdcMultiDiskScanner empty;
    empty.SaveLists(settings);
    EXPECT_FALSE(settings.contains("ScannerLists"));
}

} // namespace
