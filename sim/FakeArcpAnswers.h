#pragma once

#include "FakeArcpResponder.h"
#include "FakeArcpWire.h"

namespace sim::arcp {

// The reply of a device holding state to request; 0x3010 and 0x3014 change the state.
Bytes answer(FakeArcpState& state, const Request& request);

}  // namespace sim::arcp
