#include "conversion/wma_profiles.h"

#include "conversion/convert_interface.h"

#include <array>

namespace quillotone {

namespace {

// From the best quality down; the encoder needs at least 24 kbit/s at every rate.
constexpr std::array<WmaProfileInfo, WmaProfileCount> kProfiles{{
    {320, 48000, 2}, {256, 48000, 2}, {192, 48000, 2}, {160, 48000, 2}, {128, 48000, 2}, {96, 48000, 2},
    {320, 44100, 2}, {256, 44100, 2}, {192, 44100, 2}, {160, 44100, 2}, {128, 44100, 2}, {96, 44100, 2},
    {80, 44100, 2},  {64, 44100, 2},  {48, 44100, 2},  {40, 44100, 2},  {32, 44100, 2},  {96, 32000, 2},
    {80, 32000, 2},  {64, 32000, 2},  {48, 32000, 2},  {40, 32000, 2},  {32, 32000, 2},  {64, 22050, 2},
    {48, 22050, 2},  {40, 22050, 2},  {32, 22050, 2},  {24, 22050, 2},  {48, 16000, 2},  {32, 16000, 2},
    {24, 16000, 2},  {32, 11025, 2},  {24, 11025, 2},  {24, 8000, 2},   {96, 44100, 1},  {64, 44100, 1},
    {48, 44100, 1},  {32, 44100, 1},  {48, 32000, 1},  {32, 32000, 1},  {40, 22050, 1},  {32, 22050, 1},
    {24, 22050, 1},  {32, 16000, 1},  {24, 16000, 1},  {24, 11025, 1},  {24, 8000, 1},
}};

} // namespace

const WmaProfileInfo* FindWmaProfile(int32_t number) {
    if (number < 1 || number > WmaProfileCount) return nullptr;
    return &kProfiles[static_cast<size_t>(number - 1)];
}

std::string DescribeWmaProfile(const WmaProfileInfo& p) {
    return std::to_string(p.bitrateKbps) + " kbps, " + std::to_string(p.sampleRate / 1000) + " kHz, " +
           (p.channels == 1 ? "mono" : "stereo") + " CBR";
}

} // namespace quillotone
