// The choices of the encoder settings as the inspector lists them, and how its texts read as
// numbers. Shared by the inspector and the quality choices.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace quillotone {

const QStringList& Mp3SampleRates();
const QStringList& Bitrates(); // MP3 CBR and VBR, Ogg nominal, minimum and maximum
const QStringList& OggSampleRates();
const QStringList& WavSampleRates();
const QStringList& WavSampleSizes();
const QStringList& ChannelModes();  // "Mono", "Stereo": field = index + 1
const QStringList& CodingMethods(); // field = index - 1
const QStringList& PresetNames();   // "None" first: field = index
const QStringList& AltPresetNames();

// The text with surrounding spaces removed as a decimal integer, else the fallback.
int32_t ReadNumber(const QString& text, int32_t fallback);
// "true" in any case; anything else is false.
bool ReadBoolean(const QString& text);
// The first entry whose trimmed text is the number in decimal, or -1.
int FindNumberEntry(const QStringList& entries, int32_t number);

} // namespace quillotone
