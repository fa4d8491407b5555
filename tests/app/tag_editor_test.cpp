// The tag editor in the real window, on files made by ffmpeg and read by the real component.
#include "window_fixture.h"

#include "app/tag_editor_dialog.h"
#include "app/tag_editor_texts.h"
#include "app/window_tag_editor.h"
#include "conversion/information_component.h"
#include "tagedit/format_tags.h"
#include "tags/io/stream.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

namespace apptest {
namespace {

namespace fs = std::filesystem;

class TagEditor : public WindowFixture {
protected:
    TagEditor() {
        parts.createInformation = [] { return std::make_unique<TAudioInformation2>(); };
        parts.createConvert = nullptr;
        AddTagEditorPart(parts);
    }

    QString makeMp3(const std::string& name, const std::string& title) {
        EXPECT_TRUE(testutil::makeTone(dir / name, {"-c:a", "libmp3lame", "-b:a", "64k"}, 0.5, 440, 44100, 2,
                                       {"-metadata", "title=" + title, "-metadata", "artist=Someone"}));
        return QString::fromStdString((dir / name).string());
    }

    void add(const QStringList& paths) {
        win->List().AddFiles(paths, win.get());
        ASSERT_EQ(win->ListModel().rowCount(), paths.size());
    }

    // Opens the editor as the edit-tag action does and lets `work` use it while it is shown.
    void edit(const std::function<void(Tfrmtaginfo&)>& work) {
        ui.onExec = [&](QDialog& d) {
            d.show();
            work(static_cast<Tfrmtaginfo&>(d));
            d.hide();
        };
        win->actEdittag->trigger();
        ui.onExec = nullptr;
    }

    static std::string title(const QString& path) {
        const auto fields = tagedit::ReadMp3Tags(path.toStdString(), tagedit::kDefaultReadPriority);
        return fields ? fields->Title : "<no tag>";
    }
};

TEST_F(TagEditor, OpensOnTheSelectedRowAndStepsSavingOnlyEditedRows) {
    open();
    add({makeMp3("a.mp3", "Alpha"), makeMp3("b.mp3", "Beta"), makeMp3("c.mp3", "Gamma")});
    const auto bBefore = testutil::readFile(dir / "b.mp3");
    win->cmbWriteFormat->setCurrentIndex(5); // "ID3v2 & APEv2": the default read priority finds it
    select({2});
    edit([&](Tfrmtaginfo& d) {
        EXPECT_EQ(d.CurrentRow(), 2);
        EXPECT_FALSE(d.actNext->isEnabled());
        EXPECT_FALSE(d.btnNext->isEnabled());
        EXPECT_TRUE(d.actPrevious->isEnabled());
        EXPECT_EQ(d.windowTitle(), "Edit Audio Tag - c.mp3");
        EXPECT_EQ(d.PageControl->currentWidget(), d.tsInfo); // the first opening
        EXPECT_EQ(d.edtFilename->text(), "c.mp3");
        EXPECT_EQ(d.edtTitle->text(), "Gamma");
        EXPECT_EQ(d.edtArtist->text(), "Someone");
        EXPECT_FALSE(d.Changed());
        EXPECT_EQ(d.ShownPath(), win->ListModel().Path(2));
        EXPECT_EQ(d.lblkind->text(), "MPEG audio file");
        EXPECT_EQ(d.lblsamplerate->text(), "44100 Hz");
        EXPECT_EQ(d.lblbitrate->text(), "64 Kbps");
        EXPECT_EQ(d.lblchannels->text(), "Stereo");
        EXPECT_EQ(d.lblformat->text(), "MPEG 1 Layer 3");
        EXPECT_EQ(d.lblencoded->text(), "Unknown");
        EXPECT_EQ(d.lblduration->text(), "00:01"); // 0.5 s and a frame or two
        EXPECT_FALSE(d.lbldatemodified->text().isEmpty());

        d.edtTitle->setText("Гамма");
        d.edtNumber->setValue(300); // clamped by the field
        EXPECT_TRUE(d.Changed());
        d.actPrevious->trigger();
        EXPECT_EQ(d.CurrentRow(), 1);
        EXPECT_EQ(d.edtTitle->text(), "Beta");
        EXPECT_FALSE(d.Changed());
        EXPECT_TRUE(d.actNext->isEnabled());
        d.actPrevious->trigger(); // nothing edited: row 1 is not written
        EXPECT_EQ(d.CurrentRow(), 0);
        EXPECT_FALSE(d.actPrevious->isEnabled());
        d.PageControl->setCurrentWidget(d.tsSummary);
    });
    EXPECT_EQ(title(win->ListModel().Path(2)), "Гамма");
    EXPECT_EQ(win->ListModel().Cell(2, Column::Title), "Гамма");
    EXPECT_EQ(win->ListModel().Cell(2, Column::TrackNumber), "254");
    EXPECT_EQ(win->ListModel().Cell(2, Column::Artist), "Someone");
    EXPECT_EQ(testutil::readFile(dir / "b.mp3"), bBefore);
    EXPECT_EQ(win->gvConvert->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(win->gvConvert->selectionModel()->selectedRows().value(0).row(), 0); // followed the dialog

    select({0, 1});
    edit([&](Tfrmtaginfo& d) {
        EXPECT_EQ(d.CurrentRow(), 0);
        EXPECT_EQ(d.PageControl->currentWidget(), d.tsSummary); // kept from the last opening
        d.edtAlbum->setText("Unsaved");
        d.reject();
    });
    EXPECT_EQ(win->ListModel().Cell(0, Column::Album), "");
    const auto fields = tagedit::ReadMp3Tags((dir / "a.mp3").string(), tagedit::kDefaultReadPriority);
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields->Album, "");
}

TEST_F(TagEditor, RenamesByTheFilenameField) {
    open();
    struct Case {
        const char* typed;
        const char* result; // the file name afterwards
    };
    const Case cases[] = {
        {"song", "song.mp3"}, {"song2.MP3", "song2.MP3"}, {"song3.ogg", "song3.ogg.mp3"},
        {"", ".mp3"},         {"taken", "r4.mp3"}, // a name already in the folder: the old name stays
    };
    testutil::writeFile(dir / "taken.mp3", {1, 2, 3});
    QStringList paths;
    for (size_t i = 0; i < std::size(cases); ++i)
        paths << makeMp3("r" + std::to_string(i) + ".mp3", "Old");
    add(paths);
    std::vector<std::vector<uint8_t>> before;
    for (size_t i = 0; i < std::size(cases); ++i)
        before.push_back(testutil::readFile(dir / ("r" + std::to_string(i) + ".mp3")));
    for (int row = 0; row < int(std::size(cases)); ++row) {
        const Case& c = cases[row];
        SCOPED_TRACE(c.typed);
        select({row});
        edit([&](Tfrmtaginfo& d) {
            d.edtFilename->setText(QString::fromUtf8(c.typed)); // only the name: no tag is written
            d.accept();
            EXPECT_FALSE(d.isVisible());
        });
        EXPECT_EQ(testutil::readFile(dir / c.result), before[size_t(row)]);
        const QString expectedPath = QString::fromStdString((dir / c.result).string());
        EXPECT_EQ(win->ListModel().Cell(row, Column::Filename), c.result);
        EXPECT_EQ(win->ListModel().Path(row), expectedPath);
        EXPECT_TRUE(fs::exists(dir / c.result));
        EXPECT_EQ(title(expectedPath), "Old");
        EXPECT_EQ(win->ListModel().Cell(row, Column::Title), "Old");
    }
    EXPECT_EQ(testutil::readFile(dir / "taken.mp3"), (std::vector<uint8_t>{1, 2, 3}));
}

// A file whose ID3v2 tag another program wrote in Unicode, with an ID3v1 record of its Latin-1
// remains: editing the Year with "ID3v1 & ID3v2" changes the year in both and nothing else.
TEST_F(TagEditor, SaveWritesOnlyTheEditedFields) {
    ASSERT_TRUE(testutil::makeTone(dir / "u.mp3", {"-c:a", "libmp3lame", "-b:a", "64k"}, 0.5, 440, 44100, 1,
                                   {"-map_metadata", "-1", "-id3v2_version", "0", "-write_id3v1", "0"}));
    const auto made = testutil::run({"/usr/bin/python3", QUILLOTONE_SOURCE_DIR "/tests/tagedit/tag_view.py",
                                     "make", "ten_v1", (dir / "u.mp3").string()});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const auto v2Before = tagedit::ReadTags(dir / "u.mp3", 1);
    const auto v1Before = tagedit::ReadTags(dir / "u.mp3", 2);
    ASSERT_TRUE(v2Before && v1Before);
    open();
    add({QString::fromStdString((dir / "u.mp3").string())});
    win->cmbReadpriority->setCurrentIndex(2); // ID3v1 first: the dialog shows the Latin-1 remains
    win->cmbWriteFormat->setCurrentIndex(3);  // "ID3v1 & ID3v2"
    edit([&](Tfrmtaginfo& d) {
        EXPECT_EQ(d.edtTitle->text(), "Ünïcode title ??");
        d.edtYear->setText("1999");
        d.accept();
    });
    auto v2Expected = *v2Before, v1Expected = *v1Before;
    v2Expected.Year = v1Expected.Year = "1999";
    EXPECT_EQ(tagedit::ReadTags(dir / "u.mp3", 1), v2Expected);
    EXPECT_EQ(tagedit::ReadTags(dir / "u.mp3", 2), v1Expected);
    EXPECT_EQ(win->ListModel().Cell(0, Column::Year), "1999");
}

TEST_F(TagEditor, ForbiddenCharacterKeepsTheDialogOnTheRow) {
    open();
    add({makeMp3("a.mp3", "A"), makeMp3("b.mp3", "B")});
    const auto before = testutil::readFile(dir / "a.mp3");
    select({0});
    edit([&](Tfrmtaginfo& d) {
        d.edtFilename->setText("what?");
        d.actNext->trigger();
        EXPECT_EQ(d.CurrentRow(), 0);
        d.accept();
        EXPECT_TRUE(d.isVisible());
        ASSERT_EQ(ui.messages.size(), 2u);
        EXPECT_EQ(ui.messages[0].icon, QMessageBox::Information);
        EXPECT_EQ(ui.messages[0].title, "Error Filename");
        EXPECT_EQ(ui.messages[0].text, ForbiddenFilenameMessage);
        d.reject();
    });
    EXPECT_EQ(testutil::readFile(dir / "a.mp3"), before);
    EXPECT_EQ(win->ListModel().Cell(0, Column::Filename), "a.mp3");
}

TEST_F(TagEditor, WavRowIsRenamedButNeverTagged) {
    ASSERT_TRUE(testutil::makeTone(dir / "w.wav", {"-c:a", "pcm_s16le"}, 0.5));
    open();
    add({QString::fromStdString((dir / "w.wav").string())});
    const auto before = testutil::readFile(dir / "w.wav");
    edit([&](Tfrmtaginfo& d) {
        EXPECT_EQ(d.lblkind->text(), "Wave file");
        EXPECT_EQ(d.lblformat->text(), "PCM WAV");
        for (QWidget* w : QList<QWidget*>{d.edtTitle, d.edtArtist, d.edtNumber, d.edtGenre, d.edtComment})
            EXPECT_FALSE(w->isEnabled());
        EXPECT_TRUE(d.edtTitle->text().isEmpty());
        EXPECT_TRUE(d.edtFilename->isEnabled());
        d.edtFilename->setText("renamed");
        d.accept();
    });
    EXPECT_FALSE(fs::exists(dir / "w.wav"));
    EXPECT_EQ(testutil::readFile(dir / "renamed.wav"), before);
    EXPECT_EQ(win->ListModel().Cell(0, Column::Filename), "renamed.wav");
}

TEST_F(TagEditor, OggAndWmaFieldsRoundTrip) {
    ASSERT_TRUE(testutil::makeTone(dir / "o.ogg", {"-c:a", "libvorbis"}, 0.5));
    ASSERT_TRUE(testutil::makeTone(dir / "m.wma", {"-c:a", "wmav2"}, 0.5));
    open();
    add({QString::fromStdString((dir / "o.ogg").string()), QString::fromStdString((dir / "m.wma").string())});
    edit([&](Tfrmtaginfo& d) {
        for (int row = 0; row < 2; ++row) {
            d.edtTitle->setText("Tïtle 日本");
            d.edtGenre->setCurrentText("Not In The List");
            d.edtComment->setPlainText("line one\nline two");
            d.edtNumber->setValue(7);
            if (row == 0)
                d.actNext->trigger();
            else
                d.accept();
        }
    });
    EXPECT_TRUE(ui.messages.empty());
    const auto ogg = tagedit::ReadOggTags((dir / "o.ogg").string());
    const auto wma = tagedit::ReadWmaTags((dir / "m.wma").string());
    for (const auto& f : {ogg, wma}) {
        ASSERT_TRUE(f);
        EXPECT_EQ(f->Title, "Tïtle 日本");
        EXPECT_EQ(f->Genre, "Not In The List");
        EXPECT_EQ(f->Comment, "line one\r\nline two");
        EXPECT_EQ(f->Track, 7);
    }
    edit([&](Tfrmtaginfo& d) { // reloads them as typed
        EXPECT_EQ(d.edtTitle->text(), "Tïtle 日本");
        EXPECT_EQ(d.edtComment->toPlainText(), "line one\nline two");
        EXPECT_EQ(d.edtGenre->currentText(), "Not In The List");
    });
}

TEST_F(TagEditor, FailedWriteIsReportedAndTheRowKeepsItsTags) {
    open();
    const QString path = makeMp3("a.mp3", "A");
    add({path});
    testutil::writeFile(dir / "a.mp3", std::vector<uint8_t>(4000, 0)); // no MPEG stream any more
    edit([&](Tfrmtaginfo& d) {
        EXPECT_EQ(d.lblformat->text(), ""); // the component cannot read it
        EXPECT_EQ(d.lblsize->text(), "");
        d.edtTitle->setText("New");
        d.accept();
        EXPECT_FALSE(d.isVisible());
    });
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].icon, QMessageBox::Warning);
    EXPECT_EQ(ui.messages[0].title, "Wrong");
    EXPECT_EQ(ui.messages[0].text, "File \"" + path + "\" tag writing failed!");
    EXPECT_EQ(win->ListModel().Cell(0, Column::Title), "A");
    EXPECT_EQ(testutil::readFile(dir / "a.mp3"), std::vector<uint8_t>(4000, 0));
}

TEST_F(TagEditor, TagErrorsWhileTheFileIsLockedLoseNothing) {
    ASSERT_TRUE(testutil::makeTone(dir / "o.ogg", {"-c:a", "libvorbis"}, 0.5, 440, 44100, 2,
                                   {"-metadata", "title=Keep"}));
    open();
    add({QString::fromStdString((dir / "o.ogg").string())});
    {
        // another writer holds the file: the Ogg read and write cannot open it
        tags::TWideFileStream holder(dir / "o.ogg", tags::ModeReadWrite);
        edit([&](Tfrmtaginfo& d) {
            ASSERT_EQ(ui.messages.size(), 1u); // raised by the load, which still shows the row
            EXPECT_EQ(ui.messages[0].icon, QMessageBox::Critical);
            EXPECT_EQ(d.lblkind->text(), "Ogg file");
            EXPECT_EQ(d.edtTitle->text(), "");
            EXPECT_FALSE(d.Changed());
            d.edtTitle->setText("Lost?");
            d.accept(); // the write raises: the dialog stays open and the row keeps its tags
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(ui.messages.size(), 2u);
            EXPECT_TRUE(d.Changed());
            d.reject();
        });
        EXPECT_EQ(win->ListModel().Cell(0, Column::Title), "Keep");
        ui.messages.clear();
        edit([&](Tfrmtaginfo& d) { // only the name edited: renamed, and the empty fields are not written
            d.edtFilename->setText("moved");
            d.accept();
            EXPECT_FALSE(d.isVisible());
        });
        EXPECT_EQ(ui.messages.size(), 1u); // the load's error only
    }
    EXPECT_EQ(win->ListModel().Cell(0, Column::Filename), "moved.ogg");
    const auto fields = tagedit::ReadOggTags((dir / "moved.ogg").string());
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields->Title, "Keep");
}

// After a load that failed, the fields on show are empty, not the file's: a save that succeeds then
// changes in the row only the fields the user edited.
TEST_F(TagEditor, SaveAfterAFailedLoadKeepsTheRowsOtherColumns) {
    ASSERT_TRUE(testutil::makeTone(dir / "o.ogg", {"-c:a", "libvorbis"}, 0.5, 440, 44100, 2,
                                   {"-metadata", "title=Keep", "-metadata", "album=Also"}));
    open();
    add({QString::fromStdString((dir / "o.ogg").string())});
    auto holder = std::make_unique<tags::TWideFileStream>(dir / "o.ogg", tags::ModeReadWrite);
    edit([&](Tfrmtaginfo& d) {
        ASSERT_EQ(ui.messages.size(), 1u); // the load could not read the tags
        holder.reset();                    // the other writer lets go before the save
        d.edtArtist->setText("New");
        d.accept();
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(win->ListModel().Cell(0, Column::Artist), "New");
    EXPECT_EQ(win->ListModel().Cell(0, Column::Title), "Keep");
    EXPECT_EQ(win->ListModel().Cell(0, Column::Album), "Also");
    const auto fields = tagedit::ReadOggTags((dir / "o.ogg").string());
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields->Artist, "New");
    EXPECT_EQ(fields->Title, "Keep");
}

TEST_F(TagEditor, DeletedFileIsNeitherLoadedNorSaved) {
    open();
    add({makeMp3("a.mp3", "Kept"), makeMp3("gone.mp3", "Gone")});
    select({0});
    edit([&](Tfrmtaginfo& d) { EXPECT_EQ(d.edtTitle->text(), "Kept"); });
    fs::remove(dir / "gone.mp3");
    select({1});
    edit([&](Tfrmtaginfo& d) {
        EXPECT_EQ(d.windowTitle(), "Audio Tag Edit");
        EXPECT_EQ(d.edtTitle->text(), "Kept"); // what the pages held before
        d.edtTitle->setText("Edited");
        d.accept();
    });
    EXPECT_FALSE(fs::exists(dir / "gone.mp3"));
    EXPECT_EQ(title(win->ListModel().Path(0)), "Kept");
    EXPECT_EQ(win->ListModel().Cell(1, Column::Title), "Gone");
    EXPECT_TRUE(ui.messages.empty());
}

} // namespace
} // namespace apptest
