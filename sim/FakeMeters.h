#pragma once

#include <cstdint>
#include <map>
#include <random>

#include "qz_dsp.pb.h"

namespace sim {

// Level readings of a device that plays a signal: each channel's input wanders by small steps
// within `swing` dB of `centre` dBFS; its output is the input through the channel's input and
// output gains, and far below any meter's scale while muted.
class FakeMeters {
public:
    static constexpr float kMutedDb = -120.0f;

    FakeMeters(float centre_db, float swing_db, uint32_t seed);

    // Writes a reading into every measured level that `reply` asks for, from the channel's
    // gains and mute in `state`.
    void fill(dsp_t& reply, const dsp_t& state);

private:
    float nextInput(uint32_t channel);

    float m_centre;
    float m_swing;
    std::mt19937 m_random;
    std::map<uint32_t, float> m_inputs;  // by channel id
};

}  // namespace sim
