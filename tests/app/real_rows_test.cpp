// Rows filled by the real information component from files that ffmpeg wrote with tags.
#include "window_fixture.h"

#include "app/import_error_dialog.h"
#include "conversion/information_component.h"

namespace apptest {
namespace {

struct Format {
    const char* name;
    std::vector<std::string> codec;
    QStringList unsupported; // columns the container cannot carry, by header
};

class RealRows : public WindowFixture {
protected:
    RealRows() {
        parts.createInformation = [] { return std::make_unique<TAudioInformation2>(); };
        parts.createConvert = nullptr;
    }
};

TEST_F(RealRows, TheTenTagCellsOfGeneratedFiles) {
    const std::vector<std::pair<std::string, std::string>> tags{
        {"artist", "Ärtist Ünïcode"}, {"title", "Tïtle"},         {"track", "3"},
        {"album", "Albüm"},           {"date", "2001"},           {"genre", "Jazz"},
        {"comment", "Cömment"},       {"copyright", "Cöpyright"}, {"url", "http:page"},
        {"encoded_by", "Encöder"}};
    const QStringList expected{"Ärtist Ünïcode", "Tïtle",   "3",         "Albüm",     "2001",
                               "Jazz",           "Cömment", "Cöpyright", "http:page", "Encöder"};
    std::vector<std::string> metadata;
    for (const auto& [key, value] : tags)
        metadata.insert(metadata.end(), {"-metadata", key + "=" + value});

    const Format formats[] = {
        {"tagged.mp3", {"-c:a", "libmp3lame", "-b:a", "64k"}, {}},
        {"tagged.ogg", {"-c:a", "libvorbis"}, {}},
        {"tagged.wma", {"-c:a", "wmav2"}, {}},
        // RIFF INFO has no URL entry.
        {"tagged.wav", {"-c:a", "pcm_s16le"}, {"URL"}},
    };
    QStringList paths;
    for (const Format& f : formats) {
        ASSERT_TRUE(testutil::makeTone(dir / f.name, f.codec, 0.5, 440, 44100, 2, metadata));
        paths << QString::fromStdString((dir / f.name).string());
    }
    open();
    int errorDialogs = 0;
    ui.onExec = [&](QDialog&) { ++errorDialogs; };
    win->List().AddFiles(paths, win.get());
    EXPECT_EQ(errorDialogs, 0);
    const ConversionListModel& m = win->ListModel();
    ASSERT_EQ(m.rowCount(), 4);
    for (int row = 0; row < 4; ++row) {
        SCOPED_TRACE(formats[row].name);
        EXPECT_EQ(m.Cell(row, Column::Filename), formats[row].name);
        EXPECT_EQ(m.Path(row), paths[row]);
        for (int c = Column::Artist; c <= Column::EncodedBy; ++c) {
            const QString header = m.headerData(c, Qt::Horizontal).toString();
            if (formats[row].unsupported.contains(header)) continue;
            EXPECT_EQ(m.Cell(row, c), expected[c - Column::Artist]) << header.toStdString();
        }
    }
}

TEST_F(RealRows, UntaggedFileAndContentThatDoesNotMatchItsName) {
    ASSERT_TRUE(testutil::makeTone(dir / "plain.mp3", {"-c:a", "libmp3lame", "-map_metadata", "-1"}, 0.3));
    // Ogg content under an MP3 name is refused; so is text.
    ASSERT_TRUE(testutil::makeTone(dir / "ogg-inside.mp3", {"-c:a", "libvorbis", "-f", "ogg"}, 0.3));
    testutil::writeFile(dir / "text.wav", {'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o'});
    open();
    std::vector<QString> reasons;
    ui.onExec = [&](QDialog& d) {
        auto& errors = static_cast<TfrmImpErr&>(d);
        for (int i = 0; i < errors.EntryCount(); ++i)
            reasons.push_back(errors.EntryText(i, 0) + ": " + errors.EntryText(i, 2));
    };
    auto path = [&](const char* n) { return QString::fromStdString((dir / n).string()); };
    win->List().AddFiles({path("plain.mp3"), path("ogg-inside.mp3"), path("text.wav")}, win.get());
    EXPECT_EQ(reasons,
              (std::vector<QString>{"ogg-inside.mp3: invalid audio file", "text.wav: invalid audio file"}));
    const ConversionListModel& m = win->ListModel();
    ASSERT_EQ(m.rowCount(), 1);
    EXPECT_EQ(m.Cell(0, Column::TrackNumber), "0");
    EXPECT_EQ(m.Cell(0, Column::Year), "");
    EXPECT_EQ(m.Cell(0, Column::Artist), "");
}

} // namespace
} // namespace apptest
