// A conversion carries the source's whole tag: sources tagged by mutagen with pictures and the common
// fields beyond the ten are converted by our component into every format and tagged as the run tags
// them; mutagen and ffprobe read back the same values and byte-equal pictures, and what an output
// cannot hold is named.
#include "tagedit/carry.h"

#include "common/test_files.h"
#include "tags/riff/riff_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using tagedit::AudioKind;

const std::string kView = QUILLOTONE_SOURCE_DIR "/tests/tagedit/carry_view.py";

testutil::RunResult View(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"/usr/bin/python3", kView};
    argv.insert(argv.end(), args.begin(), args.end());
    return testutil::run(argv);
}

struct Source {
    const char* kind; // carry_view's
    const char* extension;
    std::vector<std::string> codec;
};

const Source kSources[] = {
    {"id3v2", ".mp3", {"-c:a", "libmp3lame", "-b:a", "128k"}},
    {"ogg", ".ogg", {"-c:a", "libvorbis"}},
    {"asf", ".wma", {"-c:a", "wmav2"}},
};

// A tagged source and the list row its tags give.
fs::path MakeSource(const fs::path& dir, const Source& s) {
    const fs::path file = dir / (std::string("source") + s.extension);
    EXPECT_TRUE(testutil::makeTone(file, s.codec, 1.0, 440, 44100, 2, {"-map_metadata", "-1"}));
    const auto made = View({"make", s.kind, file.string()});
    EXPECT_EQ(made.exitCode, 0) << made.err;
    return file;
}

fs::path Convert(const fs::path& source, const fs::path& dir, AudioKind kind) {
    static const char* const names[] = {"mp3", "ogg", "wav", "wma"};
    const char* name = names[static_cast<int>(kind)];
    const fs::path out = dir / (std::string("out.") + name);
    const auto r = testutil::run(
        {testutil::toolPath("convert-file"), "--quiet", "--format", name, source.string(), out.string()});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    return out;
}

tagedit::TaggingResult Tag(const fs::path& source, const fs::path& out, AudioKind kind, int writeFormat) {
    const auto row = tagedit::ReadTags(source, 1);
    EXPECT_TRUE(row.has_value()) << source;
    const tagedit::SourceTags carried = tagedit::ReadSourceTags(source, 1);
    EXPECT_TRUE(carried.unreadable.empty());
    return tagedit::TagConvertedFile(out, row.value_or(tagedit::TagFields{}), static_cast<int>(kind),
                                     writeFormat, &carried);
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

std::string Hex(const std::string& text) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text)
        out += {digits[c >> 4], digits[c & 15]};
    return out;
}

std::string Listed(const std::vector<std::string>& list) {
    std::string out;
    for (const auto& s : list)
        out += s + "; ";
    return out;
}

// Every source kind into every tag form an output can have: the readers see what the source holds.
TEST(Carry, EverySourceIntoEveryFormat) {
    struct Target {
        AudioKind kind;
        int writeFormat;
        const char* view;
    };
    const Target targets[] = {{AudioKind::Mp3, 1, "id3v2"},
                              {AudioKind::Mp3, 2, "apev2"},
                              {AudioKind::Ogg, 0, "ogg"},
                              {AudioKind::Wma, 0, "asf"}};
    for (const Source& s : kSources) {
        testutil::TempDir dir;
        const fs::path source = MakeSource(dir.path(), s);
        for (const Target& t : targets) {
            SCOPED_TRACE(std::string(s.kind) + " into " + t.view);
            const fs::path out = Convert(source, dir.path(), t.kind);
            const auto tagged = Tag(source, out, t.kind, t.writeFormat);
            ASSERT_TRUE(tagged.written);
            EXPECT_TRUE(tagged.notCarried.empty()) << Listed(tagged.notCarried);
            const auto same = View({"same", s.kind, source.string(), t.view, out.string()});
            EXPECT_EQ(same.exitCode, 0) << same.out << same.err;

            const auto probe = testutil::probe(out);
            ASSERT_TRUE(probe.ok);
            if (std::string(t.view) != "apev2") { // ffprobe reads no APEv2 tag of an MP3 file
                EXPECT_EQ(probe.tag("album_artist"), "Various Ärtists") << probe.formatName;
                EXPECT_EQ(probe.tag("composer"), "Composer ü");
            }
            if (t.kind == AudioKind::Ogg) {
                const auto ogginfo = testutil::run({"/usr/bin/ogginfo", out.string()});
                EXPECT_EQ(ogginfo.exitCode, 0) << ogginfo.out;
                EXPECT_EQ(ogginfo.out.find("WARNING"), std::string::npos) << ogginfo.out;
            }
            fs::remove(out);
        }
    }
}

// WAV keeps the ten fields in RIFF INFO (ffprobe and our reader see them) and names the rest; an
// output of ID3v1 alone names what its 30 Latin-1 bytes cut.
TEST(Carry, WhatAnOutputCannotHoldIsNamed) {
    testutil::TempDir dir;
    const fs::path source = MakeSource(dir.path(), kSources[0]);

    const fs::path wav = Convert(source, dir.path(), AudioKind::Wav);
    auto tagged = Tag(source, wav, AudioKind::Wav, 0);
    ASSERT_TRUE(tagged.written);
    const auto probe = testutil::probe(wav);
    EXPECT_EQ(probe.tag("title"), "Ünïcode title 日本");
    EXPECT_EQ(probe.tag("artist"), "Артист");
    EXPECT_EQ(probe.tag("date"), "2001-05-06");
    EXPECT_EQ(probe.tag("track"), "3");
    tags::TRiffInfo info;
    ASSERT_TRUE(info.ReadTags(wav));
    EXPECT_EQ(info.Value("ICMT"), "Comment ✓");
    for (const char* lost :
         {"picture (front cover)", "picture (back cover)", "Album artist", "Disc number", "Disc total",
          "Track total", "Composer", "Lyrics", "ReplayGain album peak", "MusicBrainz recording id", "MOOD"})
        EXPECT_TRUE(Contains(tagged.notCarried, lost)) << lost << ": " << Listed(tagged.notCarried);
    EXPECT_FALSE(Contains(tagged.notCarried, "Title"));

    const fs::path mp3 = Convert(source, dir.path(), AudioKind::Mp3);
    tagged = Tag(source, mp3, AudioKind::Mp3, 0);
    ASSERT_TRUE(tagged.written);
    for (const char* lost : {"Title (ID3v1 holds Latin-1 only)", "Artist (ID3v1 holds Latin-1 only)",
                             "Year (ID3v1 holds 4 characters)", "picture (front cover)", "Composer"})
        EXPECT_TRUE(Contains(tagged.notCarried, lost)) << lost << ": " << Listed(tagged.notCarried);
    EXPECT_FALSE(Contains(tagged.notCarried, "Album"));

    // Without the source (the option off) the ten fields go, and nothing else is named as lost.
    const fs::path ogg = Convert(source, dir.path(), AudioKind::Ogg);
    tagged = tagedit::TagConvertedFile(ogg, *tagedit::ReadTags(source, 1), 1, 0, nullptr);
    ASSERT_TRUE(tagged.written);
    EXPECT_TRUE(tagged.notCarried.empty()) << Listed(tagged.notCarried);
    const auto same = View({"same", "id3v2", source.string(), "ogg", ogg.string()});
    EXPECT_EQ(same.exitCode, 1);
    for (const char* field :
         {"albumartist:", "disctotal:", "tracktotal:", "lyrics:", "mb_trackid:", "mood:", "pictures:"})
        EXPECT_NE(same.out.find(field), std::string::npos) << field << same.out;
    EXPECT_EQ(same.out.find("title:"), std::string::npos) << same.out;
    EXPECT_NE(same.out.find("date: '2001-05-06' != '2001'"), std::string::npos) << same.out; // the row's year

    // ID3v1 & ID3v2: the ID3v2 tag holds it all, nothing is lost
    fs::remove(mp3);
    tagged = Tag(source, Convert(source, dir.path(), AudioKind::Mp3), AudioKind::Mp3, 3);
    ASSERT_TRUE(tagged.written);
    EXPECT_TRUE(tagged.notCarried.empty()) << Listed(tagged.notCarried);
}

// Into the same tag form everything goes as it was: ratings, private frames, described comments,
// links, numeric and boolean attributes, several values under one name.
TEST(Carry, SameFormatKeepsEveryEntry) {
    const std::string tagView = QUILLOTONE_SOURCE_DIR "/tests/tagedit/tag_view.py";
    struct Case {
        const char* kind; // tag_view's
        Source source;
        AudioKind out;
        int readPriority, writeFormat;
        // Left out: the list's fields show several values joined by "; " and are written so; APEv2
        // writes no URL or Encodedby; an Ogg track number's total goes to TRACKTOTAL; the encoder's vendor;
        // a WMA track number is written as the text the list holds.
        std::vector<std::string> ignored;
    };
    const Case cases[] = {
        {"id3v2", kSources[0], AudioKind::Mp3, 1, 1, {}},
        {"apev2", kSources[0], AudioKind::Mp3, 0, 2, {"Artist", "URL", "Encodedby"}},
        {"ogg", kSources[1], AudioKind::Ogg, 1, 0, {"artist", "genre", "tracknumber", "vendor"}},
        {"asf", kSources[2], AudioKind::Wma, 1, 0, {"wm/genre", "wm/tracknumber"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        testutil::TempDir dir;
        const fs::path source = dir.path() / (std::string("source") + c.source.extension);
        ASSERT_TRUE(testutil::makeTone(source, c.source.codec, 1.0, 440, 44100, 2, {"-map_metadata", "-1"}));
        ASSERT_EQ(testutil::run({"/usr/bin/python3", tagView, "make", c.kind, source.string()}).exitCode, 0);
        const fs::path out = Convert(source, dir.path(), c.out);
        const tagedit::SourceTags carried = tagedit::ReadSourceTags(source, c.readPriority);
        const auto row = tagedit::ReadTags(source, c.readPriority);
        ASSERT_TRUE(row.has_value());
        const auto tagged =
            tagedit::TagConvertedFile(out, *row, static_cast<int>(c.out), c.writeFormat, &carried);
        ASSERT_TRUE(tagged.written);
        auto dump = [&](const fs::path& file) {
            const auto r = testutil::run({"/usr/bin/python3", tagView, "dump", c.kind, file.string()});
            EXPECT_EQ(r.exitCode, 0) << r.err;
            std::string kept;
            std::istringstream lines(r.out.substr(r.out.find('\n') + 1)); // without the file's name
            for (std::string line; std::getline(lines, line);) {
                const std::string key = line.substr(0, line.find('\t'));
                if (std::none_of(c.ignored.begin(), c.ignored.end(),
                                 [&](const std::string& i) { return key == Hex(i); }))
                    kept += line + "\n";
            }
            return kept;
        };
        EXPECT_EQ(dump(out), dump(source));
    }
}

} // namespace
