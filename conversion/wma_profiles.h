// The WMA output profiles: a bitrate, sample rate and channel count that the wmav2 encoder
// accepts, numbered from 1.
#pragma once

#include "conversion/output_format.h"

#include <string>

namespace quillotone {

// nullptr outside 1..WmaProfileCount.
const WmaProfileInfo* FindWmaProfile(int32_t number);
// For example "128 kbps, 44 kHz, stereo CBR".
std::string DescribeWmaProfile(const WmaProfileInfo& profile);

} // namespace quillotone
