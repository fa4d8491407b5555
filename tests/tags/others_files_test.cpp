// Tags that other programs wrote, with far more than our fields: pictures, TXXX, POPM, USLT, private
// data, several comments, several values, 2.2, 2.3 and 2.4 tags, compressed frames; APEv2 items of
// every kind. After a save of one field through our classes, mutagen sees every other frame or item
// exactly as before, and the audio bytes have not moved.
#include "common/test_files.h"
#include "tags/apev2/apetag.h"
#include "tags/id3v1/id3v1.h"
#include "tags/id3v2/id3v2.h"
#include "tags/io/files.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>

using namespace tags;
using testutil::readFile;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

// Gives a tag-less MP3 (argv[1]) the tag a script writes. The scripts build with mutagen, or with
// bytes where mutagen writes no such tag (2.2, compressed frames).
const char* const kMakers = R"(
import sys, struct, zlib, mutagen.id3 as m, mutagen.apev2 as a
path, kind = sys.argv[1], sys.argv[2]
def syncsafe(n): return bytes([(n >> 21) & 127, (n >> 14) & 127, (n >> 7) & 127, n & 127])
def rich():
    t = m.ID3()
    t.add(m.TIT2(encoding=3, text=['Title \u00fc']))
    t.add(m.TPE1(encoding=3, text=['\u0410\u043d\u043d\u0430', 'Bob']))
    t.add(m.TALB(encoding=1, text=['Album']))
    t.add(m.TRCK(encoding=0, text=['3/12']))
    t.add(m.TDRC(encoding=0, text=['2004-05-06T10:20']))
    t.add(m.TCON(encoding=3, text=['8', 'Relaxation..? :)']))
    t.add(m.COMM(encoding=3, lang='eng', desc='', text=['english']))
    t.add(m.COMM(encoding=3, lang='deu', desc='', text=['deutsch']))
    t.add(m.COMM(encoding=3, lang='eng', desc='iTunNORM', text=[' 0000']))
    t.add(m.APIC(encoding=3, mime='image/png', type=3, desc='cover', data=b'\x89PNG' + bytes(range(256)) * 40))
    t.add(m.APIC(encoding=0, mime='image/jpeg', type=4, desc='back', data=b'\xff\xd8' + bytes(300)))
    t.add(m.TXXX(encoding=3, desc='key', text=['v1', 'v2']))
    t.add(m.POPM(email='a@b', rating=200, count=5))
    t.add(m.USLT(encoding=3, lang='eng', desc='', text='la la\nla'))
    t.add(m.TIT1(encoding=3, text=['group']))
    t.add(m.TOPE(encoding=3, text=['original artist']))
    t.add(m.TOAL(encoding=3, text=['original album']))
    t.add(m.TSIZ(encoding=0, text=['1234']))
    t.add(m.TCOM(encoding=3, text=['Bach']))
    t.add(m.WXXX(encoding=0, desc='', url='http://example.invalid/'))
    t.add(m.WXXX(encoding=3, desc='shop', url='http://shop.invalid/'))
    t.add(m.PRIV(owner='owner', data=b'\x00\x01\xff'))
    t.add(m.GEOB(encoding=3, mime='application/x-x', filename='f.bin', desc='obj', data=bytes(range(50))))
    t.add(m.TENC(encoding=3, text=['encoder']))
    t.add(m.TCOP(encoding=3, text=['(c) someone']))
    return t
audio = open(path, 'rb').read()
if kind in ('2.3', '2.4'):
    rich().save(path, v2_version=int(kind[2]))
elif kind == '2.2':
    def f(i, c): return i.encode() + struct.pack('>I', len(c))[1:] + c
    body = (f('TT2', b'\x00Song') + f('TP1', b'\x01\xff\xfeA\x00n\x00') + f('TRK', b'\x003/12')
            + f('COM', b'\x00eng\x00hello') + f('COM', b'\x00deu\x00hallo') + f('COM', b'\x00engdesc\x00x')
            + f('PIC', b'\x00PNG\x03desc\x00' + bytes(range(200))) + f('TYE', b'\x002004') + f('TDA', b'\x000605')
            + f('TCO', b'\x00(8)') + f('ULT', b'\x00eng\x00lyrics') + f('TXX', b'\x00k\x00v')
            + f('POP', b'a@b\x00\xc8\x00\x00\x00\x05') + f('TT1', b'\x00group') + f('TOA', b'\x00orig')
            + f('WXX', b'\x00\x00http://a.invalid/'))
    open(path, 'wb').write(b'ID3\x02\x00\x00' + syncsafe(len(body) + 100) + body + bytes(100) + audio)
elif kind == 'compressed':
    def f(i, c, flags=0): return i.encode() + syncsafe(len(c)) + bytes([0, flags]) + c
    txxx = b'\x03note\x00' + b'compressed text ' * 20
    pic = b'\x00image/png\x00\x03\x00' + bytes(range(256)) * 4
    body = (f('TIT2', b'\x03Song') + f('TRCK', b'\x003/12')
            + f('TXXX', syncsafe(len(txxx)) + zlib.compress(txxx), 0x09)
            + f('APIC', syncsafe(len(pic)) + zlib.compress(pic), 0x09)
            + f('TPE1', b'\x03A\x00B'))
    open(path, 'wb').write(b'ID3\x04\x00\x00' + syncsafe(len(body) + 50) + body + bytes(50) + audio)
elif kind == 'apev2':
    t = a.APEv2()
    t['Title'] = 'Title \u00fc'
    t['Artist'] = ['Anna', 'Bob']
    t['Track'] = '3/12'
    t['Cover Art (Front)'] = a.APEValue(b'cover.png\x00\x89PNG' + bytes(range(256)) * 20, a.BINARY)
    t['Source'] = a.APEValue('http://example.invalid/', a.EXTERNAL)
    t['Comment'] = 'a comment'
    t['Unknown Key'] = 'kept'
    t.save(path)
    rich().save(path, v2_version=4, v1=2)
)";

// mutagen's view of the file, one line per frame (or item): key, tab, every attribute but the text
// encoding. A recording time shows without ":00" seconds, which a 2.3 tag has no place for.
const char* const kId3View = R"(
import sys, re, mutagen.id3 as m
t = m.ID3(sys.argv[1])
for k, f in sorted(t.items()):
    d = {n: v for n, v in vars(f).items() if n != 'encoding'}
    if 'text' in d and isinstance(d['text'], list):
        d['text'] = [re.sub(r'(\d\d:\d\d):00$', r'\1', str(x)) for x in d['text']]
    print(k + '\t' + repr(sorted(d.items())))
)";

const char* const kApeView = R"(
import sys, mutagen.apev2 as a
t = a.APEv2(sys.argv[1])
for k in sorted(t.keys()):
    v = t[k]
    shown = v.value.hex() if isinstance(v, a.APEBinaryValue) else repr(list(v)) if isinstance(v, a.APETextValue) else repr(v.value)
    print(k + '\t' + type(v).__name__ + ' ' + shown)
)";

std::map<std::string, std::string> View(const char* script, const fs::path& p) {
    const auto r = testutil::run({"/usr/bin/python3", "-c", script, p.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::map<std::string, std::string> view;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        const size_t tab = line.find('\t');
        view[line.substr(0, tab)] = tab == std::string::npos ? "" : line.substr(tab + 1);
    }
    return view;
}

// The keys whose lines differ, or that one side lacks.
std::vector<std::string> Changed(const std::map<std::string, std::string>& a,
                                 const std::map<std::string, std::string>& b) {
    std::vector<std::string> keys;
    for (const auto& [k, v] : a)
        if (!b.count(k) || b.at(k) != v) keys.push_back(k);
    for (const auto& [k, v] : b)
        if (!a.count(k)) keys.push_back(k);
    return keys;
}

// The bytes between the leading ID3v2 tag and the first trailer tag.
Bytes Audio(const fs::path& p) {
    const Bytes all = readFile(p);
    TMemoryStream s(all);
    const int64_t start = LeadingTagSize(s);
    TAPETag ape;
    ape.ReadFrom(s);
    TID3v1 v1;
    v1.ReadFrom(s, false);
    const int64_t end = static_cast<int64_t>(all.size()) - v1.TrailerSize() - ape.TotalSize();
    return Bytes(all.begin() + start, all.begin() + end);
}

class OthersFiles : public testing::Test {
protected:
    static void SetUpTestSuite() {
        plain_ = std::make_unique<testutil::TempDir>();
        ASSERT_TRUE(testutil::makeTone(*plain_ / "plain.mp3", {"-c:a", "libmp3lame", "-b:a", "64k"}, 0.5, 440,
                                       44100, 1,
                                       {"-id3v2_version", "0", "-write_xing", "0", "-map_metadata", "-1"}));
        // ffmpeg's own tags, with a cover picture as a second stream.
        const fs::path cover = *plain_ / "cover.png";
        ASSERT_EQ(testutil::run({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                                 "color=c=red:s=32x32", "-frames:v", "1", cover.string()})
                      .exitCode,
                  0);
        for (const char* version : {"3", "4"}) {
            const fs::path out = *plain_ / (std::string("ffmpeg") + version + ".mp3");
            const auto r = testutil::run({"ffmpeg",
                                          "-nostdin",
                                          "-loglevel",
                                          "error",
                                          "-i",
                                          (*plain_ / "plain.mp3").string(),
                                          "-i",
                                          cover.string(),
                                          "-map",
                                          "0",
                                          "-map",
                                          "1",
                                          "-c",
                                          "copy",
                                          "-id3v2_version",
                                          version,
                                          "-metadata",
                                          "title=Title",
                                          "-metadata",
                                          "artist=Artist",
                                          "-metadata",
                                          "track=3/12",
                                          "-metadata",
                                          "date=2004",
                                          "-metadata",
                                          "comment=ffmpeg",
                                          "-metadata",
                                          "genre=Jazz",
                                          "-metadata:s:v",
                                          "title=Album cover",
                                          "-metadata:s:v",
                                          "comment=Cover (front)",
                                          out.string()});
            ASSERT_EQ(r.exitCode, 0) << r.err;
        }
    }
    static void TearDownTestSuite() { plain_.reset(); }

    // A file with the tag the maker writes, or one of ffmpeg's.
    fs::path Make(const std::string& kind, const std::string& name = "file") {
        const fs::path p = dir_ / (kind + " " + name + ".mp3");
        if (kind.rfind("ffmpeg", 0) == 0) {
            fs::copy_file(*plain_ / (kind + ".mp3"), p);
            return p;
        }
        fs::copy_file(*plain_ / "plain.mp3", p);
        const auto r = testutil::run({"/usr/bin/python3", "-c", kMakers, p.string(), kind});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return p;
    }

    testutil::TempDir dir_;
    static std::unique_ptr<testutil::TempDir> plain_;
};

std::unique_ptr<testutil::TempDir> OthersFiles::plain_;

} // namespace

TEST_F(OthersFiles, Id3v2SaveOfOneFieldKeepsEveryOtherFrame) {
    struct Edit {
        const char* name;
        std::function<void(TID3v2&)> set;
        std::string key;      // mutagen's key of the frame that changes
        std::string expected; // found in its new line
    };
    const std::vector<Edit> edits = {
        {"title", [](TID3v2& t) { t.SetTitle("New title"); }, "TIT2", "New title"},
        {"track", [](TID3v2& t) { t.SetTrack(7); }, "TRCK", "'7/12'"},
        {"year", [](TID3v2& t) { t.SetYear("1999"); }, "TDRC", "'1999"},
    };
    for (const char* kind : {"2.4", "2.3", "2.2", "compressed", "ffmpeg3", "ffmpeg4", "apev2"}) {
        for (const Edit& e : edits) {
            const std::string what = std::string(kind) + ", " + e.name;
            const fs::path p = Make(kind, e.name);
            const auto before = View(kId3View, p);
            const auto apeBefore = std::string(kind) == "apev2" ? View(kApeView, p) : decltype(before){};
            const Bytes audio = Audio(p);
            ASSERT_GT(before.size(), 3u) << what;
            TID3v2 tag;
            ASSERT_TRUE(tag.ReadTags(p)) << what;
            e.set(tag);
            ASSERT_TRUE(tag.WriteTags(p)) << what;
            const auto after = View(kId3View, p);
            EXPECT_EQ(Changed(before, after), std::vector<std::string>{e.key}) << what;
            EXPECT_NE(after.count(e.key) ? after.at(e.key).find(e.expected) : std::string::npos,
                      std::string::npos)
                << what << ": " << (after.count(e.key) ? after.at(e.key) : "no frame");
            EXPECT_EQ(Audio(p), audio) << what;
            if (!apeBefore.empty()) {
                EXPECT_EQ(View(kApeView, p), apeBefore) << what;
            }
        }
    }
}

TEST_F(OthersFiles, ApeSaveOfOneItemKeepsEveryOtherItemAndTheOtherTags) {
    const fs::path p = Make("apev2");
    const auto before = View(kApeView, p);
    const auto id3Before = View(kId3View, p);
    const Bytes audio = Audio(p);
    ASSERT_EQ(before.size(), 7u);
    TAPETag ape;
    ASSERT_TRUE(ape.ReadTags(p));
    EXPECT_EQ(ape.ItemValue("Artist"), "Anna; Bob");
    ape.SetItem("Title", "New title");
    ape.SetItem("Artist", ape.ItemValue("Artist")); // as shown: stays two values
    ASSERT_TRUE(ape.WriteTags(p));
    const auto after = View(kApeView, p);
    EXPECT_EQ(Changed(before, after), std::vector<std::string>{"Title"});
    EXPECT_EQ(after.at("Title"), "APETextValue ['New title']");
    EXPECT_EQ(View(kId3View, p), id3Before);
    EXPECT_EQ(Audio(p), audio);

    // An ID3v1 save keeps both other tags as they are.
    TID3v1 v1;
    ASSERT_TRUE(v1.ReadTags(p));
    v1.SetTitle("v1 title");
    ASSERT_TRUE(v1.WriteTags(p));
    EXPECT_EQ(View(kApeView, p), after);
    EXPECT_EQ(View(kId3View, p), id3Before);
    EXPECT_EQ(Audio(p), audio);
}
