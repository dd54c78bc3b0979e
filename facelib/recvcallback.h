#pragma once

#include "support/inttypes.h"

namespace galvorn::device {
class CNetDevice;
}

namespace galvorn {

// The owner callback of every device session of a run (device::DeviceCallback). The
// context is the session's RunContext. Called on the session's receive and keep-alive
// threads; never releases the session. A lost link (type 1, or no payload with length -1)
// sets the offline flag (under the callback lock) and wakes the session's transfer. The
// face-library replies (types 7 to 10 and 19) go to the transfer registered for the
// session when they belong to the run's operation; each transfer guards its own state.
// A batch-add reply (type 6) goes to the session's batch add with the sequence number
// that `parameter` echoes. A reply too short for its fields fails the request it answers;
// it never reads as result 0. Replies for a session without such work, and other types,
// are ignored. Returns 0.
int RecvCallback(void* context, device::CNetDevice* session, tint32 type, tint32 length,
                 const void* data, tuint32 parameter);

} // namespace galvorn
