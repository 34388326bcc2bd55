// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/random_source.h"

#include <chrono>
#include <cstdint>
#include <random>

namespace zelmoro::platform {

namespace {

class TimerSeededSource final : public RandomSource {
public:
    void reseed() override
    {
        const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
        m_engine.seed(static_cast<std::uint32_t>(ticks ^ (ticks >> 32)));
    }

    float next() override
    {
        // 24 random bits make every single-precision value k / 2^24 in [0, 1)
        // equally likely, and never 1.
        return static_cast<float>(m_engine() >> 8) * 0x1p-24f;
    }

private:
    std::mt19937 m_engine{12345u};
};

RandomSource *installedSource = nullptr;

} // namespace

RandomSource &randomSource()
{
    static TimerSeededSource system;
    return installedSource ? *installedSource : system;
}

void setRandomSource(RandomSource *source)
{
    installedSource = source;
}

} // namespace zelmoro::platform
