// How the encoder settings reach the conversion component, and how a preset's values come back.
#pragma once

#include "conversion/convert_interface.h"
#include "conversion/encoder_settings.h"
#include "conversion/output_format.h"

#include <QString>

namespace quillotone {

// Applies the settings of one output format to the component and returns the component's
// description of it. Component errors are thrown.
QString ApplyOutputFormat(IAudioConvert& convert, const EncoderSettings& settings, OutFormat format);

// Copies the encoder's properties into the record; Preset and AltPreset take the two lists' indexes.
void ReadBackEncoder(const IAudioConvertLameMp3Encoder& encoder, Mp3Settings& mp3, int32_t preset,
                     int32_t altPreset);

} // namespace quillotone
