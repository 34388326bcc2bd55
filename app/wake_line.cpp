// SPDX-License-Identifier: GPL-3.0-or-later
#include "wake_line.h"

namespace zelmoro::wake {

std::optional<std::int64_t> parseWakeLine(std::string_view line, std::int64_t nowSeconds)
{
    // No second within reach has more than twelve digits; the bound also
    // keeps the sum below from overflowing.
    if (line.empty() || line.size() > 12)
        return std::nullopt;
    std::int64_t value = 0;
    for (const char c : line) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < nowSeconds || value - nowSeconds > kMaxAheadSeconds)
        return std::nullopt;
    return value;
}

} // namespace zelmoro::wake
