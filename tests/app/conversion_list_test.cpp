// The conversion list: adding files with their checks, progress and error report, the cells of
// a row, deleting, sorting, editing.
#include "window_fixture.h"

#include "app/import_error_dialog.h"
#include "app/wait_load_dialog.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTest>

namespace apptest {
namespace {

struct Entry {
    QString name, path, reason;
    bool operator==(const Entry&) const = default;
};

void PrintTo(const Entry& e, std::ostream* os) {
    *os << e.name.toStdString() << " | " << e.reason.toStdString();
}

class ListTest : public WindowFixture {
protected:
    std::vector<Entry> entries; // of the import-error dialog, when it was shown
    int errorDialogs = 0;

    ListTest() {
        ui.onExec = [this](QDialog& d) {
            auto* errors = qobject_cast<TfrmImpErr*>(&d);
            if (!errors) return;
            ++errorDialogs;
            EXPECT_EQ(errors->windowTitle(), "Error");
            EXPECT_TRUE(errors->isEnabled()) << "a disabled error list cannot be closed";
            for (int i = 0; i < errors->EntryCount(); ++i)
                entries.push_back(
                    {errors->EntryText(i, 0), errors->EntryText(i, 1), errors->EntryText(i, 2)});
        };
    }
    void SetUp() override { open(); }
    QStringList column(int c) const {
        QStringList out;
        for (int r = 0; r < win->ListModel().rowCount(); ++r)
            out << win->ListModel().Cell(r, c);
        return out;
    }
    void clickHeader(int column) {
        QHeaderView* h = win->gvConvert->horizontalHeader();
        const int x = h->sectionViewportPosition(column) + h->sectionSize(column) / 2;
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(x, h->height() / 2));
    }
};

TEST_F(ListTest, FourGoodFilesMoveTheBarTo0_25_50_75AndFillTheCells) {
    FakeFile tags;
    tags.artist = "Ärtist";
    tags.title = "Title";
    tags.album = "Album";
    tags.genre = "Rock";
    tags.comment = "Comment";
    tags.copyright = "(c)";
    tags.url = "u";
    tags.encodedBy = "enc";
    tags.track = 7;
    tags.year = 1999;
    QStringList paths{goodFile("one.mp3", tags), goodFile("two.OGG"), goodFile("three.wav"),
                      goodFile("four.wma")};
    FakeFile noNumbers;
    noNumbers.track = -2; // a signed 16-bit number as it stands
    info->files[paths[1]] = noNumbers;

    std::vector<int> signalled, shown;
    bool disabledWhileAdding = true;
    QObject::connect(&win->List(), &ConversionList::AddProgress, [&](int percent) {
        signalled.push_back(percent);
        auto* wait = win->findChild<TfrmwaitLoad*>();
        QProgressBar* bar = wait ? wait->findChild<QProgressBar*>() : nullptr;
        if (wait) {
            EXPECT_TRUE(wait->isVisible());
        }
        shown.push_back(bar ? bar->value() : -1);
    });
    info->onOpen = [&](const QString&) {
        disabledWhileAdding = disabledWhileAdding && !win->isEnabled();
        EXPECT_EQ(win->findChildren<TfrmImpErr*>().size(), 1u);
    };
    win->List().AddFiles(paths, win.get());

    EXPECT_EQ(signalled, (std::vector<int>{0, 25, 50, 75}));
    EXPECT_EQ(shown, signalled);
    EXPECT_TRUE(disabledWhileAdding);
    EXPECT_TRUE(win->isEnabled());
    EXPECT_EQ(errorDialogs, 0);
    EXPECT_EQ(win->findChildren<TfrmImpErr*>().size(), 0u); // both dialogs are gone
    EXPECT_EQ(win->spListcount->text(), "Files count: 4");

    const ConversionListModel& m = win->ListModel();
    ASSERT_EQ(m.rowCount(), 4);
    const QStringList first{"one.mp3", "Ärtist",  "Title", "7", "Album", "1999",
                            "Rock",    "Comment", "(c)",   "u", "enc",   paths[0]};
    for (int c = Column::Filename; c < Column::Count; ++c)
        EXPECT_EQ(m.Cell(0, c), first[c - Column::Filename]) << c;
    EXPECT_EQ(m.Cell(1, Column::TrackNumber), "-2");
    EXPECT_EQ(m.Cell(1, Column::Year), ""); // no year
    EXPECT_EQ(m.Cell(2, Column::TrackNumber), "0");
    EXPECT_EQ(m.Mark(0), RowMark::NotConverted);
    for (int r = 0; r < 4; ++r)
        EXPECT_EQ(m.IconIndex(r), r);
    // The kind test follows the extension, whatever its case.
    EXPECT_TRUE(info->kindAsked.contains("ogg:" + paths[1]));
    EXPECT_TRUE(info->kindAsked.contains("wma:" + paths[3]));
}

TEST_F(ListTest, RefusedFilesAreListedWithTheirReasonAndTheRestIsAdded) {
    const QString good = goodFile("good.mp3");
    const QString missing = QString::fromStdString((dir / "missing.mp3").string());
    const QString bad = goodFile("bad.mp3", FakeFile::invalid());
    const QString other = goodFile("other.flac");
    const QString folder = QString::fromStdString(dir.path().string());
    FakeFile broken;
    broken.throwOnOpen = true;
    const QString unreadable = goodFile("unreadable.ogg", broken);
    // Here names differ by case: another file, not a duplicate.
    const QString upper = goodFile("GOOD.mp3");
    const QString last = goodFile("last.wav");

    win->List().AddFiles({good, missing, good, bad, other, folder, unreadable, upper, last}, win.get());

    const std::vector<Entry> expected{
        {"missing.mp3", missing, "File not exist"},
        {"good.mp3", good, "File already exists in list"},
        {"bad.mp3", bad, "invalid audio file"},
        {"other.flac", other, "invalid audio file"},
        {QFileInfo(folder).fileName(), folder, "File not exist"},
        {"unreadable.ogg", unreadable, "cannot read the stream properties"},
    };
    EXPECT_EQ(errorDialogs, 1);
    EXPECT_EQ(entries, expected);
    EXPECT_EQ(column(Column::Path), (QStringList{good, upper, last}));
    EXPECT_FALSE(info->kindAsked.contains("mp3:" + other));
    // The row of the unreadable file was taken out again; its icon stays used.
    EXPECT_EQ(win->ListModel().IconIndex(1), 2);
    EXPECT_EQ(win->spListcount->text(), "Files count: 3");
    EXPECT_TRUE(win->isEnabled());
}

TEST_F(ListTest, AllRefusedAddsNothingAndAnEmptyListDoesNothing) {
    win->List().AddFiles({}, win.get());
    EXPECT_EQ(errorDialogs, 0);
    EXPECT_TRUE(win->spListcount->text().isEmpty());

    addRows(1);
    const QString bad = goodFile("bad.wav", FakeFile::invalid());
    win->List().AddFiles({bad, "/no/such/file.ogg"}, win.get());
    EXPECT_EQ(errorDialogs, 1);
    EXPECT_EQ(entries.size(), 2u);
    EXPECT_EQ(win->ListModel().rowCount(), 1);
    EXPECT_EQ(win->spListcount->text(), "Files count: 1");
}

TEST_F(ListTest, AddFilesButtonUsesTheFiveFiltersAndAnyCase) {
    ui.filesToPick = {};
    win->ActaddFiles->trigger();
    EXPECT_EQ(win->ListModel().rowCount(), 0); // cancelled
    const QStringList filters = ui.lastFilters.split(";;");
    ASSERT_EQ(filters.size(), 5);
    const char* descriptions[] = {"All supported types(*.mp3,*.ogg,*.wav,*.wma)", "MPEG Audio files(*.mp3)",
                                  "Ogg files(*.ogg)", "Wave files(*.wav)",
                                  "Windows Media Audio files(*.wma)"};
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(filters[i].startsWith(descriptions[i])) << filters[i].toStdString();
    // The pattern of the first filter matches every supported name in any case, and nothing else.
    const QString patterns = filters[0].mid(filters[0].lastIndexOf('(') + 1).chopped(1);
    auto matches = [&](const QString& name) {
        for (const QString& p : patterns.split(' '))
            if (QRegularExpression(QRegularExpression::wildcardToRegularExpression(p)).match(name).hasMatch())
                return true;
        return false;
    };
    EXPECT_TRUE(matches("a.mp3"));
    EXPECT_TRUE(matches("B.MP3"));
    EXPECT_TRUE(matches("c.Ogg"));
    EXPECT_TRUE(matches("d.WAV"));
    EXPECT_TRUE(matches("e.wma"));
    EXPECT_FALSE(matches("f.flac"));

    ui.filesToPick = {goodFile("picked.mp3")};
    win->ActaddFiles->trigger();
    EXPECT_EQ(column(Column::Filename), QStringList{"picked.mp3"});
}

TEST_F(ListTest, DeletingRowsKeepsIconIndexesGrowing) {
    addRows(5);
    auto listed = [&] {
        QStringList rows;
        for (int i = 0; i < 5; ++i)
            if (win->List().IsFileInList(goodFile("row" + std::to_string(i) + ".mp3")))
                rows << QString::number(i);
        return rows;
    };
    select({1, 3});
    win->actDelSelected->trigger();
    EXPECT_EQ(column(Column::Filename), (QStringList{"row0.mp3", "row2.mp3", "row4.mp3"}));
    EXPECT_EQ(win->spListcount->text(), "Files count: 3");
    EXPECT_EQ(listed(), (QStringList{"0", "2", "4"})); // a deleted file may be added again

    select({1});
    win->actDelunselected->trigger();
    EXPECT_EQ(column(Column::Filename), QStringList{"row2.mp3"});
    EXPECT_EQ(win->ListModel().IconIndex(0), 2);
    EXPECT_EQ(listed(), QStringList{"2"});

    win->actDelall->trigger();
    EXPECT_EQ(listed(), QStringList{});
    EXPECT_EQ(win->ListModel().rowCount(), 0);
    EXPECT_EQ(win->spListcount->text(), "Files count: 0");

    win->List().AddFiles({goodFile("new.mp3")}, win.get());
    EXPECT_EQ(win->ListModel().IconIndex(0), 5); // beyond all earlier ones
    EXPECT_EQ(win->ListModel().IconCount(), 6);
}

TEST_F(ListTest, HeaderClicksSortTextColumnsAndASecondClickReverses) {
    const char* titles[] = {"b", "C", "a", "9", "10"};
    QStringList paths;
    for (int i = 0; i < 5; ++i) {
        FakeFile f;
        f.title = titles[i];
        f.track = int16_t(i == 3 ? 9 : 10 + i);
        paths << goodFile("f" + std::to_string(i) + ".mp3", f);
    }
    win->List().AddFiles(paths, win.get());
    win->show();
    select({2}); // "a"

    clickHeader(Column::Title);
    EXPECT_EQ(column(Column::Title), (QStringList{"10", "9", "a", "b", "C"}));
    clickHeader(Column::Title);
    EXPECT_EQ(column(Column::Title), (QStringList{"C", "b", "a", "9", "10"}));
    clickHeader(Column::TrackNumber); // plain text, so "10" before "9"
    EXPECT_EQ(column(Column::TrackNumber), (QStringList{"10", "11", "12", "14", "9"}));
    // The selection moved with its row.
    const auto selected = win->gvConvert->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(win->ListModel().Cell(selected[0].row(), Column::Title), "a");

    const QStringList before = column(Column::Path);
    clickHeader(Column::Mark);
    clickHeader(Column::Icon);
    EXPECT_EQ(column(Column::Path), before);
}

TEST_F(ListTest, ColumnsAndInPlaceEditing) {
    const ConversionListModel& m = win->ListModel();
    const char* headers[] = {"",     "",      "Filename", "Artist",    "Title", "Track number", "Album",
                             "Year", "Genre", "Comment",  "Copyright", "URL",   "Encoded by",   "Path"};
    const int widths[] = {20, 20, 180, 80, 80, 70, 80, 77, 80, 80, 80, 80, 80, 240};
    ASSERT_EQ(m.columnCount(), 14);
    for (int c = 0; c < 14; ++c) {
        EXPECT_EQ(m.headerData(c, Qt::Horizontal).toString(), headers[c]);
        EXPECT_EQ(win->gvConvert->columnWidth(c), widths[c]);
    }
    EXPECT_EQ(win->gvConvert->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(win->gvConvert->selectionMode(), QAbstractItemView::ExtendedSelection);

    addRows(1);
    for (int c : {0, 1, 2, 13})
        EXPECT_FALSE(m.flags(m.index(0, c)) & Qt::ItemIsEditable) << c;
    for (int c = 3; c <= 12; ++c)
        EXPECT_TRUE(m.flags(m.index(0, c)) & Qt::ItemIsEditable) << c;

    win->show();
    const QModelIndex genre = m.index(0, Column::Genre);
    win->gvConvert->edit(genre);
    auto* combo = win->gvConvert->findChild<QComboBox*>("GenreEditor");
    ASSERT_NE(combo, nullptr);
    ASSERT_EQ(combo->count(), 148);
    EXPECT_EQ(combo->itemText(0), "Blues");
    EXPECT_EQ(combo->itemText(17), "Rock");
    const std::pair<int, const char*> different[] = {
        {40, "Alternative Rock"},   {64, "Native US"},       {118, "Rhytmic Soul"}, {123, "Acapella"},
        {136, "Christian Gangsta"}, {140, "Contemporary C"}, {147, "SynthPop"}};
    for (const auto& [i, name] : different)
        EXPECT_EQ(combo->itemText(i), name);
    combo->setEditText("My own genre"); // any text is allowed
    QTest::keyClick(combo, Qt::Key_Return);
    QCoreApplication::processEvents(); // the delegate commits through a queued call
    EXPECT_EQ(m.Cell(0, Column::Genre), "My own genre");
}

} // namespace
} // namespace apptest
