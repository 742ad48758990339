#pragma once

#include "ChannelUI.h"
#include "DoubleSpinnerSliderLink.h"
#include "FormWidgets.h"

// The controls of one page of the device window: its widgets by role, its channels and the
// pink-noise link, and what the window keeps of the device's status for it.
struct ZebWidgetSet {
    static constexpr int kImpedances = 4;

    FormVariant* widgets = nullptr;
    int numChannels = 0;
    ChannelUI channels[FormVariant::kMaxChannels];
    DoubleSpinnerSliderLink pinkNoise;
    int speakerStatus = 0;
    float measuredImpedance[kImpedances] = {};
};
