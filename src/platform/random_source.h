// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace zelmoro::platform {

// Random numbers: reseeding from the system timer, then single-precision values
// in [0, 1). Tests install a source whose values they choose.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual void reseed() = 0;
    virtual float next() = 0;
};

RandomSource &randomSource();
// Installs a source; nullptr goes back to the system one. The caller keeps ownership.
void setRandomSource(RandomSource *source);

} // namespace zelmoro::platform
