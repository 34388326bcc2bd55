// SPDX-License-Identifier: GPL-3.0-or-later
// Writes "belora.wav", Zelmoro's alarm chime, as 16-bit PCM: the very sound
// the program falls back to when the file cannot be used.
//
//   make_belora OUTPUT.wav

#include "platform/sound/chime_synth.h"

#include <sndfile.h>

#include <cstdio>

using namespace zelmoro::platform;

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.wav\n", argv[0]);
        return 2;
    }

    const std::vector<float> samples = synthesizeChime();

    SF_INFO info{};
    info.samplerate = kChimeRate;
    info.channels = kChimeChannels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE *file = sf_open(argv[1], SFM_WRITE, &info);
    if (!file) {
        std::fprintf(stderr, "make_belora: cannot write %s: %s\n", argv[1], sf_strerror(nullptr));
        return 1;
    }
    sf_set_string(file, SF_STR_TITLE, "belora");
    sf_set_string(file, SF_STR_SOFTWARE, "Zelmoro make_belora");
    const auto frames = static_cast<sf_count_t>(samples.size() / kChimeChannels);
    const sf_count_t written = sf_writef_float(file, samples.data(), frames);
    const int closed = sf_close(file);
    if (written != frames || closed != 0) {
        std::fprintf(stderr, "make_belora: writing %s failed\n", argv[1]);
        return 1;
    }
    return 0;
}
