// The Summary page's texts and the file name rules of the tag editor.
#include "app/tag_editor_texts.h"

#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

using namespace quillotone;

TEST(TagEditorTexts, Summary) {
    EXPECT_EQ(SizeText(3932160), "3.75 MB");
    EXPECT_EQ(SizeText(0), "0.00 MB");
    EXPECT_EQ(SizeText(int64_t(5) << 30), "5120.00 MB"); // no group separator
    EXPECT_EQ(BitrateText(191999), "191 Kbps");
    EXPECT_EQ(BitrateText(128000), "128 Kbps");
    EXPECT_EQ(BitrateText(128999), "128 Kbps");
    EXPECT_EQ(SampleRateText(44100), "44100 Hz");
    EXPECT_EQ(FormatNameText("MPEG 1 Layer 3: 128 kbit/s, 44100 Hz, joint stereo"), "MPEG 1 Layer 3");
    EXPECT_EQ(FormatNameText("no colon"), "");
    const std::pair<int, const char*> channels[] = {{0, "Mono"},        {1, "Mono"}, {2, "Stereo"},
                                                    {3, "Dual Stereo"}, {4, ""},     {-1, ""}};
    for (const auto& [mode, text] : channels)
        EXPECT_EQ(ChannelsText(mode), text) << mode;
    EXPECT_EQ(KindText(tagedit::AudioKind::Wma), "Windows Media Audio file");
    EXPECT_EQ(KindText(std::nullopt), "");
}

TEST(TagEditorTexts, DurationsRoundHalvesToEvenSeconds) {
    const std::pair<int32_t, const char*> cases[] = {
        {400, ""},
        {0, ""},
        {-5000, ""},
        {2500, "00:02"},
        {3500, "00:04"},
        {59000, "00:59"},
        {59500, "01:00"},
        {61000, "01:01"},
        {3599000, "59:59"},
        {3600000, "01:00:00"},
        {3725000, "01:02:05"},
        {360000000, "100:00:00"},
    };
    for (const auto& [ms, text] : cases)
        EXPECT_EQ(DurationText(ms), text) << ms;
}

TEST(TagEditorTexts, FileTimesAreUtc) {
    const QDateTime local(QDate(2026, 3, 4), QTime(23, 30), QTimeZone(3600));
    EXPECT_EQ(FileTimeText(local), "2026-03-04 22:30");
    EXPECT_EQ(FileTimeText(QDateTime()), "");
}

TEST(TagEditorTexts, RenamedPathKeepsTheExtension) {
    const std::pair<const char*, const char*> cases[] = {
        {"song", "/m/song.mp3"},
        {"song.MP3", "/m/song.MP3"},
        {"song.ogg", "/m/song.ogg.mp3"},
        {"", "/m/.mp3"},
        {"p3", "/m/p3.mp3"},
        {"a.mp3", "/m/a.mp3"},
        {"ünï cödé", "/m/ünï cödé.mp3"},
    };
    for (const auto& [typed, path] : cases)
        EXPECT_EQ(RenamedPath("/m/a.mp3", QString::fromUtf8(typed)), QString::fromUtf8(path)) << typed;
    EXPECT_EQ(RenamedPath("/m.d/x.Ogg", "y"), "/m.d/y.Ogg");
}

TEST(TagEditorTexts, ForbiddenFilenameCharacters) {
    for (QChar c : QStringView(u"\\/:*?\"<>|"))
        EXPECT_TRUE(HasForbiddenFilenameChar(QString("a") + c + "b")) << int(c.unicode());
    for (const char* ok : {"", "song", "a.b c-d_e (1) [2] {3} 'x' #&%!"})
        EXPECT_FALSE(HasForbiddenFilenameChar(ok)) << ok;
    EXPECT_EQ(ForbiddenFilenameMessage.toStdString(),
              R"(A filename cannot contain any of the following characters: "\,/,:,*,?,",<,>,|")");
}

} // namespace
