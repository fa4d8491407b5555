// The real conversion component on FFmpeg (decoding, resampling, WMA), LAME and libvorbis.
#pragma once

#include "conversion/convert_interface.h"
#include "conversion/lame_encoder_settings.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace quillotone {

struct OutputFormat;
class ConversionJob;

class TAudioConvert final : public IAudioConvert {
    Q_OBJECT
public:
    explicit TAudioConvert(QObject* parent = nullptr);
    ~TAudioConvert() override;

    void SetMp3Format(int32_t sampleRate, int32_t bitrate, int32_t channelMode) override;
    void SetOggFormat(int32_t sampleRate, int32_t channels, int32_t bitrate, int32_t minBitrate,
                      int32_t maxBitrate, int16_t quality) override;
    void SetWavFormat(int32_t sampleRate, int32_t channels, int32_t bitsPerSample) override;
    void SetWmaProfile(int32_t profile) override;
    int32_t WmaProfile() const override { return wmaProfile_; }

    QString Mp3FormatDescription() const override;
    QString OggFormatDescription() const override;
    QString WavFormatDescription() const override;
    QString WmaProfileDescription() const override;

    void ConvertToMp3(const QString& source, const QString& destination) override;
    void ConvertToOgg(const QString& source, const QString& destination) override;
    void ConvertToWav(const QString& source, const QString& destination) override;
    void ConvertToWma(const QString& source, const QString& destination) override;
    void StopConversion() override;

    IAudioConvertLameMp3Encoder& Mp3Encoder() override { return mp3Encoder_; }
    // Kept for callers of the original component, which set it to -1 after creation; it changes nothing.
    void SetCreationSetting(int32_t value) override { creationSetting_ = value; }
    int32_t CreationSetting() const { return creationSetting_; }

    bool IsConverting() const;
    QString LastErrorText() const override { return lastErrorText_; }

private:
    void start(const OutputFormat& format, const QString& source, const QString& destination);
    void finishWorker();
    // Called on the worker; queues the event to the main thread, tagged with the conversion's id.
    void post(uint64_t id, bool isError, int value, const std::string& text);
    // On the main thread: emits the queued events of the current conversion, in order.
    Q_INVOKABLE void deliverEvents();

    struct Event {
        uint64_t id = 0;
        bool isError = false;
        int value = 0;
        std::string text;
    };
    std::mutex eventsMutex_;
    std::condition_variable eventsPosted_;
    std::deque<Event> events_;
    uint64_t wakesQueued_ = 0, wakesPosted_ = 0;

    TLameMp3Encoder mp3Encoder_;
    int32_t mp3Rate_ = 44100, mp3Bitrate_ = 128, mp3Channels_ = 2;
    int32_t oggRate_ = 44100, oggChannels_ = 2, oggBitrate_ = 128, oggMin_ = 0, oggMax_ = 0;
    int16_t oggQuality_ = -1;
    int32_t wavRate_ = 44100, wavChannels_ = 2, wavBits_ = 16;
    int32_t wmaProfile_ = 1;
    int32_t creationSetting_ = 0;

    std::thread worker_;
    std::shared_ptr<ConversionJob> job_;
    // Events carry the id of their conversion; only those of the current one are delivered.
    std::atomic<uint64_t> currentId_{0};
    uint64_t nextId_ = 0;
    QString lastErrorText_;
    bool lastDelivered_ = false; // main thread: the current conversion's 100 or error has been emitted
};

} // namespace quillotone
