// Output naming: the three modes, the cleaning of tag text, and names that must stay inside the
// target folder and within the file system's name length.
#include "conversion/output_naming.h"

#include <QFileInfo>
#include <QSet>
#include <gtest/gtest.h>

using namespace quillotone;

namespace {

// A file system in memory that records the folders it is asked to make.
struct FakeFs {
    QSet<QString> existing;
    QStringList made;
    bool canMake = true;
    NamingFileSystem fs() {
        return {[this](const QString& p) { return existing.contains(p); },
                [this](const QString& p) {
                    made << p;
                    if (canMake) existing.insert(p);
                    return canMake;
                }};
    }
};

NamingInput pattern(const QString& text, const NamingRow& row, OutFormat format = OutFormat::Mp3) {
    NamingInput in;
    in.targetFolder = "/out";
    in.outFormat = format;
    in.options.rename = true;
    in.options.prefix = false;
    in.options.property = true;
    in.options.pattern = text;
    in.row = row;
    return in;
}

NamingRow tags(QString artist, QString title, QString track = "3", QString album = "B") {
    NamingRow r;
    r.source = "/music/a/song.ogg";
    r.artist = artist;
    r.title = title;
    r.track = track;
    r.album = album;
    r.year = "1999";
    r.genre = "Jazz";
    return r;
}

struct PatternCase {
    const char* name;
    QString pattern;
    NamingRow row;
    QString expected;
};

class PatternNaming : public ::testing::TestWithParam<PatternCase> {};

TEST_P(PatternNaming, BuildsThePath) {
    FakeFs fake;
    fake.existing.insert("/out");
    const PatternCase& c = GetParam();
    EXPECT_EQ(OutputPathFor(pattern(c.pattern, c.row), fake.fs()), c.expected);
}

const QString longTitle = QString(300, QChar(0x00E9)); // 600 bytes of UTF-8

INSTANTIATE_TEST_SUITE_P(
    Cases, PatternNaming,
    ::testing::Values(
        PatternCase{"SubFolder", "<artist> - <album>\\<number>. <title>", tags("A", "T"),
                    "/out/A - B/3. T.mp3"},
        PatternCase{"Capitals", "<ARTIST> - <Title>", tags("A", "T"), "/out/A - T.mp3"},
        PatternCase{"YearAndGenre", "<year> <genre> <number>", tags("A", "T"), "/out/1999 Jazz 3.mp3"},
        PatternCase{"EmptyCellKeepsSeparators", "<artist> - <title>", tags("", "T"), "/out/ - T.mp3"},
        PatternCase{"Cleaning", "<title>", tags("A", "Who? Me: 1/2"), "/out/Who  Me  1_2.mp3"},
        PatternCase{"Bar", "<title>", tags("A", "x|y"), "/out/x-y.mp3"},
        PatternCase{"BracketsAndQuotes", "<title>", tags("A", "<a> \"b\""), "/out/a b.mp3"},
        PatternCase{"UnknownPlaceholder", "<track> <title>", tags("A", "T"), "/out/track T.mp3"},
        PatternCase{"BackslashInValue", "<artist>\\<title>", tags("A\\B", "T"), "/out/A/B/T.mp3"},
        PatternCase{"StarsAndColons", "<title>", tags("A", "a*b:c"), "/out/a b c.mp3"},
        // mended: no level may climb out of or collapse onto the target folder
        PatternCase{"DotDotArtist", "<artist>\\<title>", tags("..", "T"), "/out/__/T.mp3"},
        PatternCase{"DotTitle", "<artist>\\<title>", tags("A", "."), "/out/A/_.mp3"},
        PatternCase{"DotsInValue", "<artist>", tags("..\\..\\etc", "T"), "/out/__/__/etc.mp3"},
        PatternCase{"EmptyLevels", "<artist>\\<album>\\<title>", tags("", "T", "1", ""), "/out/T.mp3"},
        PatternCase{"LeadingSeparator", "\\<title>", tags("A", "T"), "/out/T.mp3"},
        PatternCase{"OverlongName", "<title>", tags("A", longTitle),
                    "/out/" + QString(125, QChar(0x00E9)) + ".mp3"},
        PatternCase{"OverlongFolder", "<artist>\\<title>", tags(QString(300, 'x'), "T"),
                    "/out/" + QString(255, 'x') + "/T.mp3"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OutputNaming, OverlongNameNeverSplitsACharacter) {
    FakeFs fake;
    fake.existing.insert("/out");
    // four-byte characters: 63 of them fit before ".mp3" in 255 bytes (252 + 4 would not)
    QString emoji;
    for (int i = 0; i < 100; ++i)
        emoji += QString::fromUtf8("\xF0\x9F\x8E\xB5");
    QString path = OutputPathFor(pattern("<title>", tags("A", emoji)), fake.fs());
    QString name = path.mid(5);
    EXPECT_LE(name.toUtf8().size(), MaxNameBytes);
    EXPECT_TRUE(name.endsWith(".mp3"));
    EXPECT_EQ(name.toUtf8().size(), 62 * 4 + 4);
    EXPECT_EQ(QString::fromUtf8(name.toUtf8()), name); // valid UTF-8 throughout
}

TEST(OutputNaming, PatternMakesTheMissingFolderOrGivesEmpty) {
    FakeFs fake;
    fake.existing.insert("/out");
    EXPECT_EQ(OutputPathFor(pattern("<artist> - <album>\\<number>. <title>", tags("A", "T")), fake.fs()),
              "/out/A - B/3. T.mp3");
    EXPECT_EQ(fake.made, QStringList{"/out/A - B"});

    fake.made.clear();
    EXPECT_EQ(OutputPathFor(pattern("<title>", tags("A", "T")), fake.fs()), "/out/T.mp3");
    EXPECT_TRUE(fake.made.isEmpty()); // the folder exists

    FakeFs refusing;
    refusing.canMake = false;
    EXPECT_EQ(OutputPathFor(pattern("<artist>\\<title>", tags("A", "T")), refusing.fs()), "");
}

TEST(OutputNaming, KeepNameWithAndWithoutTrailingSeparator) {
    for (const char* folder : {"/out", "/out/"}) {
        FakeFs fake;
        NamingInput in;
        in.targetFolder = folder;
        in.row.source = "/music/a/song.ogg";
        EXPECT_EQ(OutputPathFor(in, fake.fs()), "/out/song.mp3") << folder;
        EXPECT_EQ(fake.made, QStringList{folder}); // missing target folder is made
    }
    FakeFs fake;
    NamingInput in;
    in.targetFolder = "/out";
    in.outFormat = OutFormat::Wma;
    in.row.source = "/music/a/b.c.WAV";
    EXPECT_EQ(OutputPathFor(in, fake.fs()), "/out/b.c.wma");
}

TEST(OutputNaming, ExtensionsByFormat) {
    EXPECT_EQ(OutputExtension(OutFormat::Mp3), ".mp3");
    EXPECT_EQ(OutputExtension(OutFormat::Ogg), ".ogg");
    EXPECT_EQ(OutputExtension(OutFormat::Wav), ".wav");
    EXPECT_EQ(OutputExtension(OutFormat::Wma), ".wma");
}

TEST(OutputNaming, ZeroPad) {
    EXPECT_EQ(ZeroPad(7, 0), "7");
    EXPECT_EQ(ZeroPad(123, 2), "123");
    EXPECT_EQ(ZeroPad(1, 3), "001");
    EXPECT_EQ(ZeroPad(42, 10), "0000000042");
}

NamingInput numbered(QString prefix, int start, int padding, QString source = "/music/live.wav") {
    NamingInput in;
    in.targetFolder = "/out";
    in.options.rename = true;
    in.options.prefix = true;
    in.options.prefixText = prefix;
    in.options.startAt = start;
    in.options.padding = padding;
    in.row.source = source;
    return in;
}

TEST(OutputNaming, NumberingFollowsExistingFiles) {
    FakeFs fake;
    QStringList names;
    for (int i = 0; i < 3; ++i) {
        QString p = OutputPathFor(numbered("track", 1, 3), fake.fs());
        names << p;
        fake.existing.insert(p); // the outputs of the run count as existing
    }
    EXPECT_EQ(names, (QStringList{"/out/track001.mp3", "/out/track002.mp3", "/out/track003.mp3"}));
    EXPECT_TRUE(fake.made.isEmpty()); // this mode makes no folder

    FakeFs before;
    before.existing.insert("/out/track001.mp3");
    names.clear();
    for (int i = 0; i < 3; ++i) {
        QString p = OutputPathFor(numbered("track", 1, 3), before.fs());
        names << p;
        before.existing.insert(p);
    }
    EXPECT_EQ(names, (QStringList{"/out/track002.mp3", "/out/track003.mp3", "/out/track004.mp3"}));
}

TEST(OutputNaming, EmptyPrefixTakesTheSourceName) {
    FakeFs fake;
    EXPECT_EQ(OutputPathFor(numbered("", 1, 2), fake.fs()), "/out/live01.mp3");
    EXPECT_EQ(NumberedName(numbered("", 5, 0, "/m/a.b.ogg"), fake.fs()), "/out/a.b5.mp3");
    // a prefix is never a path
    EXPECT_EQ(OutputPathFor(numbered("../x", 1, 0), fake.fs()), "/out/.._x1.mp3");
    EXPECT_EQ(OutputPathFor(numbered("..", 1, 0), fake.fs()), "/out/..1.mp3");
}

TEST(OutputNaming, RenameWithNeitherModeIsEmpty) {
    FakeFs fake;
    NamingInput in = numbered("t", 1, 0);
    in.options.prefix = false;
    in.options.property = false;
    EXPECT_EQ(OutputPathFor(in, fake.fs()), "");
}

// Keeping the folder structure: with the source's name and the prefix, an output goes into the
// sub-folders its source had below the folder it was added from; the pattern mode makes its own.
TEST(OutputNaming, KeepTheFolderStructure) {
    struct Case {
        const char* what;
        int mode; // 0 the source's name, 1 prefix, 2 pattern
        QString base, source, expected;
        QStringList made;
    };
    const Case cases[] = {
        {"two levels", 0, "/m", "/m/a/b/x.wav", "/out/a/b/x.mp3", {"/out/a/b"}},
        {"a trailing separator", 0, "/m/", "/m/a/x.wav", "/out/a/x.mp3", {"/out/a"}},
        {"directly in the folder", 0, "/m", "/m/x.wav", "/out/x.mp3", {}},
        {"a file added on its own", 0, "", "/m/a/x.wav", "/out/x.mp3", {}},
        {"not below the folder", 0, "/m/a", "/m/b/x.wav", "/out/x.mp3", {}},
        {"prefix", 1, "/m", "/m/a/x.wav", "/out/a/p1.mp3", {"/out/a"}},
        {"pattern", 2, "/m", "/m/a/x.wav", "/out/T.mp3", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeFs fake;
        fake.existing.insert("/out");
        NamingInput in = c.mode == 2 ? pattern("<title>", tags("A", "T")) : numbered("p", 1, 0, c.source);
        in.options.rename = c.mode != 0;
        in.options.keepTree = true;
        in.row.source = c.source;
        in.row.baseFolder = c.base;
        EXPECT_EQ(OutputPathFor(in, fake.fs()), c.expected);
        EXPECT_EQ(fake.made, c.made);
        in.options.keepTree = false;
        EXPECT_EQ(QFileInfo(OutputPathFor(in, fake.fs())).path(), "/out");
    }
    FakeFs refusing;
    refusing.canMake = false;
    NamingInput in;
    in.targetFolder = "/out";
    in.options.keepTree = true;
    in.row = {"/m/a/x.wav", {}, {}, {}, {}, {}, {}, "/m"};
    EXPECT_EQ(OutputPathFor(in, refusing.fs()), "");
}

} // namespace
