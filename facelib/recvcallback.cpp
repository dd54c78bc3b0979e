#include "facelib/recvcallback.h"

#include "device/commandids.h"
#include "facelib/runstate.h"

namespace galvorn {

namespace {

bool isLinkLost(tint32 type, tint32 length, const void* data)
{
    return type == device::CALLBACK_LINK_LOST || (data == nullptr && length == -1);
}

} // namespace

int RecvCallback(void* context, device::CNetDevice*, tint32 type, tint32 length, const void* data,
                 tuint32)
{
    if (context == nullptr)
        return 0;
    RunContext& run = *static_cast<RunContext*>(context);
    if (isLinkLost(type, length, data))
        run.setOffline(true);
    return 0;
}

} // namespace galvorn
