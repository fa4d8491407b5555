#include "conversion/encoder_apply.h"

#include "conversion/encoder_lists.h"

namespace quillotone {

namespace {

// The 16-bit properties take the field's low 16 bits, as the component's interface has always had it.
int16_t low16(int32_t v) {
    return static_cast<int16_t>(v);
}

int16_t flag(bool on) {
    return on ? -1 : 0;
}

} // namespace

QString ApplyOutputFormat(IAudioConvert& convert, const EncoderSettings& s, OutFormat format) {
    switch (format) {
    case OutFormat::Mp3: {
        IAudioConvertLameMp3Encoder& e = convert.Mp3Encoder();
        const Mp3Settings& m = s.mp3;
        e.SetMp3SampleRate(m.Mp3SampleRate);
        e.SetMp3ChannelMode(m.Mp3ChannelMode);
        e.SetMp3Bitrate(m.Mp3Bitrate);
        e.SetMp3EncoderQuality(low16(m.Mp3EncoderQuality));
        e.SetHighpassFrequency(m.HighpassFrequency);
        e.SetHighpassWidth(m.HighpassWidth);
        e.SetLowpassFrequency(m.LowpassFrequency);
        e.SetLowpassWidth(m.LowpassWidth);
        e.SetVbrMethod(m.VbrMethod);
        e.SetVbrBitrate(m.VbrBitrate);
        e.SetWriteVbrHeader(flag(m.WriteVbrHeader));
        e.SetStrictMinBitrate(flag(m.StrictMinBitrate));
        e.SetVbrQuality(low16(m.VbrQuality));
        e.SetAbrBitrate(low16(m.AbrBitrate));
        // The format is set from what the encoder took, not from the record.
        const int32_t mode = e.Mp3ChannelMode();
        const int32_t bitrate = e.Mp3Bitrate();
        const int32_t rate = e.Mp3SampleRate();
        convert.SetMp3Format(rate, bitrate, mode);
        return convert.Mp3FormatDescription();
    }
    case OutFormat::Ogg:
        if (s.OggVbr)
            convert.SetOggFormat(s.ogg.OggSampleRate, s.ogg.OggChannels, s.ogg.OggBitrate, s.OggMinBitrate,
                                 s.OggMaxBitrate, -1);
        else
            convert.SetOggFormat(s.ogg.OggSampleRate, s.ogg.OggChannels, s.ogg.OggBitrate, 0, 0,
                                 low16(s.ogg.OggQuality));
        return convert.OggFormatDescription();
    case OutFormat::Wav:
        convert.SetWavFormat(s.WavSampleRate, s.WavChannels, s.WavBitsPerSample);
        return convert.WavFormatDescription();
    case OutFormat::Wma:
        convert.SetWmaProfile(s.WmaQuality);
        return convert.WmaProfileDescription();
    }
    return {};
}

void ReadBackEncoder(const IAudioConvertLameMp3Encoder& e, Mp3Settings& m, int32_t preset,
                     int32_t altPreset) {
    m.Mp3SampleRate = e.Mp3SampleRate();
    m.Mp3ChannelMode = e.Mp3ChannelMode();
    m.Mp3Bitrate = e.Mp3Bitrate();
    m.Mp3EncoderQuality = e.Mp3EncoderQuality();
    m.HighpassFrequency = e.HighpassFrequency();
    m.HighpassWidth = e.HighpassWidth();
    m.LowpassFrequency = e.LowpassFrequency();
    m.LowpassWidth = e.LowpassWidth();
    m.VbrMethod = e.VbrMethod();
    m.VbrBitrate = e.VbrBitrate();
    m.WriteVbrHeader = e.WriteVbrHeader() != 0;
    m.StrictMinBitrate = e.StrictMinBitrate() != 0;
    m.VbrQuality = e.VbrQuality();
    m.AbrBitrate = e.AbrBitrate();
    m.Preset = preset;
    m.AltPreset = altPreset;
}

} // namespace quillotone
