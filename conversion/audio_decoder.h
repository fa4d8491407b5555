// Reads any audio file that libavformat/libavcodec can decode and hands its samples on in the
// rate, channel count and sample format that an encoder asks for.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace quillotone {

struct PcmLayout {
    int rate = 44100;
    int channels = 2;
    AVSampleFormat format = AV_SAMPLE_FMT_S16; // interleaved S16/U8, or planar float
};

class SourceFile;

class AudioDecoder {
public:
    // Throws ConvertFailure: WrongFormat when the file cannot be opened or read as media (a FIFO, a
    // device or a folder is never opened), UnsupportedFormat when it holds no audio that can be decoded.
    explicit AudioDecoder(const std::string& path);
    explicit AudioDecoder(std::unique_ptr<SourceFile> source);
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    int sourceRate() const;
    int sourceChannels() const;

    // planes: one pointer for interleaved formats, one per channel for planar ones.
    using Sink = std::function<void(const uint8_t* const* planes, int samples)>;
    // Progress 0..1 by the share of the file read; returning false stops decoding.
    using Progress = std::function<bool(double)>;

    // Decodes the whole stream. Returns false when progress asked to stop. Throws ConvertFailure
    // WrongFormat when not a single sample could be decoded, Stream when the source fails to read or
    // is cut while it is read (damaged data that decodes short is no failure: what decodes is kept).
    bool Run(const PcmLayout& out, const Sink& sink, const Progress& progress);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace quillotone
