// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace zelmoro::wake {

// How far ahead the helper accepts a wake instant: the next alarm is always
// within a day, and a day may be 25 hours long.
inline constexpr std::int64_t kMaxAheadSeconds = 48 * 60 * 60;
// The longest line worth reading: a UTC second has 19 digits at most.
inline constexpr std::size_t kMaxLineLength = 32;

// The UTC second named by one input line (without its newline): decimal digits
// only, no sign, no space, between nowSeconds and kMaxAheadSeconds after it.
// Anything else is nullopt.
std::optional<std::int64_t> parseWakeLine(std::string_view line, std::int64_t nowSeconds);

} // namespace zelmoro::wake
