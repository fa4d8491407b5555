#include "common/test_files.h"
#include "tags/apev2/apetag.h"
#include "tags/id3v1/id3v1.h"
#include "tags_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

using namespace tags;
using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;
namespace fs = std::filesystem;

namespace {

std::string Le32(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

std::string Item(const std::string& key, const std::string& value, uint32_t flags = 0) {
    return Le32(static_cast<uint32_t>(value.size())) + Le32(flags) + key + '\0' + value;
}

std::string Frame(uint32_t size, uint32_t count, uint32_t flags, uint32_t version = 2000) {
    return "APETAGEX" + Le32(version) + Le32(size) + Le32(count) + Le32(flags) + std::string(8, '\0');
}

// A tag as other writers lay it out: header (optional), items, footer.
std::string Tag(const std::vector<std::string>& items, bool header = true) {
    std::string body;
    for (const auto& i : items)
        body += i;
    const auto size = static_cast<uint32_t>(body.size() + 32);
    const auto count = static_cast<uint32_t>(items.size());
    return (header ? Frame(size, count, 0xA0000000) : "") + body +
           Frame(size, count, header ? 0x80000000 : 0);
}

std::string Id3v1(const std::string& title) {
    std::string r(128, '\0');
    r.replace(0, 3, "TAG");
    r.replace(3, title.size(), title);
    r[127] = '\xff';
    return r;
}

const std::string kLyrics3 = "LYRICSBEGININD0000200AUT00002Me000031LYRICS200";
const std::string kAudio = "\xff\xfb\x90\x64" + std::string(300, '\x33');

std::string Bytes(const TMemoryStream& m) {
    return m.Text();
}

} // namespace

// ---- reading ---------------------------------------------------------------------------------------

struct ApeReadCase {
    const char* name;
    std::string bytes;
    bool result;
    bool exists;
    std::vector<std::pair<std::string, std::string>> items;
};

class ApeRead : public testing::TestWithParam<ApeReadCase> {};

TEST_P(ApeRead, Items) {
    const auto& c = GetParam();
    TMemoryStream m(c.bytes);
    TAPETag tag;
    EXPECT_EQ(tag.ReadFrom(m), c.result);
    EXPECT_EQ(tag.Exists(), c.exists);
    std::vector<std::pair<std::string, std::string>> items;
    for (const auto& i : tag.Items())
        items.emplace_back(i.Key, i.Value);
    EXPECT_EQ(items, c.items);
}

const std::string k300(300, 'v');

INSTANTIATE_TEST_SUITE_P(
    Layouts, ApeRead,
    testing::Values(
        ApeReadCase{"tag then ID3v1",
                    kAudio + Tag({Item("Title", "T"), Item("Artist", "A")}) + Id3v1("x"),
                    true,
                    true,
                    {{"Title", "T"}, {"Artist", "A"}}},
        ApeReadCase{"tag at the end", kAudio + Tag({Item("Title", "T")}), true, true, {{"Title", "T"}}},
        ApeReadCase{
            "no header (version 1)", kAudio + Tag({Item("Title", "T")}, false), true, true, {{"Title", "T"}}},
        // Found in front of a Lyrics3 block too, with and without the ID3v1 record after it.
        ApeReadCase{"tag, Lyrics3, ID3v1",
                    kAudio + Tag({Item("Title", "T")}) + kLyrics3 + Id3v1("x"),
                    true,
                    true,
                    {{"Title", "T"}}},
        ApeReadCase{
            "tag, Lyrics3", kAudio + Tag({Item("Title", "T")}) + kLyrics3, true, true, {{"Title", "T"}}},
        // Values are read whole, with their spaces, and the next item still lines up.
        ApeReadCase{"300-byte value",
                    kAudio + Tag({Item("Comment", k300), Item("Year", " 1999 ")}),
                    true,
                    true,
                    {{"Comment", k300}, {"Year", " 1999 "}}},
        ApeReadCase{"no tag", kAudio + Id3v1("x"), true, false, {}},
        ApeReadCase{"too short for a footer", std::string("APETAGEX"), false, false, {}},
        ApeReadCase{"count larger than the items",
                    kAudio +
                        [] {
                            std::string t = Tag({Item("A", "1")});
                            return t.replace(16, 4, Le32(1000000)).replace(t.size() - 16, 4, Le32(1000000));
                        }(),
                    true,
                    true,
                    {{"A", "1"}}},
        ApeReadCase{"value length past the tag",
                    kAudio + Tag({Item("A", "1"), Le32(5000) + Le32(0) + "B" + '\0'}),
                    true,
                    true,
                    {{"A", "1"}}},
        ApeReadCase{"key without its zero byte",
                    kAudio + Tag({Item("A", "1"), Le32(0) + Le32(0) + "BBBB"}),
                    true,
                    true,
                    {{"A", "1"}}},
        ApeReadCase{"size larger than the file", kAudio + Frame(0x7FFFFFFF, 3, 0x80000000), true, true, {}},
        ApeReadCase{"size smaller than a footer", kAudio + Frame(8, 3, 0x80000000), true, true, {}}),
    [](const auto& info) {
        std::string n;
        for (char c : std::string(info.param.name))
            n += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return n;
    });

TEST(ApeItems, FlagsVersionSizeAndLookups) {
    const std::string picture("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    const std::string cover = std::string("c.png\0", 6) + picture;
    const std::string tag = Tag({Item("Title", std::string("  Song \0", 8), 0),
                                 Item("Cover Art (Front)", cover, 2), Item("Link", "http://x", 4)});
    TMemoryStream m(kAudio + tag + Id3v1("x"));
    TAPETag ape;
    ASSERT_TRUE(ape.ReadFrom(m));
    EXPECT_EQ(ape.Version(), 2000u);
    EXPECT_EQ(ape.Size(), tag.size() - 32);
    EXPECT_EQ(ape.TotalSize(), static_cast<int64_t>(tag.size()));
    ASSERT_EQ(ape.Items().size(), 3u);
    EXPECT_EQ(ape.Items()[1].Flags, 2u);
    EXPECT_EQ(ape.Items()[1].Type(), 1u);
    EXPECT_EQ(ape.Items()[1].Value, cover);
    EXPECT_EQ(ape.Items()[2].Type(), 2u);
    EXPECT_EQ(ape.ItemValue("TITLE"), "Song"); // the text view is trimmed; the item keeps its bytes
    EXPECT_EQ(ape.Items()[0].Value, std::string("  Song \0", 8));
    EXPECT_EQ(ape.ItemValue("Album"), "");

    ape.SetItem("TITLE", "New");
    ape.SetItem("Cover Art (Front)", cover); // unchanged value: stays binary
    ape.SetItem("Link", "http://y");         // a new value is text
    ape.SetItem("Album", "Alb");
    ASSERT_EQ(ape.Items().size(), 4u);
    EXPECT_EQ(ape.Items()[0].Key, "Title");
    EXPECT_EQ(ape.Items()[0].Value, "New");
    EXPECT_EQ(ape.Items()[1].Flags, 2u);
    EXPECT_EQ(ape.Items()[2].Flags, 0u);
    EXPECT_EQ(ape.Items()[3].Key, "Album");
}

// ---- writing ---------------------------------------------------------------------------------------

TEST(ApeWrite, EmptyListIsA64ByteTag) {
    TAPETag ape;
    const std::string expected("APETAGEX\xd0\x07\0\0\x20\0\0\0\0\0\0\0\0\0\0\xa0\0\0\0\0\0\0\0\0"
                               "APETAGEX\xd0\x07\0\0\x20\0\0\0\0\0\0\0\0\0\0\x80\0\0\0\0\0\0\0\0",
                               64);
    EXPECT_EQ(ape.Build(), expected);
}

TEST(ApeWrite, PlacesTheTagInFrontOfTheTrailerTags) {
    const std::string newTag = Tag({Item("Title", "New"), Item("Cover", std::string("\0\1\2\xff", 4), 2)});
    struct Case {
        const char* name;
        std::string before, after;
        bool result;
    } cases[] = {
        {"no tags", kAudio, kAudio + newTag, true},
        {"ID3v1 only", kAudio + Id3v1("v1"), kAudio + newTag + Id3v1("v1"), true},
        {"tag and ID3v1", kAudio + Tag({Item("Title", "Old")}) + Id3v1("v1"), kAudio + newTag + Id3v1("v1"),
         true},
        {"tag without header", kAudio + Tag({Item("Title", "Old")}, false), kAudio + newTag, true},
        {"tag, Lyrics3, ID3v1", kAudio + Tag({Item("Title", "Old")}) + kLyrics3 + Id3v1("v1"),
         kAudio + newTag + kLyrics3 + Id3v1("v1"), true},
        {"Lyrics3 and ID3v1 only", kAudio + kLyrics3 + Id3v1("v1"), kAudio + newTag + kLyrics3 + Id3v1("v1"),
         true},
        // A header flag without a header: the 32 bytes in front are audio and stay.
        {"header flag but no header", kAudio + Tag({Item("Title", "Old")}).substr(32), kAudio + newTag, true},
        // A size that points before the file: the damaged footer stays, the new tag goes in front of ID3v1.
        {"size past the start", kAudio + Frame(0x7FFFFFFF, 0, 0x80000000) + Id3v1("v1"),
         kAudio + Frame(0x7FFFFFFF, 0, 0x80000000) + newTag + Id3v1("v1"), true},
        // Too short for a footer: false, and the tag still goes in front of the ID3v1 record.
        {"too short", Id3v1("v1").substr(0, 10) + Id3v1("v1"),
         Id3v1("v1").substr(0, 10) + newTag + Id3v1("v1"), false},
    };
    for (const auto& c : cases) {
        TMemoryStream m(c.before);
        TAPETag ape;
        ape.SetItem("Title", "New");
        ape.Items().push_back(RField{"Cover", std::string("\0\1\2\xff", 4), 2});
        EXPECT_EQ(ape.WriteTo(m), c.result) << c.name;
        EXPECT_EQ(Bytes(m), c.after) << c.name;
        TAPETag back;
        back.ReadFrom(m);
        EXPECT_TRUE(back.Exists()) << c.name;
        EXPECT_EQ(back.ItemValue("title"), "New") << c.name;
    }
}

TEST(ApeWrite, AllThreeTrailerTagsStayReadable) {
    TMemoryStream m(kAudio + Tag({Item("Title", "Old")}) + kLyrics3 + Id3v1("v1 title"));
    TAPETag ape;
    ASSERT_TRUE(ape.ReadFrom(m));
    ape.SetItem("Title", "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e \xd0\x96");
    ASSERT_TRUE(ape.WriteTo(m));
    TID3v1 v1;
    v1.ReadFrom(m);
    EXPECT_EQ(v1.Title(), "v1 title");
    EXPECT_EQ(v1.LyricsAuthor(), "Me");
    TAPETag back;
    back.ReadFrom(m);
    EXPECT_EQ(back.ItemValue("Title"), "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e \xd0\x96");
    // And an ID3v1 write after it keeps the APE tag in front of the new trailer.
    v1.SetTitle("changed");
    v1.WriteTo(m);
    back.ReadFrom(m);
    EXPECT_EQ(back.ItemValue("Title"), "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e \xd0\x96");
}

TEST(ApeWrite, FullDiskPutsTheOldTagBack) {
    const std::string before = kAudio + Tag({Item("Title", "Old"), Item("Bin", "\1\2", 2)}) + Id3v1("v1");
    for (int64_t spare : {0, 5, 60}) {
        testsupport::TFullDiskStream m(std::vector<uint8_t>(before.begin(), before.end()), spare);
        TAPETag ape;
        ASSERT_TRUE(ape.ReadFrom(m));
        ape.SetItem("Comment", std::string(200, 'c'));
        EXPECT_THROW(ape.WriteTo(m), TFileError) << spare;
        EXPECT_EQ(Bytes(m), before) << spare;
    }
}

TEST(ApeWrite, KeyWithZeroByteIsRefusedBeforeAnythingIsWritten) {
    TMemoryStream m(kAudio);
    TAPETag ape;
    ape.SetItem(std::string("A\0B", 3), "x");
    EXPECT_THROW(ape.WriteTo(m), TFileError);
    EXPECT_EQ(Bytes(m), kAudio);
}

// Mended: the footer's size was believed, so a damaged one made the write cut the file there, audio
// and all. It counts only when a header of that size or the items themselves (filling the region
// exactly) bear it out; otherwise the old bytes stay and the new tag goes behind them.
TEST(ApeWrite, ADamagedSizeNeverCutsAudio) {
    const std::string items = Item("Title", "Old") + Item("Artist", "A");
    const auto footer = [&](uint32_t size, uint32_t flags) { return Frame(size, 2, flags); };
    const uint32_t real = static_cast<uint32_t>(items.size() + 32);
    struct Case {
        const char* name;
        std::string tag; // what stands between the audio and the ID3v1 record
        bool replaced;   // the old tag is cut off (its size was borne out)
    } cases[] = {
        {"sound, with header", Frame(real, 2, 0xA0000000) + items + footer(real, 0x80000000), true},
        {"sound, no header", items + footer(real, 0), true},
        {"wrong count, items fill the size", items + Frame(real, 7, 0), true},
        {"size reaches into the audio", items + footer(real + 200, 0), false},
        {"header flag, size reaches into the audio", items + footer(real + 200, 0x80000000), false},
        {"size too small", items + footer(real - 5, 0), false},
        {"header of another size", Frame(real + 1, 2, 0xA0000000) + items + footer(real + 200, 0x80000000),
         false},
    };
    for (const auto& c : cases) {
        TMemoryStream m(kAudio + c.tag + Id3v1("v1"));
        TAPETag ape;
        ape.SetItem("Title", "New");
        ASSERT_NO_THROW(ape.WriteTo(m)) << c.name;
        const std::string kept = c.replaced ? kAudio : kAudio + c.tag;
        EXPECT_EQ(Bytes(m), kept + ape.Build() + Id3v1("v1")) << c.name;
        TAPETag back;
        back.ReadFrom(m);
        EXPECT_EQ(back.ItemValue("Title"), "New") << c.name;
    }
}

// Mended: several values of an item showed joined by U+0000; setting the shown text split nothing.
TEST(ApeItems, SeveralValuesShowJoinedAndStayApart) {
    const std::string multi("Anna\0Bob\0", 9);
    TMemoryStream m(kAudio + Tag({Item("Artist", multi), Item("Genre", std::string(" Jazz \0\0Rock", 13)),
                                  Item("Cover", std::string("a\0b", 3), 2)}));
    TAPETag ape;
    ASSERT_TRUE(ape.ReadFrom(m));
    EXPECT_EQ(ape.ItemValue("artist"), "Anna; Bob");
    EXPECT_EQ(ape.ItemValues("artist"), (std::vector<std::string>{"Anna", "Bob"}));
    EXPECT_EQ(ape.ItemValue("Genre"), "Jazz; Rock");
    EXPECT_EQ(ape.ItemValue("Cover"), std::string("a\0b", 3)); // binary data shows as it is
    EXPECT_TRUE(ape.ItemValues("Album").empty());
    ape.SetItem("Artist", "Anna; Bob"); // what shows: nothing changes
    ape.SetItem("Genre", "Jazz; Blues");
    EXPECT_EQ(ape.Items()[0].Value, multi);
    EXPECT_EQ(ape.Items()[1].Value, "Jazz; Blues");
}

// Read items stay in their file form until the list is asked for; every operation gives the same tag
// either way.
TEST(ApeItems, TheFileFormAndTheListAgree) {
    const std::string before = kAudio +
                               Tag({Item("Title", "T"), Item("Artist", std::string("A\0B", 3)),
                                    Item("Cover", std::string(300, '\xff'), 2), Item("title", "t2")}) +
                               Id3v1("v1");
    const std::vector<std::function<void(TAPETag&)>> steps = {
        [](TAPETag& t) { t.SetItem("TITLE", "New title"); },
        [](TAPETag& t) { t.SetItem("Artist", "A; B"); },
        [](TAPETag& t) { t.SetItem("Album", std::string(1000, 'a')); },
        [](TAPETag& t) { EXPECT_TRUE(t.RemoveItem("title")); },
        [](TAPETag& t) { EXPECT_FALSE(t.RemoveItem("Year")); },
        [](TAPETag& t) { t.SetItem("Cover", std::string(300, '\xff')); },
        [](TAPETag& t) { t.SetItem("Cover", "now text"); },
    };
    for (size_t upTo = 0; upTo <= steps.size(); ++upTo) {
        TMemoryStream m1(before), m2(before);
        TAPETag fileForm, list;
        fileForm.ReadFrom(m1);
        list.ReadFrom(m2);
        list.Items(); // from here on the list
        for (size_t i = 0; i < upTo; ++i) {
            steps[i](fileForm);
            steps[i](list);
        }
        EXPECT_EQ(fileForm.ItemCount(), list.ItemCount()) << upTo;
        EXPECT_EQ(fileForm.Build(), list.Build()) << upTo;
        EXPECT_EQ(fileForm.ItemValue("artist"), list.ItemValue("artist")) << upTo;
    }
}

// Mended: a tag of millions of items cost many times its size and could end in std::bad_alloc. Beyond
// 16 M items it is taken for damaged, with a message, and a write leaves it alone.
TEST(ApeItems, ATagBeyondSaneLimitsIsRefusedWithAMessage) {
    const uint32_t count = TAPETag::kMaxItems + 1;
    const std::string item = Item("K", "");
    std::vector<uint8_t> bytes(kAudio.begin(), kAudio.end());
    bytes.reserve(bytes.size() + size_t(count) * item.size() + 32);
    for (uint32_t i = 0; i < count; ++i)
        bytes.insert(bytes.end(), item.begin(), item.end());
    const std::string footer = Frame(static_cast<uint32_t>(bytes.size() - kAudio.size() + 32), count, 0);
    bytes.insert(bytes.end(), footer.begin(), footer.end());
    TMemoryStream m(std::move(bytes));
    const int64_t size = m.Size();
    TAPETag ape;
    EXPECT_FALSE(ape.ReadFrom(m));
    EXPECT_NE(ape.Error().find("taken for damaged"), std::string::npos) << ape.Error();
    EXPECT_EQ(ape.ItemCount(), 0u);
    try {
        ape.WriteTo(m);
        ADD_FAILURE() << "written";
    } catch (const TFileError& e) {
        EXPECT_NE(std::string(e.what()).find("taken for damaged"), std::string::npos) << e.what();
    }
    EXPECT_EQ(m.Size(), size);
}

// ---- files and independent readers ------------------------------------------------------------------

TEST(ApeFile, OpenErrorsReachTheCaller) {
    TempDir dir;
    TAPETag ape;
    EXPECT_FALSE(ape.ReadTags(dir / "missing.mp3"));
    try {
        ape.WriteTags(dir / "missing.mp3");
        FAIL() << "no error";
    } catch (const TFileError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"", 0), 0u) << e.what();
    }
    EXPECT_FALSE(fs::exists(dir / "missing.mp3"));
}

namespace {

const std::string kJapanese = "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe6\x9b\xb2"; // 日本語の曲
const std::string kCyrillic =
    "\xd0\x9f\xd0\xb5\xd1\x81\xd0\xbd\xd1\x8f \xd0\x96\xd1\x83\xd0\xba"; // Песня Жук

struct TaggedFile {
    std::vector<uint8_t> audio; // the file before any tag
    std::string binary;         // the binary item's value
    std::string comment;
};

// Gives the file an older tag with a binary item, then reads it and writes the fields through it.
TaggedFile TagLikeTheEditor(const fs::path& path) {
    TaggedFile t;
    t.audio = readFile(path);
    t.binary = "cover.bin" + std::string(1, '\0');
    for (int i = 0; i < 3000; ++i)
        t.binary += static_cast<char>(i * 31 % 256);
    t.comment = std::string(990, 'c') + "0123456789";
    {
        TAPETag ape;
        ape.Items().push_back(RField{"Cover Art (Front)", t.binary, 2});
        EXPECT_TRUE(ape.WriteTags(path));
    }
    TAPETag ape;
    EXPECT_TRUE(ape.ReadTags(path));
    ape.SetItem("Title", kJapanese);
    ape.SetItem("Artist", kCyrillic);
    ape.SetItem("Album", "Album \xc3\xa9");
    ape.SetItem("Track", "7");
    ape.SetItem("Genre", "Jazz");
    ape.SetItem("Comment", t.comment);
    EXPECT_TRUE(ape.WriteTags(path));
    return t;
}

std::string Hex(const std::string& bytes) {
    std::string hex;
    for (unsigned char ch : bytes) {
        char h[3];
        std::snprintf(h, sizeof h, "%02x", ch);
        hex += h;
    }
    return hex;
}

} // namespace

// ffprobe reads APEv2 from WavPack files (not from MP3, where it takes the tag for audio).
TEST(ApeFile, FfprobeReadsWhatWeWrite) {
    TempDir dir;
    const fs::path path = dir / "tone \xe6\x97\xa5.wv";
    ASSERT_TRUE(testutil::makeTone(path, {"-c:a", "wavpack"}, 0.3, 440, 44100, 1, {"-map_metadata", "-1"}));
    TAPETag existing;
    ASSERT_TRUE(existing.ReadTags(path));
    if (existing.Exists()) { // the muxer may have written its own tag: start from the bare stream
        auto bytes = readFile(path);
        bytes.resize(bytes.size() - existing.TotalSize());
        writeFile(path, bytes);
    }
    const TaggedFile t = TagLikeTheEditor(path);
    const auto after = readFile(path);
    ASSERT_GT(after.size(), t.audio.size());
    EXPECT_TRUE(std::equal(t.audio.begin(), t.audio.end(), after.begin())); // audio untouched

    auto info = testutil::probe(path);
    ASSERT_TRUE(info.ok);
    EXPECT_EQ(info.tag("title"), kJapanese);
    EXPECT_EQ(info.tag("artist"), kCyrillic);
    EXPECT_EQ(info.tag("album"), "Album \xc3\xa9");
    EXPECT_EQ(info.tag("track"), "7");
    EXPECT_EQ(info.tag("genre"), "Jazz");
    EXPECT_EQ(info.tag("comment"), t.comment);
}

TEST(ApeFile, MutagenReadsWhatWeWriteOnMp3) {
    TempDir dir;
    const fs::path path = dir / "tone.mp3";
    ASSERT_TRUE(testutil::makeTone(path, {"-c:a", "libmp3lame", "-b:a", "64k"}, 0.3, 440, 44100, 1,
                                   {"-id3v2_version", "0", "-write_xing", "0", "-map_metadata", "-1"}));
    TID3v1 v1;
    v1.SetTitle("v1");
    ASSERT_TRUE(v1.WriteTags(path));
    const TaggedFile t = TagLikeTheEditor(path);
    const auto after = readFile(path);
    const size_t audioSize = t.audio.size() - 128;
    EXPECT_TRUE(std::equal(t.audio.begin(), t.audio.begin() + audioSize, after.begin())); // audio untouched
    EXPECT_TRUE(std::equal(t.audio.end() - 128, t.audio.end(), after.end() - 128));       // ID3v1 kept

    auto r =
        testutil::run({"/usr/bin/python3", "-c",
                       "import sys, mutagen.apev2 as a\n"
                       "t = a.APEv2(sys.argv[1])\n"
                       "v = t['Cover Art (Front)']\n"
                       "print(type(v).__name__, v.value.hex())\n"
                       "for k in ('Title', 'Artist', 'Album', 'Track', 'Genre', 'Comment'): print(t[k])\n",
                       path.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "APEBinaryValue " + Hex(t.binary) + "\n" + kJapanese + "\n" + kCyrillic +
                         "\nAlbum \xc3\xa9\n7\nJazz\n" + t.comment + "\n");
}

TEST(ApeFile, ReadsWhatMutagenWrites) {
    TempDir dir;
    const fs::path path = dir / "m.mp3";
    writeFile(path, std::vector<uint8_t>(kAudio.begin(), kAudio.end()));
    auto r = testutil::run({"/usr/bin/python3", "-c",
                            "import sys, mutagen.apev2 as a\n"
                            "t = a.APEv2()\n"
                            "t['Title'] = sys.argv[2]\n"
                            "t['Data'] = a.APEValue(b'\\x00\\x01', a.BINARY)\n"
                            "t.save(sys.argv[1])\n",
                            path.string(), kCyrillic});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    TAPETag ape;
    ASSERT_TRUE(ape.ReadTags(path));
    EXPECT_EQ(ape.ItemValue("title"), kCyrillic);
    ASSERT_NE(ape.FindItem("data"), nullptr);
    EXPECT_EQ(ape.FindItem("data")->Value, std::string("\0\1", 2));
    EXPECT_EQ(ape.FindItem("data")->Type(), 1u);
}
