// Drives the conversion component as a run does: settings first, then one conversion whose
// events arrive through a Qt event loop. Prints each progress value and the result.
#include "conversion/component_error.h"
#include "conversion/convert_component.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <optional>

using namespace quillotone;

namespace {

int usage() {
    std::fprintf(
        stderr,
        "usage: convert-file [--format mp3|ogg|wav|wma] [--rate HZ] [--channels 1|2]\n"
        "  [--mp3-bitrate K] [--quality 0-9] [--vbr-method M] [--vbr-quality Q] [--vbr-max K] [--abr K]\n"
        "  [--lowpass HZ] [--highpass HZ] [--no-vbr-header] [--preset N] [--alt-preset N]\n"
        "  [--ogg-bitrate K] [--ogg-min K --ogg-max K] [--ogg-quality 0-1000]\n"
        "  [--wav-bits 8|16] [--wma-profile 1-47] [--quiet] SRC DST\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString format = "mp3";
    std::optional<int> rate, channels, mp3Bitrate, quality, vbrMethod, vbrQuality, vbrMax, abr, lowpass,
        highpass, preset, altPreset, oggBitrate, oggMin, oggMax, oggQuality, wavBits, wmaProfile;
    bool vbrHeader = true, quiet = false;
    QStringList paths;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto number = [&](std::optional<int>& target) {
            bool ok = false;
            if (i + 1 < args.size()) target = args[++i].toInt(&ok);
            return ok;
        };
        bool ok = true;
        if (a == "--format" && i + 1 < args.size())
            format = args[++i].toLower();
        else if (a == "--rate")
            ok = number(rate);
        else if (a == "--channels")
            ok = number(channels);
        else if (a == "--mp3-bitrate")
            ok = number(mp3Bitrate);
        else if (a == "--quality")
            ok = number(quality);
        else if (a == "--vbr-method")
            ok = number(vbrMethod);
        else if (a == "--vbr-quality")
            ok = number(vbrQuality);
        else if (a == "--vbr-max")
            ok = number(vbrMax);
        else if (a == "--abr")
            ok = number(abr);
        else if (a == "--lowpass")
            ok = number(lowpass);
        else if (a == "--highpass")
            ok = number(highpass);
        else if (a == "--no-vbr-header")
            vbrHeader = false;
        else if (a == "--preset")
            ok = number(preset);
        else if (a == "--alt-preset")
            ok = number(altPreset);
        else if (a == "--ogg-bitrate")
            ok = number(oggBitrate);
        else if (a == "--ogg-min")
            ok = number(oggMin);
        else if (a == "--ogg-max")
            ok = number(oggMax);
        else if (a == "--ogg-quality")
            ok = number(oggQuality);
        else if (a == "--wav-bits")
            ok = number(wavBits);
        else if (a == "--wma-profile")
            ok = number(wmaProfile);
        else if (a == "--quiet")
            quiet = true;
        else if (a.startsWith("--"))
            return usage();
        else
            paths << a;
        if (!ok) return usage();
    }
    if (paths.size() != 2) return usage();

    TAudioConvert component;
    int result = 0;
    try {
        IAudioConvertLameMp3Encoder& mp3 = component.Mp3Encoder();
        if (preset) mp3.ApplyPreset(*preset);
        if (altPreset) mp3.ApplyAltPreset(*altPreset);
        if (quality) mp3.SetMp3EncoderQuality(static_cast<int16_t>(*quality));
        if (vbrMethod) mp3.SetVbrMethod(*vbrMethod);
        if (vbrQuality) mp3.SetVbrQuality(static_cast<int16_t>(*vbrQuality));
        if (vbrMax) mp3.SetVbrBitrate(*vbrMax);
        if (abr) mp3.SetAbrBitrate(static_cast<int16_t>(*abr));
        if (lowpass) mp3.SetLowpassFrequency(*lowpass);
        if (highpass) mp3.SetHighpassFrequency(*highpass);
        if (!vbrHeader) mp3.SetWriteVbrHeader(0);
        component.SetMp3Format(rate.value_or(mp3.Mp3SampleRate()), mp3Bitrate.value_or(mp3.Mp3Bitrate()),
                               channels.value_or(mp3.Mp3ChannelMode()));
        component.SetOggFormat(rate.value_or(44100), channels.value_or(2), oggBitrate.value_or(128),
                               oggMin.value_or(0), oggMax.value_or(0),
                               static_cast<int16_t>(oggQuality.value_or(-1)));
        component.SetWavFormat(rate.value_or(44100), channels.value_or(2), wavBits.value_or(16));
        component.SetWmaProfile(wmaProfile.value_or(11));

        QObject::connect(&component, &IAudioConvert::OnConvertBlock, [&](int percent) {
            if (!quiet) std::printf("progress: %d\n", percent);
            if (percent >= 100) app.quit();
        });
        QObject::connect(&component, &IAudioConvert::OnError, [&](int code) {
            result = code;
            app.quit();
        });
        if (format == "mp3") {
            std::printf("format: %s\n", qPrintable(component.Mp3FormatDescription()));
            component.ConvertToMp3(paths[0], paths[1]);
        } else if (format == "ogg") {
            std::printf("format: %s\n", qPrintable(component.OggFormatDescription()));
            component.ConvertToOgg(paths[0], paths[1]);
        } else if (format == "wav") {
            std::printf("format: %s\n", qPrintable(component.WavFormatDescription()));
            component.ConvertToWav(paths[0], paths[1]);
        } else if (format == "wma") {
            std::printf("format: %s\n", qPrintable(component.WmaProfileDescription()));
            component.ConvertToWma(paths[0], paths[1]);
        } else {
            return usage();
        }
        std::fflush(stdout);
        app.exec();
    } catch (const ComponentError& e) {
        std::fprintf(stderr, "convert-file: %s\n", e.what());
        result = -40;
    }
    std::printf("result: %d\n", result);
    return result == 0 ? 0 : 1;
}
