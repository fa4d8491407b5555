#pragma once

#include <array>

namespace quillotone {

// 148 names, in ID3v1 genre order.
const std::array<const char*, 148>& ListGenreNames();

} // namespace quillotone
