#include "common/test_files.h"
#include "tags/io/files.h"
#include "tags/vorbis/ogg_vorbis.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace tags;
using testutil::probe;
using testutil::readFile;
using testutil::run;
using testutil::TempDir;
using testutil::writeFile;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t le32(const Bytes& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}
void put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

struct Page {
    size_t position;
    uint8_t flags;
    int64_t granule;
    uint32_t serial, sequence, crc;
    Bytes lacing;
    Bytes data;
    bool crcOk;
};

// Splits bytes into pages from `from` on (stops at the first bytes that are not a page).
std::vector<Page> pages(const Bytes& b, size_t from = 0) {
    std::vector<Page> out;
    size_t pos = from;
    while (pos + 27 <= b.size() && std::memcmp(&b[pos], "OggS", 4) == 0) {
        Page p;
        p.position = pos;
        p.flags = b[pos + 5];
        p.granule = static_cast<int64_t>(le32(b, pos + 6) | (uint64_t(le32(b, pos + 10)) << 32));
        p.serial = le32(b, pos + 14);
        p.sequence = le32(b, pos + 18);
        p.crc = le32(b, pos + 22);
        size_t segs = b[pos + 26];
        if (pos + 27 + segs > b.size()) break;
        p.lacing.assign(b.begin() + pos + 27, b.begin() + pos + 27 + segs);
        size_t size = 0;
        for (uint8_t v : p.lacing)
            size += v;
        size_t start = pos + 27 + segs;
        if (start + size > b.size()) break;
        p.data.assign(b.begin() + start, b.begin() + start + size);
        Bytes copy(b.begin() + pos, b.begin() + start + size);
        std::memset(&copy[22], 0, 4);
        p.crcOk = OggChecksum(copy.data(), copy.size()) == p.crc;
        out.push_back(std::move(p));
        pos = start + size;
    }
    return out;
}

// Reassembles the packets of the pages.
std::vector<Bytes> packets(const std::vector<Page>& ps) {
    std::vector<Bytes> out;
    Bytes cur;
    for (const auto& p : ps) {
        size_t at = 0;
        for (uint8_t v : p.lacing) {
            cur.insert(cur.end(), p.data.begin() + at, p.data.begin() + at + v);
            at += v;
            if (v < 255) {
                out.push_back(cur);
                cur.clear();
            }
        }
    }
    return out;
}

Bytes page(uint8_t flags, int64_t granule, uint32_t seq, const Bytes& lacing, const Bytes& data,
           uint32_t serial = 0x1234) {
    Bytes b = {'O', 'g', 'g', 'S', 0, flags};
    for (int i = 0; i < 8; ++i)
        b.push_back(static_cast<uint8_t>(static_cast<uint64_t>(granule) >> (8 * i)));
    put32(b, serial);
    put32(b, seq);
    put32(b, 0);
    b.push_back(static_cast<uint8_t>(lacing.size()));
    b.insert(b.end(), lacing.begin(), lacing.end());
    b.insert(b.end(), data.begin(), data.end());
    uint32_t crc = OggChecksum(b.data(), b.size());
    for (int i = 0; i < 4; ++i)
        b[22 + i] = static_cast<uint8_t>(crc >> (8 * i));
    return b;
}

Bytes lacingFor(size_t size) {
    Bytes l(size / 255, 255);
    l.push_back(static_cast<uint8_t>(size % 255));
    return l;
}

Bytes identification(uint8_t channels = 2, uint32_t rate = 44100, uint32_t nominal = 128000) {
    Bytes b = {1, 'v', 'o', 'r', 'b', 'i', 's', 0, 0, 0, 0, channels};
    put32(b, rate);
    put32(b, 0);
    put32(b, nominal);
    put32(b, 0);
    b.push_back(0xB8);
    b.push_back(1);
    return b;
}

Bytes commentPacket(const std::vector<std::string>& comments, const std::string& vendor = "Test vendor") {
    Bytes b = {3, 'v', 'o', 'r', 'b', 'i', 's'};
    put32(b, static_cast<uint32_t>(vendor.size()));
    b.insert(b.end(), vendor.begin(), vendor.end());
    put32(b, static_cast<uint32_t>(comments.size()));
    for (const auto& c : comments) {
        put32(b, static_cast<uint32_t>(c.size()));
        b.insert(b.end(), c.begin(), c.end());
    }
    b.push_back(1); // framing
    return b;
}

// A small Vorbis-shaped stream: identification page, one page with comment and setup header, and
// `audioPages` pages of made-up audio packets, the last with granule `samples`.
Bytes oggFile(const Bytes& comment, int audioPages = 3, int64_t samples = 88200, size_t audioSize = 400) {
    Bytes setup(300, 0x05);
    setup[0] = 5;
    Bytes f = page(0x02, 0, 0, lacingFor(30), identification());
    Bytes lacing = lacingFor(comment.size()), second = lacingFor(setup.size());
    lacing.insert(lacing.end(), second.begin(), second.end());
    Bytes data = comment;
    data.insert(data.end(), setup.begin(), setup.end());
    Bytes p2 = page(0, 0, 1, lacing, data);
    f.insert(f.end(), p2.begin(), p2.end());
    for (int i = 0; i < audioPages; ++i) {
        Bytes audio(audioSize, static_cast<uint8_t>(0x40 + i));
        bool last = i + 1 == audioPages;
        Bytes p = page(last ? 0x04 : 0, last ? samples : samples * (i + 1) / audioPages,
                       static_cast<uint32_t>(2 + i), lacingFor(audio.size()), audio);
        f.insert(f.end(), p.begin(), p.end());
    }
    return f;
}

TOggVorbis readBytes(const Bytes& b) {
    TMemoryStream s(b);
    TOggVorbis o;
    EXPECT_TRUE(o.ReadInfo(s));
    return o;
}

std::string pcmHash(const fs::path& f) {
    auto r = run({"ffmpeg", "-nostdin", "-v", "error", "-i", f.string(), "-map", "0:a", "-f", "md5", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
}

// ogginfo checks every page's checksum and the sequence numbers.
void expectOgginfoClean(const fs::path& f) {
    auto r = run({"ogginfo", f.string()});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("WARNING"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("ERROR"), std::string::npos) << r.out;
}

void expectAllChecksums(const Bytes& b, size_t from = 0) {
    auto ps = pages(b, from);
    ASSERT_FALSE(ps.empty());
    size_t end = ps.back().position + 27 + ps.back().lacing.size() + ps.back().data.size();
    EXPECT_EQ(end, b.size()) << "the file is a clean sequence of pages";
    for (size_t i = 0; i < ps.size(); ++i) {
        EXPECT_TRUE(ps[i].crcOk) << "page " << i;
        EXPECT_EQ(ps[i].sequence, i) << "page " << i;
    }
}

} // namespace

// ---- checksum and reading from bytes ---------------------------------------------------------------

TEST(OggChecksum, MatchesEveryPageThatFfmpegWrote) {
    TempDir dir;
    fs::path f = dir / "tone.ogg";
    ASSERT_TRUE(testutil::makeTone(f, {"-c:a", "libvorbis", "-q:a", "2"}, 2.0));
    Bytes b = readFile(f);
    auto ps = pages(b);
    ASSERT_GE(ps.size(), 3u);
    for (const auto& p : ps)
        EXPECT_TRUE(p.crcOk) << "page " << p.sequence;
    // one flipped bit is noticed
    b[ps[1].position + 40] ^= 0x10;
    EXPECT_FALSE(pages(b)[1].crcOk);
}

TEST(OggVorbisRead, CommentValues) {
    struct Case {
        const char* what;
        std::vector<std::string> comments;
        std::function<void(const TOggVorbis&)> check;
    } cases[] = {
        {"track before the slash", {"TRACKNUMBER=3/12"}, [](const TOggVorbis& o) { EXPECT_EQ(o.Track, 3); }},
        {"track keeps 16 bits", {"tracknumber=300"}, [](const TOggVorbis& o) { EXPECT_EQ(o.Track, 300); }},
        {"track not a number", {"TRACKNUMBER=x"}, [](const TOggVorbis& o) { EXPECT_EQ(o.Track, 0); }},
        {"performer stands in for artist",
         {"PERFORMER=Orchestra"},
         [](const TOggVorbis& o) { EXPECT_EQ(o.Artist, "Orchestra"); }},
        {"artist wins over performer",
         {"PERFORMER=Orchestra", "Artist=Soloist"},
         [](const TOggVorbis& o) { EXPECT_EQ(o.Artist, "Soloist"); }},
        {"description stands in for comment",
         {"DESCRIPTION=About"},
         [](const TOggVorbis& o) { EXPECT_EQ(o.Comment, "About"); }},
        {"a repeated key shows every value once",
         {"TITLE=one", "title=two", "TITLE=one", "TITLE="},
         [](const TOggVorbis& o) { EXPECT_EQ(o.Title, "one; two"); }},
        {"copyright is its own comment, the vendor stays apart",
         {"COPYRIGHT=(c) me"},
         [](const TOggVorbis& o) {
             EXPECT_EQ(o.Copyright, "(c) me");
             EXPECT_EQ(o.Vendor, "Test vendor");
         }},
        {"values are trimmed", {"ALBUM=  x y \t"}, [](const TOggVorbis& o) { EXPECT_EQ(o.Album, "x y"); }},
        {"long values whole",
         {"COMMENT=" + std::string(1000, 'c')},
         [](const TOggVorbis& o) { EXPECT_EQ(o.Comment, std::string(1000, 'c')); }},
        {"four-byte sequences",
         {"TITLE=G\xf0\x9f\x8e\xb5 \xe2\x82\xac \xc3\xa4"},
         [](const TOggVorbis& o) { EXPECT_EQ(o.Title, "G\xf0\x9f\x8e\xb5 \xe2\x82\xac \xc3\xa4"); }},
        {"invalid sequence cuts the value",
         {"GENRE=Rock\xc3(x)", "DATE=19\xed\xa0\x80"
                               "99"}, // a surrogate half is not a character either
         [](const TOggVorbis& o) {
             EXPECT_EQ(o.Genre, "Rock");
             EXPECT_EQ(o.Date, "19");
         }},
        {"other keys kept in order",
         {"REPLAYGAIN_TRACK_GAIN=-3 dB", "TITLE=t", "X=1", "PERFORMER=p", "novalue"},
         [](const TOggVorbis& o) {
             EXPECT_EQ(o.OtherComments, (std::vector<std::string>{"REPLAYGAIN_TRACK_GAIN=-3 dB", "X=1",
                                                                  "PERFORMER=p", "novalue"}));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TOggVorbis o = readBytes(oggFile(commentPacket(c.comments)));
        EXPECT_EQ(o.Vendor, "Test vendor");
        c.check(o);
    }
}

TEST(OggVorbisRead, PropertiesAndTheLastPageSearch) {
    TOggVorbis o = readBytes(oggFile(commentPacket({})));
    EXPECT_EQ(o.ChannelMode, 2);
    EXPECT_EQ(o.SampleRate, 44100u);
    EXPECT_EQ(o.BitRateNominal, 128);
    EXPECT_EQ(o.Samples, 88200);
    EXPECT_DOUBLE_EQ(o.Duration(), 2.0);
    EXPECT_TRUE(o.Valid());

    // a last page whose header lies more than 12,060 bytes before the end: no samples, the duration
    // comes from the nominal bit rate
    Bytes big = oggFile(commentPacket({}), 1, 88200, 13000);
    TOggVorbis n = readBytes(big);
    EXPECT_EQ(n.Samples, 0);
    EXPECT_DOUBLE_EQ(n.Duration(), double(big.size()) / 128 / 2 / 125 * 2);

    // an ID3v2 tag in front is skipped
    Bytes tagged = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 20};
    tagged.resize(30, 0);
    Bytes plain = oggFile(commentPacket({"TITLE=behind a tag"}));
    tagged.insert(tagged.end(), plain.begin(), plain.end());
    TOggVorbis t = readBytes(tagged);
    EXPECT_EQ(t.ID3v2Size, 30);
    EXPECT_EQ(t.Title, "behind a tag");
}

TEST(OggVorbisRead, NotVorbisAndDamagedStreams) {
    Bytes good = oggFile(commentPacket({"TITLE=x"}));
    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
        bool result;
    } cases[] = {
        {"not Ogg", [](Bytes& b) { b[0] = 'X'; }, false},
        {"not Vorbis", [](Bytes& b) { b[28 + 1] = 'V'; }, false},
        {"lacing past the end", [](Bytes& b) { b.resize(40); }, false},
        {"no comment header", [](Bytes& b) { b[58 + 27 + 3] = 4; }, true},
        {"vendor length past the packet", [](Bytes& b) { b[58 + 27 + 3 + 7 + 3] = 0x7F; }, true},
        {"comment count far too high", [](Bytes& b) { b[58 + 27 + 3 + 7 + 4 + 11 + 3] = 0x7F; }, true},
    };
    for (const auto& c : cases) {
        Bytes b = good;
        c.damage(b);
        TMemoryStream s(b);
        TOggVorbis o;
        EXPECT_EQ(o.ReadInfo(s), c.result) << c.what;
    }
    // every truncation: no crash
    for (size_t n = 0; n < good.size(); n += 7) {
        TMemoryStream s(Bytes(good.begin(), good.begin() + n));
        TOggVorbis o;
        o.ReadInfo(s);
    }
}

// ---- writing -----------------------------------------------------------------------------------------

TEST(OggVorbisWrite, SecondPageRebuiltOtherPagesIdentical) {
    TempDir dir;
    fs::path f = dir / "w.ogg";
    Bytes before =
        oggFile(commentPacket({"TITLE=old", "PERFORMER=p", "REPLAYGAIN_TRACK_GAIN=-3 dB", "DESCRIPTION=d",
                               "METADATA_BLOCK_PICTURE=" + std::string(600, 'P')}));
    writeFile(f, before);
    TOggVorbis o;
    ASSERT_TRUE(o.ReadInfo(f));
    EXPECT_EQ(o.Artist, "p");
    o.Title = "new \xf0\x9f\x8e\xb5";
    o.Track = 300;
    o.Genre = "bad \xff utf-8";
    ASSERT_TRUE(o.WriteComments(f));
    Bytes after = readFile(f);
    expectAllChecksums(after);
    auto pb = pages(before), pa = pages(after);
    ASSERT_EQ(pa.size(), pb.size());
    EXPECT_EQ(pa[0].data, pb[0].data);
    for (size_t i = 2; i < pa.size(); ++i)
        EXPECT_EQ(Bytes(after.begin() + pa[i].position,
                        after.begin() + pa[i].position + 27 + pa[i].lacing.size() + pa[i].data.size()),
                  Bytes(before.begin() + pb[i].position,
                        before.begin() + pb[i].position + 27 + pb[i].lacing.size() + pb[i].data.size()));
    EXPECT_EQ(packets(pa)[2], packets(pb)[2]) << "setup header";

    TOggVorbis back = readBytes(after);
    EXPECT_EQ(back.Title, "new \xf0\x9f\x8e\xb5");
    EXPECT_EQ(back.Artist, "p") << "still the performer, which stays as it was";
    EXPECT_EQ(back.Track, 300);
    EXPECT_EQ(back.Genre, "bad \xef\xbf\xbd utf-8");
    EXPECT_EQ(back.Comment, "d");
    EXPECT_EQ(back.Vendor, "Test vendor");
    EXPECT_EQ(back.OtherComments,
              (std::vector<std::string>{"PERFORMER=p", "REPLAYGAIN_TRACK_GAIN=-3 dB", "DESCRIPTION=d",
                                        "METADATA_BLOCK_PICTURE=" + std::string(600, 'P')}));
    Bytes comment = packets(pa)[1];
    std::string text(comment.begin(), comment.end());
    EXPECT_EQ(text.find("ARTIST"), std::string::npos) << "the artist was not edited";
    EXPECT_EQ(comment.back(), 1) << "framing byte kept";
}

// The comment list after a write: a field that still shows what the file holds leaves its comments
// exactly as they were; an edited one takes the place of its key's first comment.
TEST(OggVorbisWrite, OnlyEditedFieldsChangeTheirComments) {
    const std::vector<std::string> file = {"title=One",         "ARTIST= Spaced ",   "X=1",
                                           "TITLE=Two",         "TRACKNUMBER=3/12",  "PERFORMER=Orchestra",
                                           "DESCRIPTION=About", "COPYRIGHT=(c) old", "GENRE=Rock\xff",
                                           "novalue",           "Artist=Second"};
    struct Case {
        const char* what;
        std::function<void(TOggVorbis&)> edit;
        std::vector<std::string> comments;
    } cases[] = {
        {"nothing edited", [](TOggVorbis&) {}, file},
        {"a title replaces both titles in the place of the first",
         [](TOggVorbis& o) { o.Title = "New"; },
         {"TITLE=New", "ARTIST= Spaced ", "X=1", "TRACKNUMBER=3/12", "PERFORMER=Orchestra",
          "DESCRIPTION=About", "COPYRIGHT=(c) old", "GENRE=Rock\xff", "novalue", "Artist=Second"}},
        {"a track keeps its total",
         [](TOggVorbis& o) { o.Track = 7; },
         {"title=One", "ARTIST= Spaced ", "X=1", "TITLE=Two", "TRACKNUMBER=7/12", "PERFORMER=Orchestra",
          "DESCRIPTION=About", "COPYRIGHT=(c) old", "GENRE=Rock\xff", "novalue", "Artist=Second"}},
        {"no track, no title: their comments go",
         [](TOggVorbis& o) {
             o.Track = 0;
             o.Title = " ";
         },
         {"ARTIST= Spaced ", "X=1", "PERFORMER=Orchestra", "DESCRIPTION=About", "COPYRIGHT=(c) old",
          "GENRE=Rock\xff", "novalue", "Artist=Second"}},
        {"copyright and a new album; the performer and description stay",
         [](TOggVorbis& o) {
             o.Copyright = "(c) new";
             o.Album = "Album";
             o.Artist = "Solo";
             o.Comment = "";
         },
         {"title=One", "ARTIST=Solo", "X=1", "TITLE=Two", "TRACKNUMBER=3/12", "PERFORMER=Orchestra",
          "DESCRIPTION=About", "COPYRIGHT=(c) new", "GENRE=Rock\xff", "novalue", "ALBUM=Album"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        fs::path f = dir / "e.ogg";
        writeFile(f, oggFile(commentPacket(file)));
        TOggVorbis o;
        ASSERT_TRUE(o.ReadInfo(f));
        EXPECT_EQ(o.Title, "One; Two");
        EXPECT_EQ(o.Artist, "Spaced; Second");
        EXPECT_EQ(o.Genre, "Rock");
        c.edit(o);
        ASSERT_TRUE(o.WriteComments(f));
        EXPECT_EQ(packets(pages(readFile(f)))[1], commentPacket(c.comments));
    }
}

TEST(OggVorbisWrite, PacketOfExactly510BytesEndsWithZero) {
    TempDir dir;
    fs::path f = dir / "l.ogg";
    writeFile(f, oggFile(commentPacket({})));
    TOggVorbis o;
    // 7 marker + 4 + 11 vendor + 4 count + 4 length + "TITLE=" + value + 1 framing = 510
    o.Title = std::string(510 - 7 - 4 - 11 - 4 - 4 - 6 - 1, 't');
    ASSERT_TRUE(o.WriteComments(f));
    auto pa = pages(readFile(f));
    ASSERT_GE(pa[1].lacing.size(), 3u);
    EXPECT_EQ(Bytes(pa[1].lacing.begin(), pa[1].lacing.begin() + 3), (Bytes{255, 255, 0}));
    EXPECT_EQ(packets(pa)[1].size(), 510u);
}

TEST(OggVorbisWrite, LargeHeaderIsRepaginatedAndLaterPagesRenumbered) {
    TempDir dir;
    fs::path f = dir / "big.ogg";
    Bytes before = oggFile(commentPacket({"TITLE=small"}), 5);
    writeFile(f, before);
    TOggVorbis o;
    ASSERT_TRUE(o.ReadInfo(f));
    o.Comment = std::string(200'000, 'z'); // far beyond one page of 255 segments
    ASSERT_TRUE(o.WriteComments(f));
    Bytes after = readFile(f);
    expectAllChecksums(after);
    auto pb = pages(before), pa = pages(after);
    ASSERT_GT(pa.size(), pb.size() + 2);
    auto kb = packets(pb), ka = packets(pa);
    ASSERT_EQ(ka.size(), kb.size());
    for (size_t i = 2; i < ka.size(); ++i)
        EXPECT_EQ(ka[i], kb[i]) << "packet " << i;
    // the audio pages keep their granule positions and flags
    for (size_t i = 0; i < 5; ++i) {
        const Page& a = pa[pa.size() - 5 + i];
        const Page& b = pb[pb.size() - 5 + i];
        EXPECT_EQ(a.granule, b.granule);
        EXPECT_EQ(a.flags, b.flags);
        EXPECT_EQ(a.data, b.data);
    }
    // header pages: continued flags where a packet runs on, no granule where none ends
    for (size_t i = 1; i + 5 < pa.size(); ++i) {
        EXPECT_EQ((pa[i].flags & 1) != 0, pa[i - 1].lacing.back() == 255) << i;
        bool ends = std::any_of(pa[i].lacing.begin(), pa[i].lacing.end(), [](uint8_t v) { return v < 255; });
        EXPECT_EQ(pa[i].granule, ends ? 0 : -1) << i;
    }
    TOggVorbis back = readBytes(after);
    EXPECT_EQ(back.Comment, std::string(200'000, 'z'));
    EXPECT_EQ(back.Samples, 88200);

    // and back to a small header: fewer pages, numbered down again
    back.Comment = "short";
    ASSERT_TRUE(back.WriteComments(f));
    Bytes small = readFile(f);
    expectAllChecksums(small);
    EXPECT_EQ(pages(small).size(), pb.size());
    EXPECT_EQ(readBytes(small).Comment, "short");
}

TEST(OggVorbisWrite, RefusesWhatItCannotRewrite) {
    TempDir dir;
    fs::path f = dir / "n.ogg";
    Bytes noComment = oggFile(commentPacket({}));
    noComment[58 + 27 + 3] = 4; // the second page's packet is no comment header
    writeFile(f, noComment);
    TOggVorbis o;
    o.Title = "x";
    EXPECT_FALSE(o.WriteComments(f));
    EXPECT_EQ(readFile(f), noComment);
    EXPECT_THROW(o.WriteComments(dir / "missing.ogg"), TFileError);
    EXPECT_THROW(o.ReadInfo(dir / "missing.ogg"), TFileError);
    EXPECT_FALSE(fs::exists(dir / "n.ogg~"));
}

// ---- real files ----------------------------------------------------------------------------------------

TEST(OggVorbisFiles, ReadsWhatFfprobeReads) {
    TempDir dir;
    fs::path f = dir / "tone.ogg";
    ASSERT_TRUE(testutil::makeTone(f, {"-c:a", "libvorbis", "-b:a", "96k"}, 3.0, 440, 44100, 2,
                                   {"-metadata", "title=Tïtle ✓", "-metadata", "artist=Ärtist", "-metadata",
                                    "album=Al", "-metadata", "TRACKNUMBER=7", "-metadata", "genre=Pop",
                                    "-metadata", "date=1999", "-metadata", "comment=Côment"}));
    auto p = probe(f);
    ASSERT_TRUE(p.ok);
    TOggVorbis o;
    ASSERT_TRUE(o.ReadInfo(f));
    EXPECT_EQ(o.Title, p.tag("title"));
    EXPECT_EQ(o.Artist, p.tag("artist"));
    EXPECT_EQ(o.Album, p.tag("album"));
    EXPECT_EQ(std::to_string(o.Track), p.tag("track"));
    EXPECT_EQ(o.Genre, p.tag("genre"));
    EXPECT_EQ(o.Date, p.tag("date"));
    EXPECT_EQ(o.Comment, p.tag("comment"));
    EXPECT_EQ(o.ChannelMode, p.channels);
    EXPECT_EQ(static_cast<int>(o.SampleRate), p.sampleRate);
    EXPECT_NEAR(o.Duration(), p.duration, p.duration * 0.02);
    EXPECT_TRUE(o.Valid());
}

TEST(OggVorbisFiles, WritesKeepAudioAndTagInFront) {
    TempDir dir;
    fs::path plain = dir / "tone.ogg";
    ASSERT_TRUE(testutil::makeTone(plain, {"-c:a", "libvorbis", "-q:a", "3"}, 4.0, 660, 44100, 1,
                                   {"-metadata", "REPLAYGAIN_TRACK_GAIN=-2.5 dB"}));
    // the same stream behind an ID3v2 tag
    fs::path tagged = dir / "tagged.ogg";
    Bytes id3 = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 30};
    id3.resize(40, 0);
    Bytes b = id3;
    Bytes body = readFile(plain);
    b.insert(b.end(), body.begin(), body.end());
    writeFile(tagged, b);
    const std::string hash = pcmHash(plain);

    struct Step {
        const char* what;
        std::function<void(TOggVorbis&)> edit;
    } steps[] = {{"ordinary values",
                  [](TOggVorbis& o) {
                      o.Title = "Зима";
                      o.Artist = "日本";
                      o.Track = 5;
                  }},
                 {"a large picture comment's worth of text",
                  [](TOggVorbis& o) { o.Comment = std::string(150'000, 'w'); }},
                 {"back to small", [](TOggVorbis& o) {
                      o.Comment = "done";
                      o.Title = "";
                  }}};
    for (const fs::path& f : {plain, tagged}) {
        for (const auto& step : steps) {
            SCOPED_TRACE(f.filename().string() + ": " + step.what);
            TOggVorbis o;
            ASSERT_TRUE(o.ReadInfo(f));
            step.edit(o);
            ASSERT_TRUE(o.WriteComments(f));
            Bytes after = readFile(f);
            size_t start = f == tagged ? id3.size() : 0;
            EXPECT_EQ(Bytes(after.begin(), after.begin() + start), Bytes(id3.begin(), id3.begin() + start));
            expectAllChecksums(after, start);
            if (f == plain) expectOgginfoClean(f);
            EXPECT_EQ(pcmHash(f), hash);
            TOggVorbis back;
            ASSERT_TRUE(back.ReadInfo(f));
            EXPECT_EQ(back.Title, o.Title);
            EXPECT_EQ(back.Comment, o.Comment);
            EXPECT_EQ(back.OtherComments.size(), 2u) << "encoder and replay gain kept";
            auto p = probe(f);
            EXPECT_EQ(p.tag("title"), o.Title);
            EXPECT_EQ(p.tag("comment"), o.Comment);
            EXPECT_EQ(p.tag("artist"), o.Artist);
            EXPECT_EQ(p.tag("replaygain_track_gain"), "-2.5 dB");
        }
    }
}
