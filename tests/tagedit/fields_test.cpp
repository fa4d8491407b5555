// Kinds from file names, and track numbers from the list's text.
#include "tagedit/format_tags.h"

#include <gtest/gtest.h>

namespace {

using tagedit::AudioKind;

TEST(KindFromExtension, LastDotWithoutRegardToCase) {
    const struct {
        const char* path;
        std::optional<AudioKind> kind;
    } cases[] = {
        {"song.mp3", AudioKind::Mp3},
        {"/music/Song.MP3", AudioKind::Mp3},
        {"a.b.Ogg", AudioKind::Ogg},
        {"x.wav", AudioKind::Wav},
        {"x.WmA", AudioKind::Wma},
        {".mp3", AudioKind::Mp3},
        {"dir.mp3/song", std::nullopt},
        {"song.mp3.txt", std::nullopt},
        {"song.mp", std::nullopt},
        {"song.mp3 ", std::nullopt},
        {"song", std::nullopt},
        {"song.", std::nullopt},
        {"", std::nullopt},
        {"Ünïcode 日本.ogg", AudioKind::Ogg},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tagedit::KindFromExtension(c.path), c.kind) << c.path;
}

TEST(TrackNumber, FromTextClampedToByteRange) {
    const struct {
        const char* text;
        int track;
    } cases[] = {
        {"12", 12},
        {"0", 0},
        {"254", 254},
        {"255", 254},
        {"300", 254},
        {"99999999999999999999", 254},
        {"-99999999999999999999", 0},
        {"0000000000000000000000012", 12},
        {"-4", 0},
        {"7/12", 0},
        {"", 0},
        {" 7", 0},
        {"7 ", 0},
        {"x7", 0},
        {"007", 7},
        {"+5", 5},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tagedit::TrackFromText(c.text), c.track) << '"' << c.text << '"';
    EXPECT_EQ(tagedit::TrackToText(0), "0");
    EXPECT_EQ(tagedit::TrackToText(7), "7");
    EXPECT_EQ(tagedit::TrackToText(1000), "254");
}

// A tag's track text may carry a total: the number is the part before it, and an edit keeps it.
TEST(TrackNumber, InATagWithItsTotal) {
    const struct {
        const char* text;
        int track;
    } reads[] = {{"2/5", 2}, {"7", 7}, {" 3 /12", 3}, {"300/400", 254}, {"/5", 0}, {"x/5", 0}, {"", 0}};
    for (const auto& c : reads)
        EXPECT_EQ(tagedit::TrackFromTagText(c.text), c.track) << '"' << c.text << '"';
    const struct {
        int track;
        const char* current;
        const char* text;
    } writes[] = {{7, "2/5", "7/5"}, {7, "2", "7"},  {7, "", "7"},
                  {7, "2/", "7"},    {0, "2/5", ""}, {300, "", "254"}};
    for (const auto& c : writes)
        EXPECT_EQ(tagedit::TrackTagText(c.track, c.current), c.text) << c.track << " over " << c.current;
}

TEST(FieldNames, CaptionsWithoutSpacesInListColumnOrder) {
    for (size_t i = 0; i < tagedit::FieldNames.size(); ++i)
        EXPECT_EQ(tagedit::FieldFromName(tagedit::FieldNames[i]), static_cast<tagedit::Field>(i));
    EXPECT_EQ(tagedit::FieldFromName("trackNUMBER"), tagedit::Field::Track);
    EXPECT_EQ(tagedit::FieldFromName("Track Number"), std::nullopt);
    EXPECT_EQ(tagedit::FieldFromName("Vendor"), std::nullopt);
    tagedit::TagFields f;
    tagedit::SetFieldText(f, tagedit::Field::Track, "300");
    tagedit::SetFieldText(f, tagedit::Field::EncodedBy, "me");
    EXPECT_EQ(f.Track, 254);
    EXPECT_EQ(f.EncodedBy, "me");
}

TEST(FieldsFromColumns, ListColumnOrder) {
    const auto f = tagedit::FieldsFromColumns(
        {"artist", "title", "7/12", "album", "1999", "genre", "a\r\nb", "(c)", "url", "encoder"});
    EXPECT_EQ(f, (tagedit::TagFields{"artist", "title", 0, "album", "1999", "genre", "a\r\nb", "(c)", "url",
                                     "encoder"}));
    EXPECT_EQ(tagedit::FieldsFromColumns({"", "", "300"}).Track, 254);
}

TEST(FieldsFromColumns, ColumnsFromFieldsIsTheOtherWay) {
    const std::array<tagedit::TagText, tagedit::kFieldCount> columns{
        "artist", "title", "12", "album", "1999", "genre", "a\r\nb", "(c)", "url", "encoder"};
    EXPECT_EQ(tagedit::ColumnsFromFields(tagedit::FieldsFromColumns(columns)), columns);
    EXPECT_EQ(tagedit::ColumnsFromFields({})[2], "0");
}

} // namespace
