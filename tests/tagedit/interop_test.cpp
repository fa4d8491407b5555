// Independent readers (ffprobe, mutagen) see the fields as the tag layer wrote them, after a direct
// write and after the tagging of a converted output.
#include "tagedit/carry.h"
#include "tagedit/format_tags.h"

#include "common/test_files.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using tagedit::AudioKind;
using tagedit::TagFields;

// One field name per line with its value as hex, so line breaks and any UTF-8 pass unharmed.
const char* const kMutagenReader = R"(
import sys, binascii
kind, path = sys.argv[1], sys.argv[2]
out = {}
if kind in ('id3v1', 'id3v2'):
    import mutagen.id3 as m
    t = m.ID3(path)
    def text(k):
        return str(t[k].text[0]) if k in t else ''
    out = dict(artist=text('TPE1'), title=text('TIT2'), track=text('TRCK'), album=text('TALB'),
               year=text('TDRC'), genre=text('TCON'), copyright=text('TCOP'), encodedby=text('TENC'))
    comm = t.getall('COMM')
    out['comment'] = comm[0].text[0] if comm else ''
    link = t.getall('WXXX')
    out['url'] = link[0].url if link else ''
elif kind == 'apev2':
    import mutagen.apev2 as a
    t = a.APEv2(path)
    for field, key in (('artist', 'Artist'), ('title', 'Title'), ('track', 'Track'), ('album', 'Album'),
                       ('year', 'Year'), ('genre', 'Genre'), ('comment', 'Comment'),
                       ('copyright', 'Copyright'), ('url', 'URL'), ('encodedby', 'Encodedby')):
        out[field] = str(t[key]) if key in t else ''
elif kind == 'ogg':
    import mutagen.oggvorbis as o
    t = o.OggVorbis(path).tags
    for field, key in (('artist', 'artist'), ('title', 'title'), ('track', 'tracknumber'), ('album', 'album'),
                       ('year', 'date'), ('genre', 'genre'), ('comment', 'comment'),
                       ('copyright', 'copyright'), ('url', 'url'), ('encodedby', 'encodedby')):
        out[field] = t[key][0] if key in t else ''
    out['vendor'] = t.vendor
elif kind == 'asf':
    import mutagen.asf as w
    t = w.ASF(path).tags
    for field, key in (('artist', 'Author'), ('title', 'Title'), ('track', 'WM/TrackNumber'),
                       ('album', 'WM/AlbumTitle'), ('year', 'WM/Year'), ('genre', 'WM/Genre'),
                       ('comment', 'Description'), ('copyright', 'Copyright'), ('url', 'WM/URL'),
                       ('encodedby', 'WM/EncodedBy')):
        out[field] = str(t[key][0]) if key in t else ''
for k, v in sorted(out.items()):
    print(k, binascii.hexlify(v.encode('utf-8')).decode())
)";

std::map<std::string, std::string> MutagenRead(const std::string& kind, const fs::path& file) {
    const auto r = testutil::run({"/usr/bin/python3", "-c", kMutagenReader, kind, file.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::map<std::string, std::string> out;
    std::istringstream in(r.out);
    std::string key, hex;
    while (in >> key) {
        hex.clear();
        if (in.peek() == ' ') in.get();
        if (in.peek() != '\n') in >> hex;
        std::string value;
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            value += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        out[key] = value;
    }
    return out;
}

// What a reader shows of the ten fields, in the reader's field names.
std::map<std::string, std::string> Named(const TagFields& f) {
    return {{"artist", f.Artist},
            {"title", f.Title},
            {"track", f.Track ? std::to_string(f.Track) : ""},
            {"album", f.Album},
            {"year", f.Year},
            {"genre", f.Genre},
            {"comment", f.Comment},
            {"copyright", f.Copyright},
            {"url", f.URL},
            {"encodedby", f.EncodedBy}};
}

TagFields Written(bool latin1Only) {
    if (latin1Only) return {"Artist", "Title", 9, "Album", "2003", "Jazz", "Comment", "", "", ""};
    return {"Ärtist Ünïcode",
            "タイトル — Title 🎵",
            12,
            "Albüm",
            "2024",
            "Chamber Music",
            "A comment, with ünicode",
            "© 2024 Someone",
            "page/ü?a=1&b",
            "Encoder Ω"};
}

struct Case {
    const char* name;
    AudioKind kind;
    int writeFormat;         // MP3 only
    const char* mutagenKind; // reader for the tag that was written
    bool latin1Only;         // ID3v1 holds Latin-1 only, and ffprobe passes its bytes undecoded
    std::vector<std::string> notWritten;
    // ffprobe's key for each reader field ("/" shows as "_"); fields it does not show are left out
    std::map<std::string, std::string> probeKeys;
};

const std::map<std::string, std::string> kProbeCommon = {
    {"artist", "artist"}, {"title", "title"}, {"track", "track"},    {"album", "album"},
    {"year", "date"},     {"genre", "genre"}, {"comment", "comment"}};

std::map<std::string, std::string> With(std::map<std::string, std::string> keys,
                                        const std::map<std::string, std::string>& more) {
    for (const auto& [field, key] : more)
        keys[field] = key;
    return keys;
}

const std::vector<Case> kCases = {
    {"mp3_id3v1", AudioKind::Mp3, 0, "id3v1", true, {"copyright", "url", "encodedby"}, kProbeCommon},
    {"mp3_id3v2",
     AudioKind::Mp3,
     1,
     "id3v2",
     false,
     {},
     With(kProbeCommon, {{"copyright", "copyright"}, {"encodedby", "encoded_by"}})},
    // ffprobe does not read APEv2 in MP3 files; mutagen alone checks it
    {"mp3_apev2", AudioKind::Mp3, 2, "apev2", false, {"url", "encodedby"}, {}},
    {"ogg",
     AudioKind::Ogg,
     0,
     "ogg",
     false,
     {"url", "encodedby"},
     With(kProbeCommon, {{"copyright", "copyright"}})},
    {"wma",
     AudioKind::Wma,
     0,
     "asf",
     false,
     {},
     With(kProbeCommon,
          {{"year", "wm_year"}, {"copyright", "copyright"}, {"url", "wm_url"}, {"encodedby", "encoded_by"}})},
};

fs::path MakeTone(const fs::path& dir, AudioKind kind) {
    const std::vector<std::string> noMeta = {"-map_metadata", "-1", "-fflags", "+bitexact"};
    switch (kind) {
    case AudioKind::Mp3: {
        const fs::path p = dir / "out.mp3";
        std::vector<std::string> extra = noMeta;
        extra.insert(extra.end(), {"-id3v2_version", "0", "-write_id3v1", "0"});
        EXPECT_TRUE(testutil::makeTone(p, {"-c:a", "libmp3lame", "-b:a", "64k"}, 0.5, 440, 44100, 1, extra));
        return p;
    }
    case AudioKind::Ogg: {
        const fs::path p = dir / "out.ogg";
        EXPECT_TRUE(testutil::makeTone(p, {"-c:a", "libvorbis", "-q:a", "2"}, 0.5, 440, 44100, 1, noMeta));
        return p;
    }
    case AudioKind::Wma: {
        const fs::path p = dir / "out.wma";
        EXPECT_TRUE(testutil::makeTone(p, {"-c:a", "wmav2", "-b:a", "64k"}, 0.5, 440, 44100, 1, noMeta));
        return p;
    }
    case AudioKind::Wav:
        break;
    }
    const fs::path p = dir / "out.wav";
    EXPECT_TRUE(testutil::makeTone(p, {"-c:a", "pcm_s16le"}, 0.5, 440, 44100, 1, noMeta));
    return p;
}

bool Write(AudioKind kind, const fs::path& file, const TagFields& f, int writeFormat) {
    switch (kind) {
    case AudioKind::Mp3:
        return tagedit::WriteMp3Tags(file, f, writeFormat);
    case AudioKind::Ogg:
        return tagedit::WriteOggTags(file, f);
    case AudioKind::Wma:
        return tagedit::WriteWmaTags(file, f);
    case AudioKind::Wav:
        break;
    }
    return false;
}

class IndependentReaders : public ::testing::TestWithParam<Case> {};

TEST_P(IndependentReaders, ReadTheFieldsAsWritten) {
    const Case& c = GetParam();
    testutil::TempDir dir;
    const fs::path file = MakeTone(dir.path(), c.kind);
    const TagFields written = Written(c.latin1Only);
    const std::string vendorBefore = c.kind == AudioKind::Ogg ? MutagenRead("ogg", file)["vendor"] : "";
    ASSERT_TRUE(Write(c.kind, file, written, c.writeFormat));

    auto expected = Named(written);
    for (const auto& field : c.notWritten)
        expected[field] = "";
    auto got = MutagenRead(c.mutagenKind, file);
    const std::string vendor = got["vendor"];
    got.erase("vendor");
    EXPECT_EQ(got, expected);

    const auto info = testutil::probe(file);
    ASSERT_TRUE(info.ok);
    for (const auto& [field, key] : c.probeKeys)
        EXPECT_EQ(info.tag(key), expected[field]) << field << " as " << key;

    // Copyright is the COPYRIGHT comment; the vendor string stays the encoder's.
    EXPECT_EQ(vendor, vendorBefore);
}

INSTANTIATE_TEST_SUITE_P(Writes, IndependentReaders, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Both tags of a two-tag write format, each read by mutagen.
TEST(IndependentReaders, BothTagsOfAPair) {
    testutil::TempDir dir;
    const fs::path file = MakeTone(dir.path(), AudioKind::Mp3);
    const TagFields written = Written(false);
    ASSERT_TRUE(tagedit::WriteMp3Tags(file, written, 5));
    auto expected = Named(written);
    EXPECT_EQ(MutagenRead("id3v2", file), expected);
    expected["url"] = expected["encodedby"] = "";
    EXPECT_EQ(MutagenRead("apev2", file), expected);
}

// The run's tagging step: the row's columns go into the output of each kind, WAV's into RIFF INFO.
TEST(TagConvertedFile, EachOutputFormat) {
    const std::array<tags::TagText, tagedit::kFieldCount> row = {
        "Row Artist", "Row Title",   "5",       "Row Album", "1999",
        "Blues",      "Row comment", "Row (c)", "Row url",   "Row encoder"};
    const TagFields fields = tagedit::FieldsFromColumns(row);
    const struct {
        AudioKind kind;
        std::map<std::string, std::string> probe;
    } outputs[] = {
        // MP3 by write format "ID3v2": every field that ffprobe shows of it
        {AudioKind::Mp3,
         {{"artist", "Row Artist"},
          {"title", "Row Title"},
          {"track", "5"},
          {"album", "Row Album"},
          {"date", "1999"},
          {"genre", "Blues"},
          {"comment", "Row comment"},
          {"copyright", "Row (c)"},
          {"encoded_by", "Row encoder"}}},
        {AudioKind::Ogg,
         {{"artist", "Row Artist"},
          {"title", "Row Title"},
          {"track", "5"},
          {"album", "Row Album"},
          {"date", "1999"},
          {"genre", "Blues"},
          {"comment", "Row comment"},
          {"copyright", "Row (c)"}}},
        {AudioKind::Wma,
         {{"artist", "Row Artist"},
          {"title", "Row Title"},
          {"track", "5"},
          {"album", "Row Album"},
          {"genre", "Blues"},
          {"comment", "Row comment"},
          {"copyright", "Row (c)"},
          {"wm_url", "Row url"},
          {"wm_year", "1999"},
          {"encoded_by", "Row encoder"}}},
        {AudioKind::Wav,
         {{"artist", "Row Artist"},
          {"title", "Row Title"},
          {"track", "5"},
          {"album", "Row Album"},
          {"date", "1999"},
          {"genre", "Blues"},
          {"comment", "Row comment"},
          {"copyright", "Row (c)"},
          {"encoded_by", "Row encoder"}}},
    };
    for (const auto& o : outputs) {
        testutil::TempDir dir;
        const fs::path file = MakeTone(dir.path(), o.kind);
        const auto tagged = tagedit::TagConvertedFile(file, fields, static_cast<int>(o.kind), 1);
        EXPECT_TRUE(tagged.written) << file;
        // WAV has no place for the URL; MP3's ID3v2, Ogg and WMA hold what they are given
        const std::vector<std::string> lost = o.kind == AudioKind::Wav ? std::vector<std::string>{"URL"}
                                              : o.kind == AudioKind::Ogg
                                                  ? std::vector<std::string>{"URL", "Encoded by"}
                                                  : std::vector<std::string>{};
        EXPECT_EQ(tagged.notCarried, lost) << file;
        const auto info = testutil::probe(file);
        ASSERT_TRUE(info.ok) << file;
        for (const auto& [key, value] : o.probe)
            EXPECT_EQ(info.tag(key), value) << file << " " << key;
    }
}

// MP3 output follows the write format it is given; "7/12" in the track column gives track 0.
TEST(TagConvertedFile, Mp3ByWriteFormatAndTrackText) {
    for (int format = 0; format < 6; ++format) {
        testutil::TempDir dir;
        const fs::path file = MakeTone(dir.path(), AudioKind::Mp3);
        const auto fields = tagedit::FieldsFromColumns({"A", "T", "7/12", "Al", "2000", "Rock", "C"});
        EXPECT_EQ(fields.Track, 0);
        ASSERT_TRUE(tagedit::TagConvertedFile(file, fields, 0, format).written) << format;
        for (int priority = 0; priority < 4; ++priority) {
            const auto read = tagedit::ReadMp3Tags(file, priority);
            ASSERT_TRUE(read.has_value()) << format;
            EXPECT_EQ(read->Title, "T");
            EXPECT_EQ(read->Track, 0);
        }
    }
    testutil::TempDir dir;
    const fs::path file = MakeTone(dir.path(), AudioKind::Mp3);
    EXPECT_FALSE(tagedit::TagConvertedFile(file, TagFields{}, 7, 2).written); // no such output format
    EXPECT_FALSE(tagedit::ReadMp3Tags(file, 0).has_value());
}

} // namespace
