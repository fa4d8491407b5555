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
