// The four encoders of the conversion component. Each writes one output file.
#pragma once

#include "conversion/audio_decoder.h"
#include "conversion/output_format.h"

#include <memory>

namespace quillotone {

class OutputFile;

class AudioEncoder {
public:
    virtual ~AudioEncoder() = default;
    // The samples Encode expects.
    virtual PcmLayout Input() const = 0;
    virtual void Encode(const uint8_t* const* planes, int samples) = 0;
    // Flushes the encoder and completes the file's headers; the caller then commits the file.
    virtual void Finish() = 0;
};

// All throw ConvertFailure InvalidParameters for settings the encoder refuses.
std::unique_ptr<AudioEncoder> MakeMp3Encoder(const LameSettings& settings, OutputFile& out);
std::unique_ptr<AudioEncoder> MakeOggEncoder(const OggParams& params, OutputFile& out);
std::unique_ptr<AudioEncoder> MakeWavEncoder(const WavParams& params, OutputFile& out);
std::unique_ptr<AudioEncoder> MakeWmaEncoder(const WmaProfileInfo& profile, OutputFile& out);

} // namespace quillotone
