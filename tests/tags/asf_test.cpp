#include "common/test_files.h"
#include "tags/asf/asf_editor.h"
#include "tags/asf/wma_attributes.h"
#include "tags/io/files.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>

using namespace tags;
using testutil::probe;
using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kHeaderGuid = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                           0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const Bytes kFilePropsGuid = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                              0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const Bytes kContentGuid = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                            0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const Bytes kExtendedGuid = {0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11,
                             0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};
const Bytes kHeaderExtGuid = {0xB5, 0x03, 0xBF, 0x5F, 0x2E, 0xA9, 0xCF, 0x11,
                              0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const Bytes kReservedGuid = {0x11, 0xD2, 0xD3, 0xAB, 0xBA, 0xA9, 0xCF, 0x11,
                             0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const Bytes kLibraryGuid = {0x94, 0x1C, 0x23, 0x44, 0x98, 0x94, 0xD1, 0x49,
                            0xA1, 0x41, 0x1D, 0x13, 0x4E, 0x45, 0x70, 0x54};
const Bytes kOtherGuid = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                          0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}; // Stream Properties

void le(Bytes& out, uint64_t v, int n) {
    for (int i = 0; i < n; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
uint64_t readLe(const Bytes& b, size_t at, int n) {
    uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | b[at + i];
    return v;
}
void add(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}
Bytes wide(const std::string& s, bool terminator = true) {
    Bytes out = Utf8ToUtf16Le(s);
    if (terminator) {
        out.push_back(0);
        out.push_back(0);
    }
    return out;
}
Bytes object(const Bytes& guid, const Bytes& body) {
    Bytes out = guid;
    le(out, 24 + body.size(), 8);
    add(out, body);
    return out;
}
Bytes fileProperties(uint64_t fileSize, uint32_t maxBitrate) {
    Bytes b(16, 0x42); // file id
    le(b, fileSize, 8);
    le(b, 0, 8);                       // creation date
    le(b, 1, 8);                       // packets
    le(b, 30'000'000 + 30'000'000, 8); // play duration: 3 s plus 3 s preroll
    le(b, 30'000'000, 8);              // send duration
    le(b, 3000, 8);                    // preroll, ms
    le(b, 2, 4);                       // flags: seekable
    le(b, 100, 4);
    le(b, 100, 4);
    le(b, maxBitrate, 4);
    return object(kFilePropsGuid, b);
}
Bytes contentDescription(const std::array<std::string, 5>& values) {
    Bytes b, strings;
    for (const auto& v : values) {
        Bytes w = v.empty() ? Bytes{} : wide(v);
        le(b, w.size(), 2);
        add(strings, w);
    }
    add(b, strings);
    return object(kContentGuid, b);
}
struct Entry {
    std::string name;
    uint16_t storedType;
    Bytes value;
};
Bytes extended(const std::vector<Entry>& entries) {
    Bytes b;
    le(b, entries.size(), 2);
    for (const auto& e : entries) {
        Bytes n = wide(e.name);
        le(b, n.size(), 2);
        add(b, n);
        le(b, e.storedType, 2);
        le(b, e.value.size(), 2);
        add(b, e.value);
    }
    return object(kExtendedGuid, b);
}
Bytes library(const std::vector<Entry>& entries) {
    Bytes b;
    le(b, entries.size(), 2);
    for (const auto& e : entries) {
        Bytes n = wide(e.name);
        le(b, 0, 2);
        le(b, 1, 2); // stream 1
        le(b, n.size(), 2);
        le(b, e.storedType, 2);
        le(b, e.value.size(), 4);
        add(b, n);
        add(b, e.value);
    }
    return object(kLibraryGuid, b);
}
Bytes headerExtension(const Bytes& children) {
    Bytes b = kReservedGuid;
    le(b, 6, 2);
    le(b, children.size(), 4);
    add(b, children);
    return object(kHeaderExtGuid, b);
}
// A whole file: Header Object with the children, then a fake Data Object.
Bytes asfFile(const std::vector<Bytes>& children, size_t dataSize = 64) {
    Bytes body;
    for (const auto& c : children)
        add(body, c);
    Bytes out = kHeaderGuid;
    le(out, 30 + body.size(), 8);
    le(out, children.size(), 4);
    out.push_back(1);
    out.push_back(2);
    add(out, body);
    Bytes data(dataSize);
    for (size_t i = 0; i < dataSize; ++i)
        data[i] = static_cast<uint8_t>(i * 7 + 3);
    add(out, data);
    return out;
}

Bytes sampleFile() {
    return asfFile({
        fileProperties(4'000'000, 128'000),
        contentDescription({"Song", "Band", "", "", ""}),
        object(kOtherGuid, Bytes(40, 0x5A)),
        extended({{"WM/AlbumTitle", 0, wide("Record")},
                  {"WM/TrackNumber", 3, {7, 0, 0, 0}}, // a number, as most writers store it
                  {"WM/Picture", 1, Bytes(300, 0xEE)},
                  {"title", 0, wide("Stale")}}),
        headerExtension(library({{"WM/Lyrics", 0, wide("la la")}})),
    });
}

TAsfEditor openBytes(const Bytes& bytes) {
    TMemoryStream s(bytes);
    TAsfEditor e;
    EXPECT_EQ(e.Open(s), TAsfEditor::TOpenResult::Ok);
    return e;
}

std::string valueOf(const TAsfEditor& e, const std::string& name) {
    auto idx = e.AttributeIndices(name);
    return idx.empty() ? "<none>" : e.Attribute(idx.front()).text();
}

} // namespace

// ---- the editor on bytes -------------------------------------------------------------------------

TEST(AsfEditor, EnumeratesEveryObjectsAttributesInHeaderOrder) {
    TAsfEditor e = openBytes(sampleFile());
    std::vector<std::string> names;
    for (int i = 0; i < e.AttributeCount(); ++i)
        names.push_back(e.Attribute(i).name);
    EXPECT_EQ(names, (std::vector<std::string>{"Duration", "Bitrate", "FileSize", "IsVBR", "Title", "Author",
                                               "WM/AlbumTitle", "WM/TrackNumber", "WM/Picture", "title",
                                               "WM/Lyrics"}));
    EXPECT_EQ(valueOf(e, "Duration"), "30000000"); // play duration less the preroll
    EXPECT_EQ(valueOf(e, "BITRATE"), "128000");
    EXPECT_EQ(valueOf(e, "FileSize"), "4000000");
    EXPECT_EQ(valueOf(e, "IsVBR"), "false");
    EXPECT_EQ(e.Attribute(e.AttributeIndices("WM/TrackNumber")[0]).type, TAsfType::DWord);
    EXPECT_EQ(e.Attribute(e.AttributeIndices("WM/Lyrics")[0]).place, TAsfPlace::MetadataLibrary);
    EXPECT_EQ(e.Attribute(e.AttributeIndices("WM/Lyrics")[0]).stream, 1);
    EXPECT_EQ(e.AttributeIndices("TITLE"), (std::vector<int>{4, 9}));
    EXPECT_FALSE(e.Modify(1, TAsfType::DWord, {1, 0, 0, 0})) << "derived attributes are read only";
    EXPECT_FALSE(e.Delete(0));
}

TEST(AsfEditor, UneditedObjectsAreCopiedAndSizesFollow) {
    Bytes original = sampleFile();
    TAsfEditor e = openBytes(original);
    const size_t rest = 64;
    // nothing edited: the same header, file size in File Properties set to the truth
    Bytes same = e.BuildHeader(rest);
    ASSERT_EQ(same.size(), original.size() - rest);
    Bytes expected(original.begin(), original.end() - rest);
    for (int i = 0; i < 8; ++i)
        expected[30 + 40 + i] = static_cast<uint8_t>((original.size()) >> (8 * i));
    EXPECT_EQ(same, expected);

    ASSERT_TRUE(
        e.Modify(e.AttributeIndices("Title")[0], TAsfType::String, wide("A much longer title", false)));
    ASSERT_TRUE(e.Delete(e.AttributeIndices("WM/AlbumTitle")[0]));
    ASSERT_GE(e.Add("WM/Composer", TAsfType::String, wide("Me", false)), 0);
    Bytes h = e.BuildHeader(rest);
    EXPECT_EQ(readLe(h, 16, 8), h.size());
    EXPECT_EQ(readLe(h, 24, 4), 5u);
    EXPECT_EQ(readLe(h, 30 + 40, 8), h.size() + rest) << "File Properties file size";
    // the Stream Properties stand-in and the Header Extension are copied byte for byte
    Bytes other = object(kOtherGuid, Bytes(40, 0x5A));
    EXPECT_NE(std::search(h.begin(), h.end(), other.begin(), other.end()), h.end());
    Bytes ext = headerExtension(library({{"WM/Lyrics", 0, wide("la la")}}));
    EXPECT_NE(std::search(h.begin(), h.end(), ext.begin(), ext.end()), h.end());

    Bytes file = h;
    file.insert(file.end(), original.end() - rest, original.end());
    TAsfEditor again = openBytes(file);
    EXPECT_EQ(valueOf(again, "Title"), "A much longer title");
    EXPECT_EQ(valueOf(again, "WM/AlbumTitle"), "<none>");
    EXPECT_EQ(valueOf(again, "WM/Composer"), "Me");
    EXPECT_EQ(again.Attribute(again.AttributeIndices("WM/Picture")[0]).value, Bytes(300, 0xEE));
    EXPECT_EQ(valueOf(again, "WM/Lyrics"), "la la");
}

TEST(AsfEditor, AddsGoWhereThePlatformKeepsThem) {
    Bytes original = asfFile({fileProperties(0, 64'000), headerExtension({})});
    TAsfEditor e = openBytes(original);
    ASSERT_GE(e.Add("Copyright", TAsfType::String, wide("(c) me", false)), 0);
    ASSERT_GE(e.Add("WM/Year", TAsfType::String, wide("1999", false)), 0);
    ASSERT_GE(e.Add("WM/Lyrics", TAsfType::String, wide(std::string(40'000, 'y'), false)), 0)
        << "too large for Extended Content Description: Metadata Library";
    EXPECT_EQ(e.Add("Bitrate", TAsfType::DWord, {1, 0, 0, 0}), -1);
    Bytes file = e.BuildHeader(64);
    file.insert(file.end(), original.end() - 64, original.end());
    TAsfEditor again = openBytes(file);
    auto placeOf = [&](const char* n) { return again.Attribute(again.AttributeIndices(n).back()).place; };
    EXPECT_EQ(placeOf("Copyright"), TAsfPlace::ContentDescription);
    EXPECT_EQ(placeOf("WM/Year"), TAsfPlace::Extended);
    EXPECT_EQ(placeOf("WM/Lyrics"), TAsfPlace::MetadataLibrary);
    EXPECT_EQ(valueOf(again, "WM/Lyrics").size(), 40'000u);
}

TEST(AsfEditor, DamagedHeadersAreRefused) {
    Bytes good = sampleFile();
    struct Case {
        const char* what;
        size_t at;
        uint64_t value;
        int bytes;
        TAsfEditor::TOpenResult expected;
    } cases[] = {
        {"header size past the file", 16, 1'000'000, 8, TAsfEditor::TOpenResult::Damaged},
        {"header size below its own", 16, 10, 8, TAsfEditor::TOpenResult::Damaged},
        {"child size past the header", 30 + 16, 100'000, 8, TAsfEditor::TOpenResult::Damaged},
        {"child size zero", 30 + 16, 0, 8, TAsfEditor::TOpenResult::Damaged},
        {"content length past its object", 30 + 104 + 24, 0xFFFF, 2, TAsfEditor::TOpenResult::Damaged},
        {"not a header guid", 0, 0x31, 1, TAsfEditor::TOpenResult::NotAsf},
    };
    for (const auto& c : cases) {
        Bytes b = good;
        for (int i = 0; i < c.bytes; ++i)
            b[c.at + i] = static_cast<uint8_t>(c.value >> (8 * i));
        TMemoryStream s(b);
        TAsfEditor e;
        EXPECT_EQ(e.Open(s), c.expected) << c.what;
    }
    // every truncation of the header: no crash, never Ok
    Bytes headerOnly(good.begin(), good.end() - 64);
    for (size_t n = 0; n < headerOnly.size(); ++n) {
        TMemoryStream s(Bytes(headerOnly.begin(), headerOnly.begin() + n));
        TAsfEditor e;
        EXPECT_NE(e.Open(s), TAsfEditor::TOpenResult::Ok) << n;
    }
}

// ---- the record on files -------------------------------------------------------------------------

TEST(WmaAttributes, RecordFromBytesAndDurationFormula) {
    TempDir dir;
    fs::path f = dir / "built.wma";
    std::string longTitle = std::string(254, 'a') + "\xc3\xa9"; // 256 bytes
    writeFile(
        f, asfFile({fileProperties(4'000'000, 128'000), contentDescription({longTitle, "Band", "", "", ""}),
                    extended({{"WM/TrackNumber", 3, {7, 0, 0, 0}},
                              {"WMFSDKVersion", 0, wide("12.0.1")},
                              {"IsVBR", 2, {1, 0, 0, 0}}})}));
    TTagsData d;
    ASSERT_TRUE(ReadWmaAttributes(f, d));
    EXPECT_EQ(d.Title, longTitle) << "values are read whole";
    EXPECT_EQ(d.Author, "Band");
    EXPECT_EQ(d.TrackNumber, "7") << "a track number stored as a DWORD";
    EXPECT_EQ(d.SdkVersion, "12.0.1");
    EXPECT_TRUE(d.IsVBR);
    EXPECT_EQ(d.Bitrate, 128000);
    EXPECT_EQ(d.FileSize, 4000000);
    EXPECT_EQ(d.Duration, 249);
}

// A write changes the attributes of the fields whose value differs from what the file shows, and
// leaves every other attribute as it was: several values, numeric types, other names.
TEST(WmaAttributes, OnlyChangedFieldsTouchTheirAttributes) {
    TempDir dir;
    fs::path f = dir / "multi.wma";
    const std::string longText(3000, 'x');
    const Bytes original = asfFile({
        fileProperties(4'000'000, 128'000),
        contentDescription({"Song", "Band", "", "", ""}),
        extended({{"WM/Genre", 0, wide("Rock")},
                  {"WM/TrackNumber", 3, {6, 0, 0, 0}},
                  {"WM/Genre", 0, wide("Pop")},
                  {"WM/Year", 5, {0xD1, 0x07}}, // a WORD: 2001
                  {"WM/Picture", 1, Bytes(300, 0xEE)},
                  {"WM/Composer", 0, wide(longText)}}),
    });
    writeFile(f, original);
    TTagsData d;
    ASSERT_TRUE(ReadWmaAttributes(f, d));
    EXPECT_EQ(d.Genre, "Rock; Pop");
    EXPECT_EQ(d.TrackNumber, "6");
    EXPECT_EQ(d.Year, "2001");
    EXPECT_EQ(d.Composer, longText);

    ASSERT_TRUE(WriteWmaAttributes(f, d));
    EXPECT_EQ(readFile(f), original) << "nothing changed, nothing written";

    struct Case {
        const char* what;
        std::function<void(TTagsData&)> edit;
        std::function<void(const TAsfEditor&)> check;
    } cases[] = {
        {"a number stays a number", [](TTagsData& t) { t.TrackNumber = "12"; },
         [](const TAsfEditor& e) {
             auto idx = e.AttributeIndices("WM/TrackNumber");
             ASSERT_EQ(idx.size(), 1u);
             EXPECT_EQ(e.Attribute(idx[0]).type, TAsfType::DWord);
             EXPECT_EQ(e.Attribute(idx[0]).number(), 12u);
             EXPECT_EQ(e.AttributeIndices("WM/Genre").size(), 2u);
         }},
        {"text that is no number becomes a string", [](TTagsData& t) { t.TrackNumber = "12/14"; },
         [](const TAsfEditor& e) {
             EXPECT_EQ(e.Attribute(e.AttributeIndices("WM/TrackNumber")[0]).type, TAsfType::String);
             EXPECT_EQ(valueOf(e, "WM/TrackNumber"), "12/14");
         }},
        {"an edited genre is one value", [](TTagsData& t) { t.Genre = "Jazz"; },
         [](const TAsfEditor& e) {
             EXPECT_EQ(e.AttributeIndices("WM/Genre").size(), 1u);
             EXPECT_EQ(valueOf(e, "WM/Genre"), "Jazz");
             EXPECT_EQ(valueOf(e, "WM/Year"), "2001");
             EXPECT_EQ(e.Attribute(e.AttributeIndices("WM/Year")[0]).type, TAsfType::Word);
         }},
        {"an empty field deletes every value", [](TTagsData& t) { t.Genre = ""; },
         [](const TAsfEditor& e) { EXPECT_TRUE(e.AttributeIndices("WM/Genre").empty()); }},
        {"values are written whole", [&](TTagsData& t) { t.Title = longText; },
         [&](const TAsfEditor& e) {
             EXPECT_EQ(valueOf(e, "Title"), longText);
             EXPECT_EQ(valueOf(e, "WM/Composer"), longText);
             EXPECT_EQ(e.Attribute(e.AttributeIndices("WM/Picture")[0]).value, Bytes(300, 0xEE));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(f, original);
        TTagsData t;
        ASSERT_TRUE(ReadWmaAttributes(f, t));
        c.edit(t);
        ASSERT_TRUE(WriteWmaAttributes(f, t));
        TAsfEditor e = openBytes(readFile(f));
        c.check(e);
    }
}

TEST(WmaAttributes, MissingNotAsfAndDamagedFiles) {
    TempDir dir;
    TTagsData d;
    d.Title = "x";
    EXPECT_FALSE(ReadWmaAttributes(dir / "missing.wma", d));
    EXPECT_FALSE(WriteWmaAttributes(dir / "missing.wma", d));
    EXPECT_FALSE(fs::exists(dir / "missing.wma"));
    fs::path text = dir / "text.wma";
    writeFile(text, Bytes(100, 'z'));
    EXPECT_FALSE(ReadWmaAttributes(text, d));
    EXPECT_FALSE(WriteWmaAttributes(text, d));
    EXPECT_EQ(readFile(text), Bytes(100, 'z'));
    fs::path bad = dir / "bad.wma";
    Bytes b = sampleFile();
    b[16] = 0xFF; // header size beyond the file
    writeFile(bad, b);
    try {
        ReadWmaAttributes(bad, d);
        ADD_FAILURE() << "no error";
    } catch (const TFileError& e) {
        EXPECT_STREQ(e.what(), "Could not create Metadata Editor ($C00D0BBD).");
    }
    EXPECT_THROW(WriteWmaAttributes(bad, d), TFileError);
    EXPECT_EQ(readFile(bad), b);
    EXPECT_FALSE(fs::exists(dir / "bad.wma~"));
}

// ---- real files from ffmpeg ------------------------------------------------------------------------

namespace {

fs::path makeWma(const TempDir& dir, const std::string& name, const std::vector<std::string>& metadata) {
    fs::path f = dir / name;
    std::vector<std::string> extra;
    for (const auto& m : metadata) {
        extra.push_back("-metadata");
        extra.push_back(m);
    }
    testutil::makeTone(f, {"-c:a", "wmav2", "-b:a", "128k"}, 1.5, 880, 44100, 2, extra);
    return f;
}

} // namespace

TEST(WmaAttributes, ReadsWhatFfprobeReads) {
    TempDir dir;
    fs::path f = makeWma(dir, "in.wma",
                         {"title=Fünf Töne", "artist=Ærøskøbing", "album=Album", "genre=Jazz", "track=4",
                          "WM/Year=2003", "WM/URL=http://a.b/c", "comment=Some words", "copyright=(c) 2003",
                          "composer=Ödön", "encoded_by=Someone"});
    auto p = probe(f);
    ASSERT_TRUE(p.ok);
    TTagsData d;
    ASSERT_TRUE(ReadWmaAttributes(f, d));
    EXPECT_EQ(d.Title, p.tag("title"));
    EXPECT_EQ(d.Author, p.tag("artist"));
    EXPECT_EQ(d.AlbumTitle, p.tag("album"));
    EXPECT_EQ(d.Genre, p.tag("genre"));
    EXPECT_EQ(d.TrackNumber, p.tag("track"));
    EXPECT_EQ(d.Year, "2003");
    EXPECT_EQ(d.Year, p.tag("wm_year")); // ffmpeg has no name of its own for it
    EXPECT_EQ(d.URL, p.tag("wm_url"));
    EXPECT_EQ(d.Description, p.tag("comment"));
    EXPECT_EQ(d.Copyright, p.tag("copyright"));
    EXPECT_EQ(d.Composer, p.tag("composer"));
    EXPECT_EQ(d.Bitrate, p.bitRate);
    EXPECT_EQ(d.FileSize, static_cast<int32_t>(fs::file_size(f)));
    EXPECT_NEAR(d.Duration, d.FileSize * 8.0 / 128.5 / 1000, 0.5);
}

TEST(WmaAttributes, WritesReachFfprobeAndLeaveTheAudio) {
    TempDir dir;
    fs::path f = makeWma(
        dir, "out.wma",
        {"title=Old title", "artist=Old artist", "album=Old album", "genre=Rock", "track=1", "comment=old"});
    std::vector<float> before = testutil::decodeMono(f);
    ASSERT_FALSE(before.empty());
    auto mode = fs::status(f).permissions();

    TTagsData d;
    ASSERT_TRUE(ReadWmaAttributes(f, d));
    d.Title = "Новое название";                     // non-Latin, modified
    d.Author = "";                                  // deleted
    d.AlbumTitle = "日本語のアルバム 🎵";            // four-byte character
    d.Composer = "Added composer";                  // added
    d.Year = "2021";                                // added
    d.Description = std::string(10'000, 'd');       // long, in place of "old"
    d.Description.replace(5000, 3, "\xe2\x82\xac"); // a euro sign inside
    d.TrackNumber = "12";
    ASSERT_TRUE(WriteWmaAttributes(f, d));
    EXPECT_FALSE(fs::exists(dir / "out.wma~"));
    EXPECT_EQ(fs::status(f).permissions(), mode);

    auto p = probe(f);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.tag("title"), d.Title);
    EXPECT_EQ(p.tag("artist"), "");
    EXPECT_EQ(p.tag("album"), d.AlbumTitle);
    EXPECT_EQ(p.tag("composer"), "Added composer");
    EXPECT_EQ(p.tag("wm_year"), "2021");
    EXPECT_EQ(p.tag("comment"), d.Description);
    EXPECT_EQ(p.tag("track"), "12");
    EXPECT_EQ(p.tag("genre"), "Rock");
    EXPECT_EQ(testutil::decodeMono(f), before);

    TTagsData back;
    ASSERT_TRUE(ReadWmaAttributes(f, back));
    EXPECT_EQ(back.Title, d.Title);
    EXPECT_EQ(back.Author, "");
    EXPECT_EQ(back.Description, d.Description);
    EXPECT_EQ(back.FileSize, static_cast<int32_t>(fs::file_size(f))) << "File Properties follow the new size";

    // writing the same record again changes nothing
    Bytes once = readFile(f);
    ASSERT_TRUE(WriteWmaAttributes(f, back));
    EXPECT_EQ(readFile(f), once);
}
