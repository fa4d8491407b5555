// The ready-made qualities of the quality drop-down: their texts, what picking one writes into
// the encoder settings, and which one the current settings select.
#pragma once

#include "conversion/convert_interface.h"
#include "conversion/encoder_settings.h"
#include "conversion/output_format.h"

#include <QString>
#include <QStringList>

namespace quillotone {

// The WMA entries: the component's descriptions of profiles 1 to WmaProfileCount, appended to `out`
// in order (entry n describes profile n + 1). A component error is thrown; the entries read so far stay.
void ReadWmaQualities(IAudioConvert& convert, QStringList& out);

// The entries for an output format; the WMA entries are the profile descriptions.
QStringList QualityList(OutFormat format, const QStringList& wmaQualities);

// Writes the fields that the entry `index` (with its text `entry`) of the format's list stands for.
void ApplyQualityChoice(EncoderSettings& settings, OutFormat format, int index, const QString& entry);

// The entry that matches the settings, or -1. `shownPreset` is the index the inspector's
// Preset list shows. ABR targets from 150 to 199 select "ABR -150 kbit/s"; from 200 to 250 the
// nearer of the other two, 225 and up "ABR -250 kbit/s".
int SelectQualityFromSettings(const EncoderSettings& settings, OutFormat format, const QStringList& entries,
                              int shownPreset);

// "16-bit Stereo 44,100Hz" and the like, without the CD suffix.
QString WavQualityText(int32_t bits, const QString& channelWord, int32_t rate);

QString QualityStatusText(const QString& description); // "Quality: " + description

} // namespace quillotone
