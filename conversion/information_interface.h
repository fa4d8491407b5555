// The audio information component: a file's kind, stream properties and tag texts.
#pragma once

#include <QString>
#include <cstdint>

namespace quillotone {

// Text crosses this interface as QString (UTF-16); inside the component it is UTF-8.
class IAudioInformation2 {
public:
    virtual ~IAudioInformation2() = default;

    // Kinds are decided by content, never by the file name.
    virtual bool IsMp3File(const QString& path) = 0;
    virtual bool IsWavFile(const QString& path) = 0;
    virtual bool IsOggFile(const QString& path) = 0;
    virtual bool IsWmaFile(const QString& path) = 0;

    // Makes the file current for the getters. A missing or damaged file leaves empty or zero values.
    virtual void OpenFile(const QString& path) = 0;

    virtual int32_t SampleRate() const = 0; // Hz
    virtual int32_t Bitrate() const = 0;    // bit/s
    virtual int32_t DurationMs() const = 0;
    // The whole duration; DurationMs gives 0 for one that 32 bits cannot hold.
    virtual int64_t DurationMs64() const { return DurationMs(); }
    virtual int64_t FileSize() const = 0;
    virtual int32_t ChannelMode() const = 0; // 1 mono, 2 stereo, 3 dual channel
    virtual QString FormatDescription() const = 0;

    virtual QString Artist() const = 0;
    virtual QString Title() const = 0;
    virtual QString Album() const = 0;
    virtual QString Genre() const = 0;
    virtual QString Comment() const = 0;
    virtual QString Copyright() const = 0;
    virtual QString Url() const = 0;
    virtual QString EncodedBy() const = 0;
    virtual int16_t TrackNumber() const = 0;
    virtual int32_t Year() const = 0; // 0 when none
};

} // namespace quillotone
