#pragma once

#include "support/inttypes.h"

namespace galvorn::device {
class CNetDevice;
}

namespace galvorn {

// The owner callback of every device session of a run (device::DeviceCallback). The
// context is the session's RunContext. Called on the session's receive and keep-alive
// threads: it takes the callback lock for every change it makes and never releases the
// session. A lost link (type 1, or no payload with length -1) sets the offline flag;
// types it does not handle are ignored. Returns 0.
int RecvCallback(void* context, device::CNetDevice* session, tint32 type, tint32 length,
                 const void* data, tuint32 parameter);

} // namespace galvorn
