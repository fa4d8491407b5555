// The tag editor's save (ReadTags, then WriteTags with the fields the user edited) on files whose tags
// other programs wrote with much more than the ten fields. mutagen (tests/tagedit/tag_view.py) and
// ffprobe read every file back: the edited field holds what the format can hold of the new value, and
// every other frame, item, comment and attribute, and the audio, are as they were.
#include "tagedit/format_tags.h"

#include "common/test_files.h"
#include "tags/io/text.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using tagedit::AudioKind;
using tagedit::Field;
using tagedit::FieldSet;
using tagedit::TagFields;

using Entries = std::map<std::string, std::string>; // one tag as mutagen shows it: key -> value

const std::string kTagView = QUILLOTONE_SOURCE_DIR "/tests/tagedit/tag_view.py";

std::string Unhex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

// mutagen's view of the `view` tag of each file (id3v1, id3v2, apev2, ogg, asf).
std::map<fs::path, Entries> View(const std::string& view, const std::vector<fs::path>& files) {
    std::vector<std::string> argv = {"/usr/bin/python3", kTagView, "dump", view};
    for (const auto& f : files)
        argv.push_back(f.string());
    const auto r = testutil::run(argv);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::map<fs::path, Entries> out;
    std::istringstream in(r.out);
    fs::path current;
    for (std::string line; std::getline(in, line);) {
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        if (line.substr(0, tab) == "file")
            out[current = Unhex(line.substr(tab + 1))];
        else
            out[current][Unhex(line.substr(0, tab))] = Unhex(line.substr(tab + 1));
    }
    return out;
}

Entries View(const std::string& view, const fs::path& file) {
    return View(view, std::vector<fs::path>{file})[file];
}

// An untagged tone from ffmpeg, then tags as another program writes them (tag_view.py make).
fs::path MadeByOthers(const fs::path& dir, AudioKind kind, const std::string& maker) {
    std::vector<std::string> codec;
    fs::path file = dir / (maker + ".mp3");
    std::vector<std::string> extra = {"-map_metadata", "-1", "-fflags", "+bitexact"};
    if (kind == AudioKind::Mp3) {
        codec = {"-c:a", "libmp3lame", "-b:a", "64k"};
        extra.insert(extra.end(), {"-id3v2_version", "0", "-write_id3v1", "0"});
    } else if (kind == AudioKind::Ogg) {
        codec = {"-c:a", "libvorbis", "-q:a", "2"};
        file = dir / (maker + ".ogg");
    } else {
        codec = {"-c:a", "wmav2", "-b:a", "64k"};
        file = dir / (maker + ".wma");
    }
    EXPECT_TRUE(testutil::makeTone(file, codec, 0.5, 440, 44100, 1, extra));
    const auto r = testutil::run({"/usr/bin/python3", kTagView, "make", maker, file.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return file;
}

// The audio packets as ffmpeg demuxes them, tags left out.
std::string AudioPackets(const fs::path& file) {
    const auto r = testutil::run(
        {"ffmpeg", "-v", "error", "-i", file.string(), "-map", "0:a", "-c", "copy", "-f", "data", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(r.out.empty());
    return r.out;
}

// What the editor does: load, change the edited fields as typed, save.
bool Edit(const fs::path& file, int readPriority, int writeFormat,
          const std::vector<std::pair<Field, std::string>>& edits) {
    TagFields fields = tagedit::ReadTags(file, readPriority).value_or(TagFields{});
    FieldSet edited;
    for (const auto& [field, value] : edits) {
        tagedit::SetFieldText(fields, field, value);
        edited.set(static_cast<size_t>(field));
    }
    return tagedit::WriteTags(file, fields, edited, writeFormat);
}

// Entries without the keys of one field (ASF and Ogg keys compare without regard to case).
Entries Without(Entries entries, const std::string& key) {
    for (auto it = entries.begin(); it != entries.end();)
        it = tags::SameTextAscii(it->first, key) ? entries.erase(it) : std::next(it);
    return entries;
}

// The entries that differ, one line each with the values shortened: empty when the two are equal.
std::string Changes(const Entries& before, const Entries& after) {
    auto shortened = [](const Entries& e, const std::string& key) {
        const auto it = e.find(key);
        if (it == e.end()) return std::string("(none)");
        std::string v = it->second.substr(0, 60);
        std::replace(v.begin(), v.end(), '\0', '|');
        return '"' + v + (it->second.size() > 60 ? "...\"" : "\"");
    };
    std::string out;
    std::set<std::string> keys;
    for (const auto& e : before)
        keys.insert(e.first);
    for (const auto& e : after)
        keys.insert(e.first);
    for (const auto& key : keys)
        if (shortened(before, key) != shortened(after, key) ||
            (before.count(key) && after.count(key) && before.at(key) != after.at(key)))
            out += "\n  " + key + ": " + shortened(before, key) + " -> " + shortened(after, key);
    return out;
}

// ---- the write matrix ---------------------------------------------------------------------------

enum class Kind { Latin1, NonLatin, Long, Empty };
constexpr Kind kKinds[] = {Kind::Latin1, Kind::NonLatin, Kind::Long, Kind::Empty};

const char* KindName(Kind k) {
    switch (k) {
    case Kind::Latin1:
        return "latin1";
    case Kind::NonLatin:
        return "non-latin";
    case Kind::Long:
        return "2000 characters";
    case Kind::Empty:
        break;
    }
    return "empty";
}

// Code points of UTF-8 text.
std::u32string Chars(const std::string& utf8) {
    std::u32string out;
    for (char16_t u : tags::Utf8ToUtf16(utf8)) {
        if (!out.empty() && u >= 0xDC00 && u <= 0xDFFF && out.back() >= 0xD800 && out.back() <= 0xDBFF)
            out.back() = 0x10000 + ((out.back() - 0xD800) << 10) + (u - 0xDC00);
        else
            out.push_back(u);
    }
    return out;
}

std::string Utf8(const std::u32string& chars) {
    std::u16string units;
    for (char32_t c : chars) {
        if (c >= 0x10000) {
            units.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(c));
        }
    }
    return tags::Utf16ToUtf8(units);
}

std::string Value(Kind kind) {
    switch (kind) {
    case Kind::Latin1:
        return "Ünïcode Lätin-1 © Straße";
    case Kind::NonLatin:
        return "Ελληνικά 日本語 🎵 Кириллица";
    case Kind::Long: {
        const std::u32string unit = Chars("Long-value-ü-✓-");
        std::u32string chars;
        while (chars.size() < 2000)
            chars += unit;
        return Utf8(chars.substr(0, 2000));
    }
    case Kind::Empty:
        break;
    }
    return {};
}

int TrackValue(Kind kind) {
    return kind == Kind::Latin1 ? 7 : kind == Kind::NonLatin ? 12 : kind == Kind::Long ? 254 : 0;
}

// ID3v1 stores Latin-1 in a fixed number of bytes; what another reader then shows.
std::string AsID3v1(const std::string& value, size_t bytes) {
    std::u32string chars = Chars(value);
    for (char32_t& c : chars)
        if (c > 0xFF) c = '?';
    chars = chars.substr(0, bytes);
    while (!chars.empty() && chars.back() <= ' ')
        chars.pop_back();
    return Utf8(chars);
}

// ID3 keeps a URL in Latin-1; other characters are percent-encoded as in a URI.
std::string AsLatin1Url(const std::string& value) {
    std::string out;
    for (char32_t c : Chars(value)) {
        if (c <= 0xFF) {
            out += Utf8(std::u32string(1, c));
            continue;
        }
        for (unsigned char b : Utf8(std::u32string(1, c))) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", b);
            out += hex;
        }
    }
    return out;
}

struct Format {
    const char* name;
    AudioKind kind;
    const char* maker;                       // tag_view.py make ...
    const char* view;                        // the tag that is written, as tag_view.py dumps it
    std::vector<std::string> unchangedViews; // other tags in the file, untouched by the save
    int readPriority, writeFormat;
    // Per field, in Field order: the key the tag keeps it under (empty: the tag does not hold it).
    std::array<const char*, tagedit::kFieldCount> keys;
    // ffprobe's key per field (empty: ffprobe does not show it in this format).
    std::array<const char*, tagedit::kFieldCount> probeKeys;
};

const Format kFormats[] = {
    {"ID3v1",
     AudioKind::Mp3,
     "id3v1",
     "id3v1",
     {"apev2"},
     2,
     0,
     {"TPE1", "TIT2", "TRCK", "TALB", "TYER", "TCON", "COMM", "", "", ""},
     {"artist", "title", "track", "album", "date", "genre", "comment", "", "", ""}},
    {"ID3v2",
     AudioKind::Mp3,
     "id3v2",
     "id3v2",
     {},
     1,
     1,
     {"TPE1", "TIT2", "TRCK", "TALB", "TYER", "TCON", "COMM::eng", "TCOP", "WXXX:", "TENC"},
     // ffprobe shows a TYER as the date only when it is a number; the year here is free text
     {"artist", "title", "track", "album", "", "genre", "comment", "copyright", "", "encoded_by"}},
    // ffprobe does not read APEv2 in MP3 files
    {"APEv2",
     AudioKind::Mp3,
     "apev2",
     "apev2",
     {},
     0,
     2,
     {"Artist", "Title", "Track", "Album", "Year", "Genre", "Comment", "Copyright", "", ""},
     {}},
    {"Ogg",
     AudioKind::Ogg,
     "ogg",
     "ogg",
     {},
     0,
     0,
     {"artist", "title", "tracknumber", "album", "date", "genre", "comment", "copyright", "", ""},
     // ffprobe shows the file's DESCRIPTION as its comment too
     {"artist", "title", "track", "album", "date", "genre", "", "copyright", "", ""}},
    {"WMA",
     AudioKind::Wma,
     "asf",
     "asf",
     {},
     0,
     0,
     {"author", "title", "wm/tracknumber", "wm/albumtitle", "wm/year", "wm/genre", "description", "copyright",
      "wm/url", "wm/encodedby"},
     {"artist", "title", "track", "album", "wm_year", "genre", "comment", "copyright", "wm_url",
      "encoded_by"}},
};

// What mutagen shows under the field's key after `kind` was saved into it; empty when the key is gone.
std::string Expected(const Format& format, Field field, Kind kind) {
    const std::string value = Value(kind);
    const std::string name = format.name;
    if (field == Field::Track) {
        const int n = TrackValue(kind);
        if (n == 0) return {};
        if (name == "ID3v1") return std::to_string(n);
        if (name == "WMA") return "ASFDWordAttribute:" + std::to_string(n); // the number stays a number
        // the total the file had stays
        return std::to_string(n) + (name == "APEv2" ? "/5" : "/12");
    }
    if (value.empty()) return {};
    if (name == "ID3v1") {
        if (field == Field::Genre) return {}; // no name of the genre table: no genre
        return AsID3v1(value, field == Field::Year ? 4 : field == Field::Comment ? 28 : 30);
    }
    if (name == "ID3v2" && field == Field::URL) return AsLatin1Url(value);
    if (name == "WMA") return "ASFUnicodeAttribute:" + value;
    return value;
}

bool IsAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

class WriteMatrix : public ::testing::TestWithParam<Format> {};

TEST_P(WriteMatrix, EditedFieldHoldsTheValueAndEverythingElseStays) {
    const Format& format = GetParam();
    testutil::TempDir dir;
    const fs::path original = MadeByOthers(dir.path(), format.kind, format.maker);
    const Entries before = View(format.view, original);
    ASSERT_GT(before.size(), 5u) << "the fixture lacks its tags";
    std::map<std::string, Entries> othersBefore;
    for (const auto& v : format.unchangedViews) {
        othersBefore[v] = View(v, original);
        ASSERT_FALSE(othersBefore[v].empty()) << v;
    }
    const std::string audio = AudioPackets(original);

    struct Case {
        Field field;
        Kind kind;
        fs::path file;
    };
    std::vector<Case> cases;
    for (int f = 0; f < tagedit::kFieldCount; ++f)
        for (Kind kind : kKinds) {
            const Field field = static_cast<Field>(f);
            const fs::path file = dir / (std::to_string(f) + "-" + std::to_string(static_cast<int>(kind)) +
                                         original.extension().string());
            fs::copy_file(original, file);
            const std::string typed = field == Field::Track ? std::to_string(TrackValue(kind)) : Value(kind);
            EXPECT_TRUE(Edit(file, format.readPriority, format.writeFormat, {{field, typed}}))
                << tagedit::FieldNames[static_cast<size_t>(f)] << " " << KindName(kind);
            cases.push_back({field, kind, file});
        }

    std::vector<fs::path> files;
    for (const auto& c : cases)
        files.push_back(c.file);
    const auto after = View(format.view, files);
    std::map<std::string, std::map<fs::path, Entries>> othersAfter;
    for (const auto& v : format.unchangedViews)
        othersAfter[v] = View(v, files);

    for (const auto& c : cases) {
        const size_t f = static_cast<size_t>(c.field);
        SCOPED_TRACE(std::string(tagedit::FieldNames[f]) + " " + KindName(c.kind));
        const std::string key = format.keys[f];
        const Entries& got = after.at(c.file);
        if (key.empty()) {
            EXPECT_EQ(Changes(before, got), "") << "a field the tag does not hold changes nothing";
        } else {
            EXPECT_EQ(Changes(Without(before, key), Without(got, key)), "");
            const std::string expected = Expected(format, c.field, c.kind);
            const auto it = std::find_if(got.begin(), got.end(),
                                         [&](const auto& e) { return tags::SameTextAscii(e.first, key); });
            EXPECT_EQ(it == got.end() ? "" : it->second, expected);

            // ffprobe shows ID3v1 bytes undecoded
            const char* probeKey = format.probeKeys[f];
            if (probeKey && *probeKey && (std::string(format.name) != "ID3v1" || IsAscii(expected))) {
                const auto info = testutil::probe(c.file);
                ASSERT_TRUE(info.ok);
                std::string shown = expected;
                if (std::string(format.name) == "WMA") shown = shown.substr(shown.find(':') + 1);
                EXPECT_EQ(info.tag(probeKey), shown) << "ffprobe's " << probeKey;
            }
        }
        for (const auto& v : format.unchangedViews)
            EXPECT_EQ(Changes(othersBefore[v], othersAfter[v].at(c.file)), "") << v;
        EXPECT_EQ(AudioPackets(c.file), audio);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, WriteMatrix, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the save rule --------------------------------------------------------------------------------

// An MP3 with a Unicode ID3v2 tag and an ID3v1 record of its Latin-1 remains, read ID3v1 first and
// written to both: changing only the Year changes only the year in each tag, so the remains never
// reach the ID3v2 tag.
TEST(EditorSave, EachTagGetsOnlyTheEditedField) {
    testutil::TempDir dir;
    const fs::path file = MadeByOthers(dir.path(), AudioKind::Mp3, "ten_v1");
    const Entries v1 = View("id3v1", file), v2 = View("id3v2", file);
    ASSERT_EQ(tagedit::ReadTags(file, 2)->Title, "Ünïcode title ??");
    ASSERT_TRUE(Edit(file, 2, 3, {{Field::Year, "1999"}}));

    Entries v1Expected = v1, v2Expected = v2;
    v1Expected["TYER"] = v2Expected["TYER"] = "1999";
    EXPECT_EQ(Changes(v1Expected, View("id3v1", file)), "");
    EXPECT_EQ(Changes(v2Expected, View("id3v2", file)), "");

    // a field ID3v1 does not hold leaves its record as it is, byte for byte
    auto record = testutil::readFile(file);
    record.erase(record.begin(), record.end() - 128);
    ASSERT_TRUE(Edit(file, 2, 3, {{Field::URL, "http://example.org/b"}}));
    auto after = testutil::readFile(file);
    after.erase(after.begin(), after.end() - 128);
    EXPECT_EQ(after, record);
    EXPECT_EQ(View("id3v2", file)["WXXX:"], "http://example.org/b");
}

// A tag the file does not have yet gets every field the editor shows, beside the edited one.
TEST(EditorSave, ANewTagGetsAllShownFields) {
    testutil::TempDir dir;
    const fs::path file = MadeByOthers(dir.path(), AudioKind::Mp3, "ten");
    const Entries v2 = View("id3v2", file);
    ASSERT_TRUE(View("id3v1", file).empty());
    ASSERT_TRUE(Edit(file, 1, 3, {{Field::Year, "1999"}}));

    Entries v2Expected = v2;
    v2Expected["TYER"] = "1999";
    EXPECT_EQ(Changes(v2Expected, View("id3v2", file)), "");
    const Entries v1Expected = {
        {"TIT2", "Ünïcode title ??"}, {"TPE1", "??????"}, {"TALB", "Album"}, {"TYER", "1999"},
        {"COMM", "Comment ?"},        {"TRCK", "3"},      {"TCON", "8"}};
    EXPECT_EQ(Changes(v1Expected, View("id3v1", file)), "");
}

// Nothing edited (a save after a rename alone): no tag is written, whatever the file holds.
TEST(EditorSave, NothingEditedWritesNothing) {
    testutil::TempDir dir;
    const struct {
        AudioKind kind;
        const char* maker;
    } files[] = {{AudioKind::Mp3, "ten"}, {AudioKind::Ogg, "ogg"}, {AudioKind::Wma, "asf"}};
    for (const auto& f : files) {
        const fs::path file = MadeByOthers(dir.path(), f.kind, f.maker);
        const auto before = testutil::readFile(file);
        const auto shown = tagedit::ReadTags(file, 1);
        ASSERT_TRUE(shown) << file;
        for (int writeFormat = 0; writeFormat < 6; ++writeFormat)
            EXPECT_TRUE(tagedit::WriteTags(file, *shown, FieldSet(), writeFormat)) << file;
        // Ogg has no URL: an edited URL is nothing to write there
        if (f.kind == AudioKind::Ogg) {
            TagFields edited = *shown;
            edited.URL = "http://example.org/b";
            EXPECT_TRUE(tagedit::WriteTags(file, edited, FieldSet().set(size_t(Field::URL)), 0));
        }
        // and in Ogg and WMA a field edited back to what the file holds changes nothing either
        if (f.kind != AudioKind::Mp3) {
            EXPECT_TRUE(tagedit::WriteTags(file, *shown, FieldSet().set(size_t(Field::Album)), 1)) << file;
        }
        EXPECT_EQ(testutil::readFile(file), before) << file;
    }
}

// Several values under one name show joined by "; " (and a value repeated in another place once).
TEST(EditorSave, SeveralValuesShowJoined) {
    testutil::TempDir dir;
    const auto ogg = tagedit::ReadTags(MadeByOthers(dir.path(), AudioKind::Ogg, "ogg"), 0);
    ASSERT_TRUE(ogg);
    EXPECT_EQ(ogg->Artist, "One; Two");
    EXPECT_EQ(ogg->Genre, "Jazz; Blues");
    EXPECT_EQ(ogg->Copyright, "(c) 2001"); // the COPYRIGHT comment, not the vendor
    const auto wma = tagedit::ReadTags(MadeByOthers(dir.path(), AudioKind::Wma, "asf"), 0);
    ASSERT_TRUE(wma);
    EXPECT_EQ(wma->Genre, "Rock; Pop");
    EXPECT_EQ(wma->Track, 6); // stored as a DWORD
    const auto ape = tagedit::ReadTags(MadeByOthers(dir.path(), AudioKind::Mp3, "apev2"), 0);
    ASSERT_TRUE(ape);
    EXPECT_EQ(ape->Artist, "One; Two");
    EXPECT_EQ(ape->Track, 2); // "2/5"

    // ffmpeg writes the title into two ASF objects: one value to show, and an edit replaces both
    const fs::path ff = dir / "ff.wma";
    ASSERT_TRUE(testutil::makeTone(ff, {"-c:a", "wmav2"}, 0.5, 440, 44100, 1, {"-metadata", "title=Twice"}));
    EXPECT_EQ(tagedit::ReadTags(ff, 0)->Title, "Twice");
    ASSERT_TRUE(Edit(ff, 0, 0, {{Field::Title, "Once"}}));
    EXPECT_EQ(View("asf", ff)["title"], "ASFUnicodeAttribute:Once");
}

// Track numbers with a total: read as the number, the total kept when the number is edited, and no
// track leaves no item behind (never "0").
TEST(EditorSave, TrackTotalsStay) {
    testutil::TempDir dir;
    const struct {
        AudioKind kind;
        const char* maker;
        const char* view;
        const char* key;
        int shown;
        const char* afterNine;
    } cases[] = {
        {AudioKind::Mp3, "apev2", "apev2", "Track", 2, "9/5"},                           // "2/5"
        {AudioKind::Wma, "asf", "asf", "wm/tracknumber", 6, "ASFUnicodeAttribute:9/15"}, // "6/15" below
        {AudioKind::Ogg, "ogg", "ogg", "tracknumber", 3, "9/12"},                        // "3/12"
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.maker);
        const fs::path file = MadeByOthers(dir.path(), c.kind, c.maker);
        if (c.kind == AudioKind::Wma) {
            const auto r = testutil::run({"/usr/bin/python3", "-c",
                                          "import sys, mutagen.asf as a\n"
                                          "f = a.ASF(sys.argv[1])\n"
                                          "f.tags['WM/TrackNumber'] = [a.ASFUnicodeAttribute('6/15')]\n"
                                          "f.save()",
                                          file.string()});
            ASSERT_EQ(r.exitCode, 0) << r.err;
        }
        EXPECT_EQ(tagedit::ReadTags(file, 0)->Track, c.shown);
        ASSERT_TRUE(Edit(file, 0, 2, {{Field::Track, "9"}}));
        EXPECT_EQ(View(c.view, file)[c.key], c.afterNine);
        ASSERT_TRUE(Edit(file, 0, 2, {{Field::Track, "0"}}));
        EXPECT_EQ(View(c.view, file).count(c.key), 0u);
    }
}

// Fuzz finding (fuzz/corpus/tag_edit_fuzz/finding_id3v2_size_beyond_file): an MP3 cut short inside
// its ID3v2 tag, so the tag claims more bytes than the file holds and the MPEG frames are found in
// what the header counts as tag. A save must not write the new tag over those frames: it fails and
// leaves the file as it was, or the next load shows the saved title.
TEST(EditorSave, ID3v2TagLongerThanTheFile) {
    testutil::TempDir dir;
    auto bytes =
        testutil::readFile(QUILLOTONE_SOURCE_DIR "/fuzz/corpus/tag_edit_fuzz/finding_id3v2_size_beyond_file");
    ASSERT_GT(bytes.size(), 3u);
    bytes.erase(bytes.begin(), bytes.begin() + 3); // kind, field and write format of the fuzz input
    const fs::path file = dir / "cut.mp3";
    testutil::writeFile(file, bytes);
    ASSERT_TRUE(tagedit::ReadTags(file, 1).has_value());
    if (Edit(file, 1, 3, {{Field::Title, "Saved"}})) {
        const auto back = tagedit::ReadTags(file, 1);
        ASSERT_TRUE(back.has_value()) << "the audio is gone";
        EXPECT_EQ(back->Title, "Saved");
    } else {
        EXPECT_EQ(testutil::readFile(file), bytes);
    }
}

// tagdump --edit is the editor's load and save from the command line: the same bytes as Edit.
TEST(TagdumpEdit, SavesAsTheEditorDoes) {
    testutil::TempDir dir;
    const fs::path original = MadeByOthers(dir.path(), AudioKind::Mp3, "ten_v1");
    const auto originalBytes = testutil::readFile(original);
    const fs::path byTool = dir / "tool.mp3", byEditor = dir / "editor.mp3";
    fs::copy_file(original, byTool);
    fs::copy_file(original, byEditor);
    const auto r =
        testutil::run({testutil::toolPath("tagdump"), "--edit", "--read-priority", "2", "--write-format", "3",
                       "--set", "Year=1999", "--set", "TrackNumber=5", byTool.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_TRUE(Edit(byEditor, 2, 3, {{Field::Year, "1999"}, {Field::Track, "5"}}));
    EXPECT_EQ(testutil::readFile(byTool), testutil::readFile(byEditor));
    EXPECT_NE(testutil::readFile(byTool), originalBytes);
    // the fields as a new load shows them
    EXPECT_NE(r.out.find("\"edit\": {\n    \"Artist\": \"??????\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"Year\": \"1999\""), std::string::npos) << r.out;

    const struct {
        std::vector<std::string> args;
        std::string error;
    } refused[] = {
        {{"--edit", "--set", "Track=5"}, "--edit has no field \"Track\""},
        {{"--edit", "--read-priority", "4"}, "--read-priority takes a number from 0 to 3"},
        {{"--edit", "--write-format", "x"}, "--write-format takes a number from 0 to 5"},
        {{"--edit", "--write", "ape"}, "--edit and --write exclude each other"},
    };
    for (const auto& c : refused) {
        std::vector<std::string> argv{testutil::toolPath("tagdump")};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        argv.push_back(original.string());
        const auto refusal = testutil::run(argv);
        EXPECT_EQ(refusal.exitCode, 2) << c.error;
        EXPECT_NE(refusal.err.find(c.error), std::string::npos) << refusal.err;
    }
    EXPECT_EQ(testutil::readFile(original), originalBytes);
}

} // namespace
