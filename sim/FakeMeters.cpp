#include "FakeMeters.h"

#include <algorithm>

namespace sim {

namespace {

constexpr float kStepDb = 1.0f;

const channel_t* channelOf(const dsp_t& dsp, uint32_t id) {
    for (const channel_t& channel : dsp.channel()) {
        if (channel.channel_id() == id) {
            return &channel;
        }
    }
    return nullptr;
}

}  // namespace

FakeMeters::FakeMeters(float centre_db, float swing_db, uint32_t seed)
    : m_centre(centre_db), m_swing(std::max(swing_db, 0.0f)), m_random(seed) {}

float FakeMeters::nextInput(uint32_t channel) {
    const auto found = m_inputs.find(channel);
    float level = found == m_inputs.end() ? m_centre : found->second;
    std::uniform_real_distribution<float> step(-kStepDb, kStepDb);
    level = std::clamp(level + step(m_random), m_centre - m_swing, m_centre + m_swing);
    m_inputs[channel] = level;
    return level;
}

void FakeMeters::fill(dsp_t& reply, const dsp_t& state) {
    for (channel_t& channel : *reply.mutable_channel()) {
        const bool input_asked = channel.has_input() && channel.input().has_measured_rms_level();
        const bool output_asked = channel.has_output() && channel.output().has_measured_rms_level();
        if (!input_asked && !output_asked) {
            continue;
        }
        const float input = nextInput(channel.channel_id());
        if (input_asked) {
            channel.mutable_input()->set_measured_rms_level(input);
        }
        if (output_asked) {
            const channel_t* set = channelOf(state, channel.channel_id());
            const bool muted = set && set->output().mute();
            const float gains = set ? set->input().gain() + set->output().gain() : 0.0f;
            channel.mutable_output()->set_measured_rms_level(muted ? kMutedDb : input + gains);
        }
    }
}

}  // namespace sim
