#include "conversion/information_component.h"

#include "conversion/ffmpeg_setup.h"
#include "tags/io/files.h"
#include "tags/io/stream.h"
#include "tags/io/text.h"
#include "tags/mpeg/mpeg_audio.h"

#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

namespace quillotone {

namespace {

enum class Kind { None, Mp3, Wav, Ogg, Wma };

std::vector<uint8_t> readRange(const std::string& path, int64_t offset, size_t count) {
    std::vector<uint8_t> bytes;
    std::ifstream in(path, std::ios::binary);
    if (!in) return bytes;
    in.seekg(offset);
    bytes.resize(count);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

// Size of an ID3v2 tag at the start, so that probing looks at the audio behind a large cover.
int64_t leadingTagSize(const std::string& path) {
    try {
        tags::TWideFileStream stream(path, tags::ModeReadShared);
        return tags::LeadingTagSize(stream);
    } catch (const tags::TFileError&) {
        return 0;
    }
}

// Decides the kind by content alone: the file name never takes part. The three container
// signatures are checked first; only the rest goes through libavformat's probes, whose cost
// grows with every demuxer it knows.
Kind probeKind(const std::string& path) {
    constexpr size_t kProbeBytes = 8 * 1024; // seven frames at 320 kbit/s
    std::vector<uint8_t> data = readRange(path, leadingTagSize(path), kProbeBytes);
    if (data.size() < 4) return Kind::None;
    const size_t size = data.size();
    if (size >= 12 && std::memcmp(data.data(), "RIFF", 4) == 0 && std::memcmp(&data[8], "WAVE", 4) == 0)
        return Kind::Wav;
    if (std::memcmp(data.data(), "OggS", 4) == 0) {
        // Ogg holds many codecs; ours is Vorbis: the first packet is its identification header.
        if (size > 27) {
            size_t packet = 27 + size_t(data[26]);
            if (packet + 7 <= size && std::memcmp(&data[packet], "\x01vorbis", 7) == 0) return Kind::Ogg;
        }
        return Kind::None;
    }
    static constexpr uint8_t kAsfHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                               0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    if (size >= 16 && std::memcmp(data.data(), kAsfHeader, 16) == 0) {
        // WMA is ASF with a Windows Media Audio stream
        AVFormatContext* ctx = nullptr;
        Kind kind = Kind::None;
        if (avformat_open_input(&ctx, path.c_str(), av_find_input_format("asf"), nullptr) == 0) {
            for (unsigned i = 0; i < ctx->nb_streams; ++i) {
                AVCodecID id = ctx->streams[i]->codecpar->codec_id;
                if (id == AV_CODEC_ID_WMAV1 || id == AV_CODEC_ID_WMAV2 || id == AV_CODEC_ID_WMAPRO ||
                    id == AV_CODEC_ID_WMALOSSLESS || id == AV_CODEC_ID_WMAVOICE)
                    kind = Kind::Wma;
            }
            avformat_close_input(&ctx);
        }
        return kind;
    }
    data.resize(size + AVPROBE_PADDING_SIZE, 0);
    AVProbeData pd{};
    pd.filename = "";
    pd.buf = data.data();
    pd.buf_size = static_cast<int>(size);
    int score = 0;
    const AVInputFormat* fmt = av_probe_input_format2(&pd, 1, &score);
    if (fmt && score >= AVPROBE_SCORE_RETRY && std::strcmp(fmt->name, "mp3") == 0) return Kind::Mp3;
    return Kind::None;
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

bool TAudioInformation2::IsMp3File(const QString& path) {
    return probeKind(path.toStdString()) == Kind::Mp3;
}
bool TAudioInformation2::IsWavFile(const QString& path) {
    return probeKind(path.toStdString()) == Kind::Wav;
}
bool TAudioInformation2::IsOggFile(const QString& path) {
    return probeKind(path.toStdString()) == Kind::Ogg;
}
bool TAudioInformation2::IsWmaFile(const QString& path) {
    return probeKind(path.toStdString()) == Kind::Wma;
}

void TAudioInformation2::OpenFile(const QString& qpath) {
    current_ = Info{};
    std::string path = qpath.toStdString();
    QFileInfo fi(qpath);
    if (!fi.isFile()) return;
    current_.fileSize = fi.size();

    AVFormatContext* ctx = nullptr;
    if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) < 0) return;
    struct Closer {
        AVFormatContext*& c;
        ~Closer() { avformat_close_input(&c); }
    } closer{ctx};
    if (avformat_find_stream_info(ctx, nullptr) < 0) return;
    int index = av_find_best_stream(ctx, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0) return;
    const AVStream* stream = ctx->streams[index];
    const AVCodecParameters* par = stream->codecpar;

    current_.sampleRate = par->sample_rate;
    int channels = par->ch_layout.nb_channels;
    current_.channelMode = channels == 1 ? 1 : channels >= 2 ? 2 : 0;
    int64_t bitrate = par->bit_rate > 0 ? par->bit_rate : ctx->bit_rate;
    if (ctx->duration > 0)
        current_.durationMs = static_cast<int32_t>(ctx->duration / 1000);
    else if (stream->duration > 0)
        current_.durationMs =
            static_cast<int32_t>(stream->duration * 1000 * stream->time_base.num / stream->time_base.den);

    std::string format = ctx->iformat->name;
    QString description;
    tags::TMPEGaudio mpeg; // our reader of the frame header, the VBR header and the three tags
    if (format == "mp3") {
        bool valid = mpeg.ReadInfo(std::filesystem::path(path)) && mpeg.Valid();
        const tags::TFrameData& frame = mpeg.Frame;
        if (valid) {
            // libavformat counts an APEv2 tag as audio; the frame count or the bytes between the tags do not
            current_.durationMs = static_cast<int32_t>(mpeg.Duration() * 1000);
            if (frame.Mode == 2) current_.channelMode = 3;
            if (mpeg.BitRate() > 0) bitrate = int64_t(mpeg.BitRate()) * 1000;
        }
        const char* version = !valid || frame.Version == 3 ? "1" : frame.Version == 2 ? "2" : "2.5";
        description = QString("MPEG %1 Layer %2: %3%4 kbit/s, %5 Hz, %6")
                          .arg(version)
                          .arg(valid ? 4 - frame.Layer : 3)
                          .arg(valid && mpeg.VBR.Found ? "VBR " : "")
                          .arg(bitrate / 1000)
                          .arg(current_.sampleRate)
                          .arg(valid && frame.Mode == 1 ? "joint stereo" : channelWord(current_.channelMode));
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
    current_.bitrate = static_cast<int32_t>(bitrate);
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
