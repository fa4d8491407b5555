#include "conversion/quality_choices.h"

#include "conversion/encoder_lists.h"

#include <array>

namespace quillotone {

namespace {

constexpr int FirstBitrate = 2;
constexpr int FirstVbrLevel = 17;
constexpr int FirstAbr = 27;
constexpr int FirstPreset = 30;
constexpr int FirstOggVbr = 15;

constexpr std::array<int32_t, 3> kAbrTargets{150, 200, 250};

// Ogg VBR entries 15 to 24: the minimum and maximum bitrate each one stands for.
constexpr std::array<std::pair<int32_t, int32_t>, 10> kOggVbr{{{32, 48},
                                                               {64, 64},
                                                               {96, 96},
                                                               {112, 112},
                                                               {128, 128},
                                                               {160, 160},
                                                               {192, 192},
                                                               {224, 224},
                                                               {256, 256},
                                                               {320, 320}}};

const QString CdSuffix = " (CD-Quality)";

QString withThousands(int32_t rate) {
    QString digits = QString::number(rate);
    if (digits.size() > 3) digits.insert(digits.size() - 3, ',');
    return digits;
}

QStringList bitrateEntries() {
    QStringList out;
    const QStringList& rates = Bitrates();
    for (auto it = rates.crbegin(); it != rates.crend(); ++it)
        out << it->trimmed() + " kbit/s";
    return out;
}

// "320 kbit/s" gives 320; text that is not a number gives 128.
int32_t bitrateOfEntry(const QString& entry) {
    QString number = entry.left(entry.size() - 7);
    number.remove(' ');
    return ReadNumber(number, 128);
}

} // namespace

QString WavQualityText(int32_t bits, const QString& channelWord, int32_t rate) {
    return QString::number(bits) + "-bit " + channelWord + " " + withThousands(rate) + "Hz";
}

QString QualityStatusText(const QString& description) {
    return "Quality: " + description;
}

void ReadWmaQualities(IAudioConvert& convert, QStringList& out) {
    for (int profile = 1; profile <= WmaProfileCount; ++profile) {
        convert.SetWmaProfile(profile);
        out << convert.WmaProfileDescription();
    }
}

QStringList QualityList(OutFormat format, const QStringList& wmaQualities) {
    QStringList out;
    switch (format) {
    case OutFormat::Mp3:
        out << "Near CD-Quality"
            << "CD-Quality";
        out << bitrateEntries();
        for (int level = 0; level <= 9; ++level) {
            QString text = "VBR-Quality Level " + QString::number(level);
            if (level == 0) text += " (highest)";
            if (level == 9) text += " (lowest)";
            out << text;
        }
        for (int32_t target : kAbrTargets)
            out << QString("ABR -%1 kbit/s").arg(target);
        for (int i = 1; i < PresetNames().size(); ++i)
            out << "Preset: " + PresetNames()[i];
        break;
    case OutFormat::Ogg:
        out << bitrateEntries();
        for (const char* level :
             {"-1(32...48 kbit/s)", "0(64 kbit/s)", "2(96 kbit/s)", "3(112 kbit/s)", "4(128 kbit/s)",
              "5(160 kbit/s)", "6(192 kbit/s)", "7(224 kbit/s)", "8(256 kbit/s)", "9(320 kbit/s)"})
            out << QString("VBR Quality ") + level;
        break;
    case OutFormat::Wav:
        for (int32_t bits : {16, 8})
            for (const char* channels : {"Stereo", "Mono"})
                for (int32_t rate : {44100, 48000, 32000, 24000, 22050, 16000, 11025, 8000, 6000})
                    out << WavQualityText(bits, channels, rate);
        out[0] += CdSuffix;
        break;
    case OutFormat::Wma:
        out = wmaQualities;
        break;
    }
    return out;
}

void ApplyQualityChoice(EncoderSettings& s, OutFormat format, int index, const QString& entry) {
    if (index < 0) return;
    Mp3Settings& m = s.mp3;
    switch (format) {
    case OutFormat::Mp3:
        if (index < FirstBitrate) {
            m.VbrMethod = -1;
            m.Mp3SampleRate = 44100;
            m.Mp3ChannelMode = 2;
            m.Mp3Bitrate = index == 0 ? 112 : 128;
            m.Mp3EncoderQuality = 2;
        } else if (index < FirstVbrLevel) {
            m.VbrMethod = -1;
            m.Mp3Bitrate = bitrateOfEntry(entry);
        } else if (index < FirstAbr) {
            m.VbrMethod = 0;
            m.VbrQuality = index - FirstVbrLevel;
        } else if (index < FirstPreset) {
            m.VbrMethod = 4;
            m.AbrBitrate = kAbrTargets[size_t(index - FirstAbr)];
        } else {
            m.Preset = index - (FirstPreset - 1);
        }
        break;
    case OutFormat::Ogg:
        if (index < FirstOggVbr) {
            s.ogg.OggBitrate = bitrateOfEntry(entry);
            s.OggVbr = false;
        } else if (index < FirstOggVbr + int(kOggVbr.size())) {
            s.OggVbr = true;
            s.OggMinBitrate = kOggVbr[size_t(index - FirstOggVbr)].first;
            s.OggMaxBitrate = kOggVbr[size_t(index - FirstOggVbr)].second;
        }
        break;
    case OutFormat::Wav: {
        // "<bits>-bit <channels> <rate>Hz...": split at the first two blanks.
        const int first = entry.indexOf(' ');
        const int second = first < 0 ? -1 : entry.indexOf(' ', first + 1);
        const QString size = first < 0 ? entry : entry.left(first);
        const QString channels =
            first < 0 ? QString() : entry.mid(first + 1, second < 0 ? -1 : second - first - 1);
        const QString rest = second < 0 ? QString() : entry.mid(second + 1);
        const int dash = size.indexOf('-');
        s.WavBitsPerSample = ReadNumber(dash < 0 ? size : size.left(dash), 16);
        if (channels.compare("Stereo", Qt::CaseInsensitive) == 0)
            s.WavChannels = 2;
        else if (channels.compare("Mono", Qt::CaseInsensitive) == 0)
            s.WavChannels = 1;
        const int hz = rest.indexOf("Hz");
        QString rate = hz < 0 ? rest : rest.left(hz);
        const int comma = rate.indexOf(',');
        if (comma >= 0) rate.remove(comma, 1);
        s.WavSampleRate = ReadNumber(rate, 44100);
        break;
    }
    case OutFormat::Wma:
        s.WmaQuality = index + 1;
        break;
    }
}

int SelectQualityFromSettings(const EncoderSettings& s, OutFormat format, const QStringList& entries,
                              int shownPreset) {
    int index = -1;
    const Mp3Settings& m = s.mp3;
    switch (format) {
    case OutFormat::Mp3:
        if (shownPreset > 0) {
            index = shownPreset + (FirstPreset - 1);
        } else if (m.VbrMethod >= 0 && m.VbrMethod <= 3) {
            if (m.VbrQuality >= 0 && m.VbrQuality <= 9) index = FirstVbrLevel + m.VbrQuality;
        } else if (m.VbrMethod == 4) {
            // The nearer entry; half-way (225) goes up.
            if (m.AbrBitrate >= 150 && m.AbrBitrate <= 199)
                index = FirstAbr;
            else if (m.AbrBitrate >= 200 && m.AbrBitrate <= 224)
                index = FirstAbr + 1;
            else if (m.AbrBitrate >= 225 && m.AbrBitrate <= 250)
                index = FirstAbr + 2;
        } else if (m.VbrMethod == -1) {
            const int entry = FindNumberEntry(Bitrates(), m.Mp3Bitrate);
            if (entry >= 0) index = FirstBitrate + int(Bitrates().size()) - 1 - entry;
        }
        break;
    case OutFormat::Ogg:
        if (s.OggVbr) {
            if (s.OggMinBitrate >= 32 && s.OggMinBitrate <= 48) {
                index = FirstOggVbr;
            } else {
                for (size_t i = 1; i < kOggVbr.size(); ++i)
                    if (kOggVbr[i].first == s.OggMinBitrate) index = FirstOggVbr + int(i);
            }
        } else {
            const QString wanted = QString::number(s.ogg.OggBitrate) + " kbit/s";
            for (int i = 0; i < entries.size() && index < 0; ++i)
                if (entries[i].compare(wanted, Qt::CaseInsensitive) == 0) index = i;
        }
        break;
    case OutFormat::Wav: {
        const QString word = s.WavChannels == 2 ? "Stereo" : s.WavChannels == 1 ? "Mono" : QString();
        QString wanted = WavQualityText(s.WavBitsPerSample, word, s.WavSampleRate);
        if (wanted.compare("16-bit Stereo 44,100Hz", Qt::CaseInsensitive) == 0) wanted += CdSuffix;
        for (int i = 0; i < entries.size() && index < 0; ++i)
            if (entries[i] == wanted) index = i;
        break;
    }
    case OutFormat::Wma:
        index = s.WmaQuality - 1;
        break;
    }
    return index >= 0 && index < entries.size() ? index : -1;
}

} // namespace quillotone
