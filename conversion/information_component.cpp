#include "conversion/information_component.h"

#include "conversion/audio_checks.h"
#include "conversion/ffmpeg_input.h"
#include "conversion/ffmpeg_setup.h"
#include "conversion/source_file.h"
#include "tags/io/stream.h"
#include "tags/io/text.h"
#include "tags/mpeg/mpeg_audio.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/mathematics.h>
}

namespace quillotone {

namespace {

using Kind = TAudioInformation2::Kind;

// Decides the kind by content alone: the file name never takes part. The three container
// signatures are checked first; only the rest goes through libavformat's probes, whose cost
// grows with every demuxer it knows. Only a regular file is read (a FIFO would block).
Kind probeKind(const QString& qpath) {
    std::optional<std::string> path = NativePath(qpath);
    if (!path) return Kind::None;
    try {
        SourceFile file(*path);
        SourceStream stream(file);
        std::vector<uint8_t> data = ProbeWindow(stream);
        if (data.size() < 4) return Kind::None;
        switch (ContainerBySignature(data.data(), data.size())) {
        case ContainerKind::Wav:
            return Kind::Wav;
        case ContainerKind::OggVorbis:
            return Kind::Ogg;
        case ContainerKind::OggOther:
            return Kind::None;
        case ContainerKind::Asf: {
            // WMA is ASF with a Windows Media Audio stream
            FormatInput input(file, av_find_input_format("asf"));
            if (!input.IsOpen()) return Kind::None;
            for (unsigned i = 0; i < input.Context()->nb_streams; ++i) {
                AVCodecID id = input.Context()->streams[i]->codecpar->codec_id;
                if (id == AV_CODEC_ID_WMAV1 || id == AV_CODEC_ID_WMAV2 || id == AV_CODEC_ID_WMAPRO ||
                    id == AV_CODEC_ID_WMALOSSLESS || id == AV_CODEC_ID_WMAVOICE)
                    return Kind::Wma;
            }
            return Kind::None;
        }
        case ContainerKind::Unknown:
            break;
        }
        const size_t size = data.size();
        data.resize(size + AVPROBE_PADDING_SIZE, 0);
        AVProbeData pd{};
        pd.filename = "";
        pd.buf = data.data();
        pd.buf_size = static_cast<int>(size);
        int score = 0;
        const AVInputFormat* fmt = av_probe_input_format2(&pd, 1, &score);
        if (fmt && score >= AVPROBE_SCORE_RETRY && std::strcmp(fmt->name, "mp3") == 0) return Kind::Mp3;
        return Kind::None;
    } catch (const SourceFile::OpenError&) {
        return Kind::None;
    } catch (const tags::TFileError&) {
        return Kind::None;
    }
}

// The demuxer that the kind test found for a file of that kind.
const AVInputFormat* demuxerOf(Kind kind) {
    switch (kind) {
    case Kind::Mp3:
        return av_find_input_format("mp3");
    case Kind::Wav:
        return av_find_input_format("wav");
    case Kind::Ogg:
        return av_find_input_format("ogg");
    case Kind::Wma:
        return av_find_input_format("asf");
    case Kind::None:
        break;
    }
    return nullptr;
}

// libavformat hands ID3v1 bytes on undecoded: those are Latin-1.
std::string asUtf8(const char* value) {
    std::string s = value ? value : "";
    return tags::IsValidUtf8(s) ? s : tags::Latin1ToUtf8(s);
}

// The first of `keys` that the file's metadata holds (container first, then the audio stream).
std::string lookup(const AVFormatContext* ctx, const AVStream* stream,
                   std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        for (const AVDictionary* dict :
             {static_cast<const AVDictionary*>(ctx->metadata),
              stream ? static_cast<const AVDictionary*>(stream->metadata) : nullptr}) {
            if (!dict) continue;
            if (const AVDictionaryEntry* e = av_dict_get(dict, key, nullptr, 0); e && e->value && *e->value)
                return asUtf8(e->value);
        }
    }
    return {};
}

int leadingNumber(const std::string& s, size_t maxDigits) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    int value = 0;
    size_t digits = 0;
    while (i < s.size() && digits < maxDigits && s[i] >= '0' && s[i] <= '9') {
        value = value * 10 + (s[i] - '0');
        ++i;
        ++digits;
    }
    return digits ? value : 0;
}

// The year: the first four digits of a date such as "2004-05-01".
int yearOf(const std::string& date) {
    for (size_t i = 0; i + 4 <= date.size(); ++i) {
        bool four = true;
        for (size_t k = 0; k < 4; ++k)
            four = four && date[i + k] >= '0' && date[i + k] <= '9';
        if (four) return leadingNumber(date.substr(i, 4), 4);
    }
    return 0;
}

QString channelWord(int mode) {
    switch (mode) {
    case 1:
        return "mono";
    case 3:
        return "dual channel";
    default:
        return "stereo";
    }
}

} // namespace

TAudioInformation2::TAudioInformation2() {
    QuietFfmpegLog();
}

bool TAudioInformation2::Stamp::Of(const std::string& path, Stamp& stamp) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    stamp = Stamp{path, st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    return true;
}

Kind TAudioInformation2::kindOf(const QString& path) {
    const Kind kind = probeKind(path);
    // Remembered for an OpenFile of the same, unchanged file, which then need not probe again.
    probed_ = {};
    std::optional<std::string> native = NativePath(path);
    if (kind != Kind::None && native && Stamp::Of(*native, probed_.stamp)) probed_.kind = kind;
    return kind;
}

bool TAudioInformation2::IsMp3File(const QString& path) {
    return kindOf(path) == Kind::Mp3;
}
bool TAudioInformation2::IsWavFile(const QString& path) {
    return kindOf(path) == Kind::Wav;
}
bool TAudioInformation2::IsOggFile(const QString& path) {
    return kindOf(path) == Kind::Ogg;
}
bool TAudioInformation2::IsWmaFile(const QString& path) {
    return kindOf(path) == Kind::Wma;
}

void TAudioInformation2::OpenFile(const QString& qpath) {
    current_ = Info{};
    std::optional<std::string> path = NativePath(qpath);
    if (!path) return;
    std::unique_ptr<SourceFile> file;
    try {
        file = std::make_unique<SourceFile>(*path);
    } catch (const SourceFile::OpenError&) {
        return; // missing, or not a regular file: nothing to tell
    }
    current_.fileSize = file->Size();

    // The kind test just read this very file: its demuxer is known, and probing every demuxer
    // again would cost as much as the rest of the reading.
    const AVInputFormat* known = nullptr;
    Stamp stamp;
    if (probed_.kind != Kind::None && Stamp::Of(*path, stamp) && stamp == probed_.stamp)
        known = demuxerOf(probed_.kind);
    probed_ = {};
    std::optional<FormatInput> input;
    if (known) input.emplace(*file, known);
    if (!input || !input->IsOpen()) {
        input.reset();
        input.emplace(*file);
    }
    if (!input->IsOpen()) return;
    AVFormatContext* ctx = input->Context();
    std::string format = ctx->iformat->name;

    // MP3: our reader of the frame header, the VBR header and the three tags. When it finds the
    // audio, it knows all that libavformat's stream analysis would give (which decodes frames, and a
    // cover picture too): the analysis is left out.
    tags::TMPEGaudio mpeg;
    Mp3Facts facts;
    uint32_t ownSampleRate = 0;
    if (format == "mp3") {
        SourceStream bytes(*file);
        if (mpeg.ReadInfo(bytes)) facts = Mp3FactsOf(mpeg);
        if (facts.valid) ownSampleRate = tags::TableSampleRate(mpeg.Frame);
    }
    const bool ownFacts = facts.valid && facts.bitrate > 0 && ownSampleRate > 0;
    if (!ownFacts && avformat_find_stream_info(ctx, nullptr) < 0) return;
    // Without the analysis the audio stream has no rate yet, which the best-stream search requires.
    int index = -1;
    if (ownFacts) {
        for (unsigned i = 0; i < ctx->nb_streams && index < 0; ++i)
            if (ctx->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) index = int(i);
    } else {
        index = av_find_best_stream(ctx, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    }
    if (index < 0) return;
    const AVStream* stream = ctx->streams[index];
    const AVCodecParameters* par = stream->codecpar;

    current_.sampleRate = par->sample_rate;
    int channels = par->ch_layout.nb_channels;
    if (ownFacts) {
        if (current_.sampleRate <= 0) current_.sampleRate = int32_t(ownSampleRate);
        if (channels <= 0) channels = mpeg.Frame.Mode == 3 ? 1 : 2;
    }
    current_.channelMode = channels == 1 ? 1 : channels >= 2 ? 2 : 0;
    int64_t bitrate = par->bit_rate > 0 ? par->bit_rate : ctx->bit_rate;
    // Whole, in 64 bits: a damaged header can claim more than 32 bits of milliseconds hold.
    if (ctx->duration > 0)
        current_.durationMs = ctx->duration / 1000;
    else if (stream->duration > 0 && stream->time_base.num > 0 && stream->time_base.den > 0)
        current_.durationMs =
            std::max<int64_t>(0, av_rescale_q(stream->duration, stream->time_base, {1, 1000}));

    QString description;
    if (format == "mp3") {
        if (facts.valid) {
            current_.durationMs = facts.durationMs;
            if (facts.dualChannel) current_.channelMode = 3;
            if (facts.bitrate > 0) bitrate = facts.bitrate;
        }
        description = QString("MPEG %1 Layer %2: %3%4 kbit/s, %5 Hz, %6")
                          .arg(facts.version)
                          .arg(facts.layer)
                          .arg(facts.vbr ? "VBR " : "")
                          .arg(bitrate / 1000)
                          .arg(current_.sampleRate)
                          .arg(facts.jointStereo ? "joint stereo" : channelWord(current_.channelMode));
    } else if (format == "ogg") {
        description = QString("Ogg Vorbis: %1 kbit/s, %2 Hz, %3")
                          .arg(bitrate / 1000)
                          .arg(current_.sampleRate)
                          .arg(channelWord(current_.channelMode));
    } else if (format == "wav") {
        int bits = par->bits_per_coded_sample;
        bool isFloat = par->codec_id == AV_CODEC_ID_PCM_F32LE || par->codec_id == AV_CODEC_ID_PCM_F64LE;
        description = QString("PCM WAV: %1 bit%2, %3 Hz, %4")
                          .arg(bits)
                          .arg(isFloat ? " float" : "")
                          .arg(current_.sampleRate)
                          .arg(channelWord(current_.channelMode));
    } else if (format == "asf") {
        QString version = par->codec_id == AV_CODEC_ID_WMAV1   ? "v1"
                          : par->codec_id == AV_CODEC_ID_WMAV2 ? "v2"
                                                               : "";
        description =
            QString("Windows Media Audio %1: %2 kbit/s, %3 Hz, %4")
                .arg(version.isEmpty() ? QString::fromUtf8(avcodec_get_name(par->codec_id)) : version)
                .arg(bitrate / 1000)
                .arg(current_.sampleRate)
                .arg(channelWord(current_.channelMode));
    } else {
        description =
            QString("%1: %2 Hz").arg(QString::fromUtf8(ctx->iformat->long_name)).arg(current_.sampleRate);
    }
    current_.bitrate = bitrate > 0 && bitrate <= INT32_MAX ? static_cast<int32_t>(bitrate) : 0;
    current_.description = description.toStdString();

    current_.artist = lookup(ctx, stream, {"artist", "author", "performer"});
    current_.title = lookup(ctx, stream, {"title"});
    current_.album = lookup(ctx, stream, {"album"});
    current_.genre = lookup(ctx, stream, {"genre"});
    current_.comment = lookup(ctx, stream, {"comment", "description"});
    current_.copyright = lookup(ctx, stream, {"copyright"});
    current_.url = lookup(ctx, stream, {"url", "WM/URL", "WM/AuthorURL"});
    current_.encodedBy = lookup(ctx, stream, {"encoded_by", "encodedby", "encoded-by", "WM/EncodedBy"});
    current_.track = static_cast<int16_t>(leadingNumber(lookup(ctx, stream, {"track", "tracknumber"}), 4));
    current_.year = yearOf(lookup(ctx, stream, {"date", "year", "WM/Year", "TYER", "TDRC"}));
    if (format == "mp3") fillFromMp3Tags(mpeg);
}

// libavformat shows no ID3v1 record when the file holds any other tag, and no ID3v2 URL
// frames; our own tag readers fill what it left empty.
void TAudioInformation2::fillFromMp3Tags(const tags::TMPEGaudio& mpeg) {
    if (current_.url.empty() && mpeg.ID3v2.Exists()) current_.url = mpeg.ID3v2.Link();
    const tags::TID3v1& v1 = mpeg.ID3v1;
    if (!v1.Exists()) return;
    auto fill = [](std::string& field, const std::string& value) {
        if (field.empty()) field = value;
    };
    fill(current_.title, v1.Title());
    fill(current_.artist, v1.Artist());
    fill(current_.album, v1.Album());
    fill(current_.comment, v1.Comment());
    fill(current_.genre, v1.Genre());
    if (current_.year == 0) current_.year = yearOf(v1.Year());
    if (current_.track == 0) current_.track = v1.Track();
}

} // namespace quillotone
