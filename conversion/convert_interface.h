// The conversion component: converts one file at a time on its own worker thread and reports
// progress and failure as events on the main thread.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>

namespace quillotone {

// LAME settings of the component's MP3 output. Booleans are 16-bit: -1 true, 0 false.
class IAudioConvertLameMp3Encoder {
public:
    virtual ~IAudioConvertLameMp3Encoder() = default;

    virtual int32_t Mp3SampleRate() const = 0;
    virtual void SetMp3SampleRate(int32_t hz) = 0;
    virtual int32_t Mp3ChannelMode() const = 0; // 1 mono, 2 joint stereo
    virtual void SetMp3ChannelMode(int32_t mode) = 0;
    virtual int32_t Mp3Bitrate() const = 0; // kbit/s
    virtual void SetMp3Bitrate(int32_t kbps) = 0;
    virtual int16_t Mp3EncoderQuality() const = 0; // 0 best .. 9 fastest
    virtual void SetMp3EncoderQuality(int16_t q) = 0;
    virtual int32_t HighpassFrequency() const = 0; // Hz, 0 off
    virtual void SetHighpassFrequency(int32_t hz) = 0;
    virtual int32_t HighpassWidth() const = 0;
    virtual void SetHighpassWidth(int32_t hz) = 0;
    virtual int32_t LowpassFrequency() const = 0;
    virtual void SetLowpassFrequency(int32_t hz) = 0;
    virtual int32_t LowpassWidth() const = 0;
    virtual void SetLowpassWidth(int32_t hz) = 0;
    virtual int32_t VbrMethod() const = 0; // -1 CBR, 0 default, 1 old, 2 new, 3 MTRH, 4 ABR
    virtual void SetVbrMethod(int32_t method) = 0;
    virtual int32_t VbrBitrate() const = 0; // maximum bitrate of VBR, kbit/s
    virtual void SetVbrBitrate(int32_t kbps) = 0;
    virtual int16_t VbrQuality() const = 0; // 0 best .. 9
    virtual void SetVbrQuality(int16_t q) = 0;
    virtual int16_t AbrBitrate() const = 0; // kbit/s
    virtual void SetAbrBitrate(int16_t kbps) = 0;
    virtual int16_t WriteVbrHeader() const = 0;
    virtual void SetWriteVbrHeader(int16_t on) = 0;
    virtual int16_t StrictMinBitrate() const = 0;
    virtual void SetStrictMinBitrate(int16_t on) = 0;

    virtual void ApplyPreset(int32_t index) = 0;    // 1..11
    virtual void ApplyAltPreset(int32_t index) = 0; // 1..5
};

// Every operation throws ComponentError on failure. Conversion failures are not thrown: they
// arrive as OnError with one of the negative codes below.
class IAudioConvert : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~IAudioConvert() override = default;

    virtual void SetMp3Format(int32_t sampleRate, int32_t bitrate, int32_t channelMode) = 0;
    virtual void SetOggFormat(int32_t sampleRate, int32_t channels, int32_t bitrate, int32_t minBitrate,
                              int32_t maxBitrate, int16_t quality) = 0;
    virtual void SetWavFormat(int32_t sampleRate, int32_t channels, int32_t bitsPerSample) = 0;
    virtual void SetWmaProfile(int32_t profile) = 0; // 1..WmaProfileCount
    virtual int32_t WmaProfile() const = 0;

    virtual QString Mp3FormatDescription() const = 0;
    virtual QString OggFormatDescription() const = 0;
    virtual QString WavFormatDescription() const = 0;
    virtual QString WmaProfileDescription() const = 0;

    // Each starts a conversion and returns at once; the end is told by the events.
    virtual void ConvertToMp3(const QString& source, const QString& destination) = 0;
    virtual void ConvertToOgg(const QString& source, const QString& destination) = 0;
    virtual void ConvertToWav(const QString& source, const QString& destination) = 0;
    virtual void ConvertToWma(const QString& source, const QString& destination) = 0;
    // Ends the conversion under way; no event of it arrives after this returns.
    virtual void StopConversion() = 0;

    virtual IAudioConvertLameMp3Encoder& Mp3Encoder() = 0;
    virtual void SetCreationSetting(int32_t value) = 0;
    // Why the last conversion failed, in words, as its OnError handler sees it: the code says
    // little ("Stream error") where the file's own failure says what happened. Empty when unknown.
    virtual QString LastErrorText() const { return QString(); }

signals:
    void OnConvertBlock(int percent);
    void OnError(int errorCode);
};

// Error codes of a failed conversion, as OnError delivers them. The codes from -14 to -19 and from
// -21 to -23 name devices and drivers of the platform the codes come from; no engine here sends them,
// but the run still has a text for each.
namespace ConvertError {
constexpr int Busy = -10;              // a conversion was started while one runs
constexpr int Memory = -11;            // out of memory
constexpr int WrongFormat = -12;       // the source cannot be opened or decoded
constexpr int UnsupportedFormat = -13; // the source holds no audio the component handles
constexpr int OutputDevice = -14;
constexpr int InputDevice = -15;
constexpr int MixerDriver = -16;
constexpr int AcmDriver = -17;
constexpr int FileInUse = -18;
constexpr int InvalidOperation = -19;
constexpr int InvalidParameters =
    -20; // the destination cannot be created (missing folder, no permission, empty)
constexpr int CdDriver = -21;
constexpr int ControlNotInstalled = -22;
constexpr int IndexOutOfRange = -23;
constexpr int Stream = -24;     // writing the output failed (full disk, I/O error)
constexpr int Unexpected = -40; // anything else
} // namespace ConvertError

constexpr int WmaProfileCount = 47;

} // namespace quillotone
