// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/chime_synth.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zelmoro::platform {

namespace {

constexpr double kSeconds = 2.6;
constexpr double kPeak = 0.6;      // loudest sample, as a fraction of full scale
constexpr double kAttack = 0.004;  // seconds of a strike's rise
constexpr double kFadeOut = 0.025; // seconds of the closing fade, so a loop joins cleanly

// One partial of a bell: frequency ratio to the strike note, loudness, and
// the time in seconds in which it decays to 1/e.
struct Partial {
    double ratio;
    double gain;
    double decay;
};

// A warm church-bell spectrum: hum below the note, the note itself, its
// octave, and a few inharmonic upper partials that die away quickly.
constexpr Partial kPartials[] = {
    {0.5, 0.20, 1.8},   {1.0, 1.00, 1.4},   {2.0, 0.45, 0.9},
    {2.76, 0.20, 0.55}, {4.07, 0.09, 0.35}, {5.40, 0.04, 0.22},
};

// One strike: the note's frequency, when it is struck, how loud, and where it
// stands between the left (-1) and right (+1) speaker.
struct Strike {
    double frequency;
    double onset;
    double gain;
    double pan;
};

constexpr Strike kStrikes[] = {
    {659.26, 0.00, 1.00, -0.45}, // E5
    {830.61, 0.22, 0.90, -0.15}, // G#5
    {987.77, 0.44, 0.85, 0.15},  // B5
    {1318.51, 0.66, 0.80, 0.45}, // E6
};

double bell(const Strike &strike, double t)
{
    const double local = t - strike.onset;
    if (local < 0.0)
        return 0.0;
    const double rise =
        local < kAttack ? 0.5 - 0.5 * std::cos(std::numbers::pi * local / kAttack) : 1.0;
    double value = 0.0;
    for (const Partial &p : kPartials) {
        const double phase = 2.0 * std::numbers::pi * strike.frequency * p.ratio * local;
        value += p.gain * std::exp(-local / p.decay) * std::sin(phase);
    }
    return strike.gain * rise * value;
}

} // namespace

std::vector<float> synthesizeChime()
{
    const auto frames = static_cast<std::size_t>(kSeconds * kChimeRate);
    std::vector<double> mix(frames * kChimeChannels, 0.0);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kChimeRate;
        for (const Strike &s : kStrikes) {
            const double v = bell(s, t);
            // Constant-power panning.
            const double angle = (s.pan + 1.0) * std::numbers::pi / 4.0;
            mix[i * kChimeChannels] += v * std::cos(angle);
            mix[i * kChimeChannels + 1] += v * std::sin(angle);
        }
        const double left = kSeconds - t;
        if (left < kFadeOut) {
            const double fade = 0.5 - 0.5 * std::cos(std::numbers::pi * left / kFadeOut);
            mix[i * kChimeChannels] *= fade;
            mix[i * kChimeChannels + 1] *= fade;
        }
    }

    double peak = 0.0;
    for (double v : mix)
        peak = std::max(peak, std::abs(v));
    std::vector<float> out(mix.size());
    for (std::size_t i = 0; i < mix.size(); ++i)
        out[i] = static_cast<float>(mix[i] * kPeak / peak);
    return out;
}

std::shared_ptr<const SoundClip> builtInChime()
{
    static const std::shared_ptr<const SoundClip> chime = [] {
        const std::vector<float> samples = synthesizeChime();
        auto clip = std::make_shared<SoundClip>();
        clip->sampleRate = kChimeRate;
        clip->channels = kChimeChannels;
        clip->samples.resize(samples.size());
        std::transform(samples.begin(), samples.end(), clip->samples.begin(), toSample16);
        return clip;
    }();
    return chime;
}

} // namespace zelmoro::platform
