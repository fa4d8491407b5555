#include "conversion/encoder_lists.h"

namespace quillotone {

const QStringList& Mp3SampleRates() {
    static const QStringList list{"8000",  "11025", "12000", "16000", "22050",
                                  "24000", "32000", "44100", "48000"};
    return list;
}

const QStringList& Bitrates() {
    static const QStringList list{"8",   "16",  "24",  "32",  "48",  "56",  "64", "96",
                                  "112", "128", "160", "192", "224", "256", "320"};
    return list;
}

const QStringList& OggSampleRates() {
    static const QStringList list{"8000", "11025", "16000", "22050", "24000", "32000", "44100", "48000"};
    return list;
}

const QStringList& WavSampleRates() {
    static const QStringList list{"48000", "44100", "32000", "24000", "22050",
                                  "16000", "11025", "8000",  "6000"};
    return list;
}

const QStringList& WavSampleSizes() {
    static const QStringList list{"8", "16"};
    return list;
}

const QStringList& ChannelModes() {
    static const QStringList list{"Mono", "Stereo"};
    return list;
}

const QStringList& CodingMethods() {
    static const QStringList list{"None", "Default", "Old", "New", "MTRH", "ABR"};
    return list;
}

const QStringList& PresetNames() {
    static const QStringList list{"None",  "Phone", "SW",   "AM", "FM",     "Voice",
                                  "Radio", "Type",  "HiFi", "CD", "Studio", "R3Mix"};
    return list;
}

const QStringList& AltPresetNames() {
    // "Extrene" is the name the list has always shown.
    static const QStringList list{"None", "Fast Standard", "Standard", "Fast Extreme", "Extrene", "Insane"};
    return list;
}

int32_t ReadNumber(const QString& text, int32_t fallback) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? int32_t(value) : fallback;
}

bool ReadBoolean(const QString& text) {
    return text.trimmed().compare("true", Qt::CaseInsensitive) == 0;
}

int FindNumberEntry(const QStringList& entries, int32_t number) {
    const QString wanted = QString::number(number);
    for (int i = 0; i < entries.size(); ++i)
        if (entries[i].trimmed().compare(wanted, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

} // namespace quillotone
