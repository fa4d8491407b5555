// Drops onto the list: what the viewport takes, files and folder trees added in order behind the
// load dialog, silent skips, cancelling during a folder scan, an error while a found file is added.
#include "window_fixture.h"

#include "app/import_error_dialog.h"
#include "app/load_dialog.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <sys/stat.h>

namespace apptest {
namespace {

class Drops : public WindowFixture {
protected:
    Drops() { open(); }

    // A file the fake component accepts, below the temporary folder (folders made as needed).
    QString audio(const std::string& name, FakeFile tags = {}) {
        std::filesystem::create_directories((dir / name).parent_path());
        return goodFile(name, tags);
    }
    QString folder(const std::string& name) {
        std::filesystem::create_directories(dir / name);
        return QString::fromStdString((dir / name).string());
    }

    // Drops `paths` on the list's viewport as the desktop would; returns whether it was taken.
    bool drop(const QStringList& paths, QWidget* target = nullptr) {
        if (!target) target = win->gvConvert->viewport();
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls << QUrl::fromLocalFile(p);
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
        return event.isAccepted();
    }

    QStringList listedPaths() {
        QStringList out;
        for (int r = 0; r < win->ListModel().rowCount(); ++r)
            out << win->ListModel().Path(r);
        return out;
    }
    TfrmLoad* loadDialog() { return win->findChild<TfrmLoad*>(); }

    void expectClosedAndEnabled() {
        EXPECT_EQ(loadDialog(), nullptr);
        EXPECT_TRUE(win->isEnabled());
        EXPECT_EQ(win->spListcount->text(), "Files count: " + QString::number(win->ListModel().rowCount()));
    }
};

TEST_F(Drops, OnlyTheViewportTakesFileLists) {
    EXPECT_TRUE(win->gvConvert->viewport()->acceptDrops());
    EXPECT_FALSE(win->acceptDrops());
    EXPECT_FALSE(win->gvConvert->horizontalHeader()->acceptDrops());
    EXPECT_FALSE(win->PC->acceptDrops());

    auto enter = [&](QMimeData& mime) {
        QDragEnterEvent event(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(win->gvConvert->viewport(), &event);
        return event.isAccepted();
    };
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(audio("x.mp3"))});
    EXPECT_TRUE(enter(files));
    QMimeData text;
    text.setText("x.mp3");
    EXPECT_FALSE(enter(text));
}

TEST_F(Drops, FolderTreeAndMixedFilesInOrderWithSilentSkips) {
    const QString listed = audio("loose/listed.mp3");
    win->List().AddFileRow(listed);
    const QString tree = folder("tree");
    const QString a = audio("tree/a.mp3"), d = audio("tree/d.wav"), e = audio("tree/e.WMA");
    const QString b = audio("tree/sub/b.mp3"), c = audio("tree/sub/c.ogg");
    audio("tree/sub/bad.mp3", FakeFile::invalid());
    audio("tree/sub/notes.txt");
    audio("tree/sub/deeper/empty/readme.txt");
    const QString text = audio("loose/notes.txt"); // the component would take it; the drop must not ask
    const QString loud = audio("loose/LOUD.MP3");
    const QString missing = QString::fromStdString((dir / "loose" / "gone.mp3").string());
    const QString emptyFolder = folder("nothing here");

    std::vector<QString> shownDuringAdd;
    info->onOpen = [&](const QString& path) {
        TfrmLoad* load = loadDialog();
        ASSERT_NE(load, nullptr);
        EXPECT_TRUE(load->isVisible());
        EXPECT_FALSE(win->isEnabled());
        shownDuringAdd.push_back(load->ShownPath());
        EXPECT_EQ(load->ShownPath(), path);
    };

    EXPECT_TRUE(drop({listed, tree, text, loud, missing, emptyFolder}));

    // Below a folder, path order: its files by name, then its sub-folders by name.
    EXPECT_EQ(listedPaths(), QStringList({listed, a, d, e, b, c, loud}));
    EXPECT_EQ(shownDuringAdd.size(), 6u);
    for (const QString& asked : info->kindAsked)
        EXPECT_FALSE(asked.endsWith("notes.txt")) << asked.toStdString();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(ui.execTitles.empty());
    expectClosedAndEnabled();
    EXPECT_EQ(win->spListcount->text(), "Files count: 7");

    // The same drop again adds nothing and says nothing; a drop with nothing usable still
    // shows and closes the dialog and refreshes the count.
    EXPECT_TRUE(drop({listed, tree, loud}));
    EXPECT_EQ(win->ListModel().rowCount(), 7);
    win->spListcount->clear();
    EXPECT_TRUE(drop({text, emptyFolder}));
    EXPECT_TRUE(ui.messages.empty());
    expectClosedAndEnabled();
}

TEST(DropOrder, FilesOfAFolderByNameThenItsSubFoldersByName) {
    QStringList paths{"/m/Album/03 c.ogg", "/m/Album/CD2/01 x.mp3", "/m/Album/01 a.mp3",     "/m/Zed.wav",
                      "/m/Album/02 b.wma", "/m/Album/CD1/02 y.wav", "/m/Album/CD1/01 z.mp3", "/m/B/a.mp3",
                      "/m/Album.mp3"};
    SortInPathOrder(paths);
    EXPECT_EQ(paths, QStringList({"/m/Album.mp3", "/m/Zed.wav", "/m/Album/01 a.mp3", "/m/Album/02 b.wma",
                                  "/m/Album/03 c.ogg", "/m/Album/CD1/01 z.mp3", "/m/Album/CD1/02 y.wav",
                                  "/m/Album/CD2/01 x.mp3", "/m/B/a.mp3"}));
}

TEST_F(Drops, TheLoadDialog) {
    const QString one = audio("one.mp3");
    bool seen = false;
    info->onOpen = [&](const QString&) {
        TfrmLoad* load = loadDialog();
        ASSERT_NE(load, nullptr);
        seen = true;
        EXPECT_EQ(load->windowTitle(), "Load File...");
        EXPECT_FALSE(load->windowFlags() & Qt::WindowCloseButtonHint);
        bool caption = false;
        for (QLabel* l : load->findChildren<QLabel*>())
            caption = caption || l->text() == "Process file:";
        EXPECT_TRUE(caption);
        EXPECT_TRUE(load->lblFilename->wordWrap());
        EXPECT_EQ(load->btnCancel->text(), "Cancel");
        EXPECT_TRUE(load->btnCancel->isDefault());
        EXPECT_EQ(load->ProgressBar->minimum(), 0);
        EXPECT_EQ(load->ProgressBar->maximum(), 100);
        // "Cancel" only marks the dialog; it stays open.
        QTest::mouseClick(load->btnCancel, Qt::LeftButton);
        EXPECT_TRUE(load->Cancelled);
        EXPECT_TRUE(load->isVisible());
        load->close();
        EXPECT_TRUE(load->isVisible());
    };
    drop({one});
    EXPECT_TRUE(seen);
    expectClosedAndEnabled();
}

// A burst of changes paints at most every kPaintInterval ms; the last one shows soon after, with no
// further change to bring it.
TEST_F(Drops, TheLoadDialogShowsTheLastOfABurst) {
    TfrmLoad load(win.get());
    load.show();
    auto shown = [&] { return load.lblFilename->text().remove(QChar(0x200B)); };
    load.ShowPath("/first");
    EXPECT_EQ(shown(), "/first"); // the first change paints at once
    for (int i = 0; i < 500; ++i) {
        load.ShowPath("/burst/" + QString::number(i));
        load.Advance();
    }
    EXPECT_EQ(load.ShownPath(), "/burst/499");
    EXPECT_EQ(load.Position(), (500 - 1) % 99 + 1);
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10 * TfrmLoad::kPaintInterval && shown() != "/burst/499")
        QTest::qWait(5);
    EXPECT_EQ(shown(), "/burst/499");
    EXPECT_EQ(load.ProgressBar->value(), load.Position());
    load.Finish();
}

TEST_F(Drops, ActivityBarRunsFromOneToNinetyNine) {
    for (int i = 0; i < 101; ++i)
        audio("many/f" + std::to_string(1000 + i) + ".mp3");
    std::vector<int> before;
    info->onOpen = [&](const QString&) { before.push_back(loadDialog()->Position()); };
    drop({folder("many")});
    ASSERT_EQ(before.size(), 101u);
    EXPECT_EQ(before[0], 0);
    EXPECT_EQ(before[99], 99); // after 99 added files
    EXPECT_EQ(before[100], 1); // after the hundredth
}

TEST_F(Drops, CancelDuringAFolderScanKeepsWhatWasAddedAndSkipsTheRest) {
    for (int i = 0; i < 6; ++i)
        audio("big/t" + std::to_string(i) + ".mp3");
    const QString after = audio("after.mp3");
    const QString alsoAfter = folder("later");
    audio("later/l.mp3");
    int opened = 0;
    info->onOpen = [&](const QString&) {
        if (++opened == 2) {
            // A real click, handled while the scan waits on the main thread.
            QTest::mouseClick(loadDialog()->btnCancel, Qt::LeftButton);
        }
    };
    drop({folder("big"), after, alsoAfter});
    EXPECT_EQ(win->ListModel().rowCount(), 2);
    EXPECT_FALSE(listedPaths().contains(after));
    EXPECT_FALSE(win->Drops().DiskScan.IsScanning());
    EXPECT_TRUE(ui.messages.empty());
    expectClosedAndEnabled();

    // The window takes the next drop at once.
    info->onOpen = nullptr;
    drop({alsoAfter, after});
    EXPECT_EQ(win->ListModel().rowCount(), 4);
    EXPECT_EQ(listedPaths().mid(2), QStringList({audio("later/l.mp3"), after}));
}

TEST_F(Drops, CancelWhileFilesAreAddedTakesEffectAfterTheFileThatWasAdded) {
    const QString x = audio("x.mp3"), y = audio("y.mp3"), z = audio("z.mp3");
    info->files[y].valid = false;
    // A click on "Cancel" before the first file: the invalid y does not count, x does.
    info->onOpen = [&](const QString&) {
        if (TfrmLoad* load = loadDialog(); load && !load->Cancelled)
            QTest::mouseClick(load->btnCancel, Qt::LeftButton);
    };
    drop({y, x, z});
    EXPECT_EQ(listedPaths(), QStringList({x}));
    expectClosedAndEnabled();
}

TEST_F(Drops, AnErrorWhileAFoundFileIsAddedEndsTheOperationWithItsMessage) {
    audio("err/a.mp3");
    FakeFile broken;
    broken.throwOnOpen = true;
    audio("err/sub/b.mp3", broken);
    audio("err/sub/c.ogg");
    const QString after = audio("after.mp3");
    drop({folder("err"), after});
    EXPECT_EQ(listedPaths(), QStringList({audio("err/a.mp3")}));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "cannot read the stream properties");
    EXPECT_FALSE(win->Drops().DiskScan.IsScanning());
    expectClosedAndEnabled();
}

// The search and the checks without a window, as a command line uses them: no dialog, the window
// untouched, the same order and skips, and the error handed back instead of shown.
TEST_F(Drops, ImportWorksWithoutAWindow) {
    const QString a = audio("cli/a.mp3"), b = audio("cli/sub/b.ogg"), w = audio("cli/w.wav");
    audio("cli/bad.mp3", FakeFile::invalid());
    const QString loose = audio("loose.wma");
    info->onOpen = [&](const QString&) {
        EXPECT_EQ(loadDialog(), nullptr);
        EXPECT_TRUE(win->isEnabled());
    };
    DropImport import(win->List());
    EXPECT_EQ(import.Import(DropImport::DroppedPaths({folder("cli"), loose, a})), "");
    EXPECT_EQ(listedPaths(), QStringList({a, w, b, loose}));
    EXPECT_FALSE(import.DiskScan.IsScanning());

    FakeFile broken;
    broken.throwOnOpen = true;
    audio("cli2/x.mp3", broken);
    EXPECT_EQ(import.Import({folder("cli2")}), "cannot read the stream properties");
    EXPECT_EQ(win->ListModel().rowCount(), 4);
    EXPECT_TRUE(ui.messages.empty());
}

// The command line's import: every refused file is reported with the list's reason, and a file
// whose properties cannot be read is one of them instead of ending the operation.
TEST_F(Drops, ARefusingImportReportsEachRefusedFileAndGoesOn) {
    const QString a = audio("run/a.mp3");
    FakeFile broken;
    broken.throwOnOpen = true;
    const QString b = audio("run/b.mp3", broken);
    const QString bad = audio("run/c.ogg", FakeFile::invalid());
    const QString after = audio("after.wav");
    const QString missing = QString::fromStdString((dir / "missing.mp3").string());
    DropImport import(win->List());
    import.ErrorRefusesFile = true;
    QStringList refused;
    QObject::connect(&import, &DropImport::Refused,
                     [&](const QString& path, const QString& reason) { refused << path + ": " + reason; });
    EXPECT_EQ(import.Import({folder("run"), a, missing, after}), "");
    EXPECT_EQ(listedPaths(), QStringList({a, after}));
    EXPECT_EQ(refused, QStringList({b + ": cannot read the stream properties", bad + ": invalid audio file",
                                    a + ": File already exists in list", missing + ": File not exist"}));
    EXPECT_TRUE(ui.messages.empty());
}

// Files a drop cannot list are named with the reason after the drop, in the import-error list: a
// name that is not UTF-8 and a FIFO, found in a folder or dropped themselves. Nothing is renamed.
TEST_F(Drops, FilesThatCannotBeListedAreShownAfterTheDrop) {
    const QString good = audio("odd/good.mp3");
    const std::string badName = (dir / "odd").string() + "/bad\xff.mp3";
    testutil::writeFile(badName, {1, 2, 3});
    ASSERT_EQ(::mkfifo((dir / "odd" / "pipe.mp3").c_str(), 0600), 0);
    const QString pipe = QString::fromStdString((dir / "odd" / "pipe.mp3").string());
    const QString badText = QFile::decodeName(QByteArray::fromStdString(badName));
    QStringList entries;
    ui.onExec = [&](QDialog& d) {
        auto* errors = dynamic_cast<TfrmImpErr*>(&d);
        ASSERT_NE(errors, nullptr);
        EXPECT_EQ(errors->windowTitle(), "Error");
        for (int i = 0; i < errors->EntryCount(); ++i)
            entries << errors->EntryText(i, 0) + " | " + errors->EntryText(i, 1) + " | " +
                           errors->EntryText(i, 2);
    };

    EXPECT_TRUE(drop({folder("odd")}));
    EXPECT_EQ(listedPaths(), QStringList{good});
    ASSERT_EQ(entries.size(), 2);
    EXPECT_TRUE(entries.contains("bad\uFFFD.mp3 | " + badText + " | The name is not valid UTF-8"))
        << entries.join('\n').toStdString();
    EXPECT_EQ(entries.filter("pipe.mp3 | " + pipe + " | Not a regular file").size(), 1)
        << entries.join('\n').toStdString();
    expectClosedAndEnabled();

    entries.clear();
    EXPECT_TRUE(drop({pipe, badText}));
    EXPECT_EQ(entries, (QStringList{"pipe.mp3 | " + pipe + " | Not a regular file",
                                    "bad\uFFFD.mp3 | " + badText + " | The name is not valid UTF-8"}));
    EXPECT_EQ(listedPaths(), QStringList{good});
    EXPECT_TRUE(std::filesystem::exists(badName)); // left as it was
}

} // namespace
} // namespace apptest
