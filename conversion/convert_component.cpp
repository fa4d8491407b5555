#include "conversion/convert_component.h"

#include "conversion/audio_decoder.h"
#include "conversion/component_error.h"
#include "conversion/convert_failure.h"
#include "conversion/encoders.h"
#include "conversion/ffmpeg_setup.h"
#include "conversion/output_file.h"
#include "conversion/output_format.h"
#include "conversion/source_file.h"
#include "conversion/wma_profiles.h"

#include <QMetaObject>

#include <algorithm>

namespace quillotone {

class ConversionJob {
public:
    std::atomic<bool> stop{false};
    std::atomic<bool> finished{false};
};

namespace {

std::unique_ptr<AudioEncoder> makeEncoder(const OutputFormat& f, OutputFile& out) {
    switch (f.kind) {
    case OutFormat::Mp3:
        return MakeMp3Encoder(f.mp3, out);
    case OutFormat::Ogg:
        return MakeOggEncoder(f.ogg, out);
    case OutFormat::Wav:
        return MakeWavEncoder(f.wav, out);
    case OutFormat::Wma:
        return MakeWmaEncoder(f.wma, out);
    }
    throw ConvertFailure(ConvertError::Unexpected, "Unknown output format");
}

// One whole conversion, on the worker thread. `post` queues an event for the main thread. The last
// event goes out after everything is released, so a conversion started from its handler finds the
// worker done but for returning.
template <typename Post>
void convert(const OutputFormat& format, const std::optional<std::string>& source,
             const std::optional<std::string>& destination, ConversionJob& job, Post post) {
    int lastPercent = -1;
    auto report = [&](int percent) {
        if (percent > lastPercent) {
            lastPercent = percent;
            post(false, percent, std::string());
        }
    };
    int error = 0;
    std::string message;
    try {
        report(0);
        // A name without an exact byte form would open or create another file than the one named.
        if (!source) throw ConvertFailure(ConvertError::WrongFormat, "The source's name is not valid text");
        if (!destination)
            throw ConvertFailure(ConvertError::InvalidParameters, "The destination's name is not valid text");
        AudioDecoder decoder(*source);
        OutputFile out(*destination);
        std::unique_ptr<AudioEncoder> encoder = makeEncoder(format, out);
        bool complete = decoder.Run(
            encoder->Input(),
            [&](const uint8_t* const* planes, int samples) { encoder->Encode(planes, samples); },
            [&](double done) {
                if (job.stop.load(std::memory_order_relaxed)) return false;
                report(std::min(99, static_cast<int>(done * 99)));
                return true;
            });
        if (!complete) return; // stopped: the partial output goes with `out`
        encoder->Finish();
        encoder.reset();
        out.Commit();
    } catch (const ConvertFailure& e) {
        error = e.code();
        message = e.what();
    } catch (const std::bad_alloc&) {
        error = ConvertError::Memory;
        message = "Out of memory";
    } catch (const std::exception& e) {
        error = ConvertError::Unexpected;
        message = e.what();
    } catch (...) {
        error = ConvertError::Unexpected;
    }
    if (error)
        post(true, error, message);
    else
        post(false, 100, message);
}

QString channelsText(int channels) {
    return channels == 1 ? "mono" : "stereo";
}

} // namespace

TAudioConvert::TAudioConvert(QObject* parent) : IAudioConvert(parent) {
    QuietFfmpegLog();
}

TAudioConvert::~TAudioConvert() {
    StopConversion();
}

void TAudioConvert::SetMp3Format(int32_t sampleRate, int32_t bitrate, int32_t channelMode) {
    mp3Encoder_.SetMp3SampleRate(sampleRate);
    mp3Encoder_.SetMp3Bitrate(bitrate);
    mp3Encoder_.SetMp3ChannelMode(channelMode);
}

void TAudioConvert::SetOggFormat(int32_t sampleRate, int32_t channels, int32_t bitrate, int32_t minBitrate,
                                 int32_t maxBitrate, int16_t quality) {
    oggRate_ = sampleRate;
    oggChannels_ = channels;
    oggBitrate_ = bitrate;
    oggMin_ = minBitrate;
    oggMax_ = maxBitrate;
    oggQuality_ = quality;
}

void TAudioConvert::SetWavFormat(int32_t sampleRate, int32_t channels, int32_t bitsPerSample) {
    wavRate_ = sampleRate;
    wavChannels_ = channels;
    wavBits_ = bitsPerSample;
}

void TAudioConvert::SetWmaProfile(int32_t profile) {
    if (!FindWmaProfile(profile)) throw ComponentError("No WMA profile number " + std::to_string(profile));
    wmaProfile_ = profile;
}

QString TAudioConvert::Mp3FormatDescription() const {
    const LameSettings& s = mp3Encoder_.Settings();
    QString version = s.sampleRate >= 32000 ? "1" : s.sampleRate >= 16000 ? "2" : "2.5";
    QString rate;
    switch (s.vbrMethod) {
    case -1:
        rate = QString("%1 kbit/s CBR").arg(s.bitrate);
        break;
    case 4:
        rate = QString("ABR %1 kbit/s").arg(s.abrBitrate);
        break;
    default:
        rate = QString("VBR quality %1, up to %2 kbit/s").arg(s.vbrQuality).arg(s.vbrBitrate);
        break;
    }
    return QString("MPEG %1 Layer 3, %2, %3 Hz, %4")
        .arg(version, rate)
        .arg(s.sampleRate)
        .arg(s.channelMode == 1 ? "mono" : "joint stereo");
}

QString TAudioConvert::OggFormatDescription() const {
    QString rate;
    if (oggMin_ > 0 || oggMax_ > 0)
        rate =
            QString("%1-%2 kbit/s managed").arg(std::min(oggMin_, oggMax_)).arg(std::max(oggMin_, oggMax_));
    else if (oggQuality_ >= 0)
        rate = QString("quality %1").arg(oggQuality_ / 100.0, 0, 'f', 1);
    else
        rate = QString("%1 kbit/s nominal").arg(oggBitrate_);
    return QString("Ogg Vorbis, %1, %2 Hz, %3").arg(rate).arg(oggRate_).arg(channelsText(oggChannels_));
}

QString TAudioConvert::WavFormatDescription() const {
    return QString("PCM WAV, %1 bit, %2 Hz, %3").arg(wavBits_).arg(wavRate_).arg(channelsText(wavChannels_));
}

QString TAudioConvert::WmaProfileDescription() const {
    const WmaProfileInfo* p = FindWmaProfile(wmaProfile_);
    return p ? QString::fromStdString(DescribeWmaProfile(*p)) : QString();
}

void TAudioConvert::ConvertToMp3(const QString& source, const QString& destination) {
    OutputFormat f;
    f.kind = OutFormat::Mp3;
    f.mp3 = mp3Encoder_.Settings();
    start(f, source, destination);
}

void TAudioConvert::ConvertToOgg(const QString& source, const QString& destination) {
    OutputFormat f;
    f.kind = OutFormat::Ogg;
    f.ogg = {oggRate_, oggChannels_, oggBitrate_, oggMin_, oggMax_, oggQuality_};
    start(f, source, destination);
}

void TAudioConvert::ConvertToWav(const QString& source, const QString& destination) {
    OutputFormat f;
    f.kind = OutFormat::Wav;
    f.wav = {wavRate_, wavChannels_, wavBits_};
    start(f, source, destination);
}

void TAudioConvert::ConvertToWma(const QString& source, const QString& destination) {
    OutputFormat f;
    f.kind = OutFormat::Wma;
    f.wma = *FindWmaProfile(wmaProfile_);
    start(f, source, destination);
}

bool TAudioConvert::IsConverting() const {
    // Once the last event is delivered the conversion is over for the caller, even if the worker
    // has yet to return: its handler may start the next one.
    return job_ && !lastDelivered_ && !job_->finished.load();
}

void TAudioConvert::start(const OutputFormat& format, const QString& source, const QString& destination) {
    if (IsConverting()) {
        // the running conversion goes on; the caller hears that it started one too many
        uint64_t id = currentId_.load();
        QMetaObject::invokeMethod(
            this,
            [this, id] {
                if (id != currentId_.load()) return;
                lastErrorText_ = QStringLiteral("A conversion is under way");
                emit OnError(ConvertError::Busy);
            },
            Qt::QueuedConnection);
        return;
    }
    finishWorker();
    auto job = std::make_shared<ConversionJob>();
    uint64_t id = ++nextId_;
    currentId_.store(id);
    job_ = job;
    lastDelivered_ = false;
    try {
        worker_ =
            std::thread([this, job, id, format, src = NativePath(source), dst = NativePath(destination)] {
                convert(format, src, dst, *job, [this, id](bool isError, int value, const std::string& text) {
                    post(id, isError, value, text);
                });
                job->finished.store(true);
            });
    } catch (const std::system_error& e) {
        job_.reset();
        currentId_.store(0);
        throw ComponentError(std::string("Cannot start the conversion thread: ") + e.what());
    }
}

void TAudioConvert::post(uint64_t id, bool isError, int value, const std::string& text) {
    // The events wait in our own queue under our own lock, and the call by name carries nothing. Qt's
    // own hand-over is invisible to ThreadSanitizer; counting the wake-up once it is posted gives
    // deliverEvents a visible edge to wait for, as the scanner's worker does.
    bool wake;
    {
        std::lock_guard<std::mutex> lock(eventsMutex_);
        wake = events_.empty();
        events_.push_back({id, isError, value, text});
        if (wake) ++wakesQueued_;
    }
    if (!wake) return;
    {
        // Qt's post queue locks where ThreadSanitizer cannot see it: with several components at
        // once, their workers post one at a time under a lock it sees.
        static std::mutex postMutex;
        std::lock_guard<std::mutex> lock(postMutex);
        QMetaObject::invokeMethod(this, "deliverEvents", Qt::QueuedConnection);
    }
    {
        std::lock_guard<std::mutex> lock(eventsMutex_);
        ++wakesPosted_;
    }
    eventsPosted_.notify_all();
}

void TAudioConvert::deliverEvents() {
    for (;;) {
        Event e;
        {
            std::unique_lock<std::mutex> lock(eventsMutex_);
            // the worker is between its post and its count: a matter of microseconds
            eventsPosted_.wait(lock, [this] { return wakesPosted_ >= wakesQueued_; });
            if (events_.empty()) return;
            e = std::move(events_.front());
            events_.pop_front();
        }
        if (e.id != currentId_.load()) continue; // a stopped or superseded conversion
        if (e.isError || e.value >= 100) lastDelivered_ = true;
        if (e.isError) {
            lastErrorText_ = QString::fromStdString(e.text);
            emit OnError(e.value);
        } else {
            emit OnConvertBlock(e.value);
        }
    }
}

void TAudioConvert::StopConversion() {
    currentId_.store(0); // events still queued are dropped from here on
    if (job_) job_->stop.store(true);
    finishWorker();
}

void TAudioConvert::finishWorker() {
    if (worker_.joinable()) worker_.join();
    job_.reset();
}

} // namespace quillotone
