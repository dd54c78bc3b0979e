#include "facelib/callbackinfo.h"

#include "facelib/textfield.h"

namespace galvorn {

std::unique_ptr<CallbackInfo> makeCallbackInfo(DeviceStatus status, std::string_view ip,
                                               std::string_view mac,
                                               std::span<const std::uint8_t> data)
{
    auto info = std::make_unique<CallbackInfo>();
    info->status = static_cast<tuint32>(status);
    setFieldText(info->mac, mac);
    setFieldText(info->ip, ip);
    info->data.assign(data.begin(), data.end());
    return info;
}

void PostDeviceStatus(StatusSink* owner, DeviceStatus status, std::string_view ip,
                      std::string_view mac, std::span<const std::uint8_t> data)
{
    if (owner)
        owner->postStatus(makeCallbackInfo(status, ip, mac, data));
}

} // namespace galvorn
