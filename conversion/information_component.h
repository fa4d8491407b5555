// The real audio information component on libavformat.
#pragma once

#include "conversion/information_interface.h"

#include <climits>
#include <cstdint>
#include <string>

namespace tags {
class TMPEGaudio;
}

namespace quillotone {

class TAudioInformation2 final : public IAudioInformation2 {
public:
    TAudioInformation2();

    enum class Kind { None, Mp3, Wav, Ogg, Wma };

    bool IsMp3File(const QString& path) override;
    bool IsWavFile(const QString& path) override;
    bool IsOggFile(const QString& path) override;
    bool IsWmaFile(const QString& path) override;

    void OpenFile(const QString& path) override;

    int32_t SampleRate() const override { return current_.sampleRate; }
    int32_t Bitrate() const override { return current_.bitrate; }
    // A duration beyond 32 bits of milliseconds (about 596 hours) reads as 0 here: unknown, not wrapped.
    int32_t DurationMs() const override {
        return current_.durationMs <= INT32_MAX ? static_cast<int32_t>(current_.durationMs) : 0;
    }
    int64_t DurationMs64() const override { return current_.durationMs; }
    int64_t FileSize() const override { return current_.fileSize; }
    int32_t ChannelMode() const override { return current_.channelMode; }
    QString FormatDescription() const override { return text(current_.description); }

    QString Artist() const override { return text(current_.artist); }
    QString Title() const override { return text(current_.title); }
    QString Album() const override { return text(current_.album); }
    QString Genre() const override { return text(current_.genre); }
    QString Comment() const override { return text(current_.comment); }
    QString Copyright() const override { return text(current_.copyright); }
    QString Url() const override { return text(current_.url); }
    QString EncodedBy() const override { return text(current_.encodedBy); }
    int16_t TrackNumber() const override { return current_.track; }
    int32_t Year() const override { return current_.year; }

    // Everything OpenFile learns about a file, UTF-8 text.
    struct Info {
        int32_t sampleRate = 0, bitrate = 0, channelMode = 0;
        int64_t durationMs = 0; // never negative
        int64_t fileSize = 0;
        std::string description;
        std::string artist, title, album, genre, comment, copyright, url, encodedBy;
        int16_t track = 0;
        int32_t year = 0;
    };
    const Info& Current() const { return current_; }

private:
    // A file as it was when its kind was tested: the same path, file and contents as far as its
    // size and last change tell.
    struct Stamp {
        std::string path;
        uint64_t device = 0, inode = 0;
        int64_t size = 0, seconds = 0, nanoseconds = 0;
        bool operator==(const Stamp&) const = default;
        static bool Of(const std::string& path, Stamp& stamp);
    };
    Kind kindOf(const QString& path);
    struct {
        Stamp stamp;
        Kind kind = Kind::None;
    } probed_;

    static QString text(const std::string& utf8) { return QString::fromStdString(utf8); }
    void fillFromMp3Tags(const tags::TMPEGaudio& mpeg);
    Info current_;
};

} // namespace quillotone
