#include "frontend/sound_mix.h"

#include <algorithm>
#include <cmath>

void SoundMix::set_volume(int percent) {
    volume_ = std::clamp(percent, 0, 100);
    // A machine switched on: the speaker low, the chip silent.
    for (OutputCoupling& side : side_) side.settle(input(0x00, 0.0f));
}

int32_t SoundMix::input(uint8_t level, float chip) const {
    // AY_FULL times a float is one rounding, the same on every computer.
    const int32_t sum = beeper_input(level) + static_cast<int32_t>(std::lround(chip * AY_FULL));
    return sum * volume_ / 100;
}

int16_t SoundMix::output(OutputCoupling& side, int32_t x, bool advance) const {
    const int32_t y = !coupling ? x : advance ? side.step(x) : side.peek(x);
    // Never reached at any volume (see the scale above); a sample must still fit its word.
    return static_cast<int16_t>(std::clamp(y, -32767, 32767));
}

void SoundMix::frame(const uint8_t* levels, const float* left, const float* right, int n,
                     uint8_t end_level, bool mute, StereoSample* out, StereoSample& end) {
    if (n <= 0) return;
    const int32_t end_left = input(end_level, left[n - 1]);
    const int32_t end_right = input(end_level, right[n - 1]);
    if (mute) {
        std::fill(out, out + n, SILENCE);
        side_[0].settle(end_left);
        side_[1].settle(end_right);
        end = SILENCE;
        return;
    }
    for (int i = 0; i < n; i++) {
        out[i].left = output(side_[0], input(levels[i], left[i]), true);
        out[i].right = output(side_[1], input(levels[i], right[i]), true);
    }
    end = {output(side_[0], end_left, false), output(side_[1], end_right, false)};
}
