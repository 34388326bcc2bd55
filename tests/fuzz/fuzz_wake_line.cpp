// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: zelmoro-wake's line reader takes any bytes without a crash
// and accepts only seconds within its window.

#include "wake_line.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    constexpr std::int64_t kNow = 1'800'000'000;
    const std::string_view line(reinterpret_cast<const char *>(data), size);
    const std::optional<std::int64_t> second = zelmoro::wake::parseWakeLine(line, kNow);
    if (second && (*second < kNow || *second > kNow + zelmoro::wake::kMaxAheadSeconds))
        std::abort();
    return 0;
}
