// tagdump's "mpeg" section: TMPEGaudio's first frame, VBR header, encoder and derived values.
#include "section.h"

#include "tags/mpeg/mpeg_audio.h"

#include <cstdio>

namespace tagdump {

namespace {

std::string Seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

bool DumpMpeg(const std::filesystem::path& file, Json& out) {
    tags::TMPEGaudio mpeg;
    if (!mpeg.ReadInfo(file) || !mpeg.Frame.Found) return false;
    const tags::TFrameData& f = mpeg.Frame;
    Json frame = Json::Object();
    frame.Set("Position", f.Position)
        .Set("Size", f.Size)
        .Set("Xing", f.Xing)
        .Set("Version", f.Version)
        .Set("Layer", f.Layer)
        .Set("Protection", f.Protection)
        .Set("BitRateIndex", f.BitRateIndex)
        .Set("SampleRateIndex", f.SampleRateIndex)
        .Set("Padding", f.Padding)
        .Set("Private", f.Private)
        .Set("Mode", f.Mode)
        .Set("ModeExtension", f.ModeExtension)
        .Set("Copyright", f.Copyright)
        .Set("Original", f.Original)
        .Set("Emphasis", f.Emphasis)
        .Set("TableBitRate", tags::TableBitRate(f))
        .Set("SampleRate", tags::TableSampleRate(f));
    Json vbr = Json::Object();
    vbr.Set("Found", mpeg.VBR.Found);
    if (mpeg.VBR.Found)
        vbr.Set("ID", mpeg.VBR.ID)
            .Set("Flags", mpeg.VBR.Flags)
            .Set("Frames", mpeg.VBR.Frames)
            .Set("Bytes", mpeg.VBR.Bytes)
            .Set("Scale", mpeg.VBR.Scale)
            .Set("VendorID", mpeg.VBR.VendorID);
    out.Set("FileLength", mpeg.FileLength)
        .Set("AudioStart", mpeg.AudioStart)
        .Set("AudioEnd", mpeg.AudioEnd)
        .Set("Frame", std::move(frame))
        .Set("VBR", std::move(vbr))
        .Set("Encoder", mpeg.Encoder)
        .Set("BitRate", mpeg.BitRate())
        .Set("Duration", Seconds(mpeg.Duration()))
        .Set("Valid", mpeg.Valid());
    return true;
}

const bool registered = Register({"mpeg", 40, DumpMpeg, [](const std::string&) { return false; }, {}});

} // namespace

} // namespace tagdump
