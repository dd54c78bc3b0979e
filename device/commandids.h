#pragma once

#include "support/inttypes.h"

// Every command id of the device protocol, and every owner-callback type, in one table
// each. Requests carry small ids; everything the device sends carries 0x1000000 plus a
// 16-bit value. Ids named by their number only are requests and replies whose purpose
// this program does not use; their wire behaviour is kept as it is. The answers of the
// message-wait requests (0x40E, 0xD01, 0xD03) are taken off the link by the waiting
// request itself; the reply dispatcher ignores them.
//
// Only append to these tables. A duplicate id does not compile (see the switches below).
#define GALVORN_DEVICE_COMMANDS(X)                                                                 \
    X(CMD_LOGIN, 0x101)                                                                            \
    X(CMD_STREAM_OPEN, 0x201)                                                                      \
    X(CMD_STREAM_CLOSE, 0x202)                                                                     \
    X(CMD_STREAM_REFRESH, 0x203)                                                                   \
    X(CMD_0205, 0x205)                                                                             \
    X(CMD_0206, 0x206)                                                                             \
    X(CMD_0208, 0x208)                                                                             \
    X(CMD_020E, 0x20E)                                                                             \
    X(CMD_0210, 0x210)                                                                             \
    X(CMD_CHANNEL_PARAMETERS, 0x301)                                                               \
    X(CMD_0302, 0x302)                                                                             \
    X(CMD_0303, 0x303)                                                                             \
    X(CMD_0305, 0x305)                                                                             \
    X(CMD_030D, 0x30D)                                                                             \
    X(CMD_030F, 0x30F)                                                                             \
    X(CMD_0326, 0x326)                                                                             \
    X(CMD_0328, 0x328)                                                                             \
    X(CMD_0401, 0x401)                                                                             \
    X(CMD_0405, 0x405)                                                                             \
    X(CMD_0406, 0x406)                                                                             \
    X(CMD_0407, 0x407)                                                                             \
    X(CMD_0408, 0x408)                                                                             \
    X(CMD_040E, 0x40E)                                                                             \
    X(CMD_0504, 0x504)                                                                             \
    X(CMD_0505, 0x505)                                                                             \
    X(CMD_0602, 0x602)                                                                             \
    X(CMD_0701, 0x701)                                                                             \
    X(CMD_0702, 0x702)                                                                             \
    X(CMD_0703, 0x703)                                                                             \
    X(CMD_0801, 0x801)                                                                             \
    X(CMD_0802, 0x802)                                                                             \
    X(CMD_0804, 0x804)                                                                             \
    X(CMD_0A02, 0xA02)                                                                             \
    X(CMD_0B01, 0xB01)                                                                             \
    X(CMD_0B02, 0xB02)                                                                             \
    X(CMD_0C04, 0xC04)                                                                             \
    X(CMD_0C05, 0xC05)                                                                             \
    X(CMD_0C06, 0xC06)                                                                             \
    X(CMD_0D01, 0xD01)                                                                             \
    X(CMD_0D03, 0xD03)                                                                             \
    X(CMD_0D04, 0xD04)                                                                             \
    X(CMD_FACE_IMAGE_ADD, 0x2001)                                                                  \
    X(CMD_FACE_INFO_QUERY, 0x2003)                                                                 \
    X(CMD_FACE_TRANSFER_START, 0x2005)                                                             \
    X(CMD_FACE_IMPORT_DATA, 0x2006)                                                                \
    X(CMD_FACE_EXPORT_DATA, 0x2007)                                                                \
    X(CMD_FACE_TRANSFER_END, 0x2008)                                                               \
    X(REPLY_LOGIN_ACCEPTED, 0x1000101)                                                             \
    X(REPLY_LOGIN_REFUSED, 0x1000102)                                                              \
    X(REPLY_0103, 0x1000103)                                                                       \
    X(REPLY_0201, 0x1000201)                                                                       \
    X(REPLY_0206, 0x1000206)                                                                       \
    X(REPLY_020A, 0x100020A)                                                                       \
    X(REPLY_020C, 0x100020C)                                                                       \
    X(REPLY_CHANNEL_PARAMETERS, 0x1000301)                                                         \
    X(REPLY_0302, 0x1000302)                                                                       \
    X(REPLY_0304, 0x1000304)                                                                       \
    X(REPLY_0306, 0x1000306)                                                                       \
    X(REPLY_0401, 0x1000401)                                                                       \
    X(REPLY_0402_REFUSED, 0x1000402)                                                               \
    X(REPLY_0405, 0x1000405)                                                                       \
    X(REPLY_0406, 0x1000406)                                                                       \
    X(REPLY_040E, 0x100040E)                                                                       \
    X(REPLY_0504, 0x1000504)                                                                       \
    X(REPLY_0505, 0x1000505)                                                                       \
    X(REPLY_0506_PROGRESS, 0x1000506)                                                              \
    X(REPLY_0507_DONE, 0x1000507)                                                                  \
    X(REPLY_0508_REFUSED, 0x1000508)                                                               \
    X(REPLY_0701_DONE, 0x1000701)                                                                  \
    X(REPLY_0702_REFUSED, 0x1000702)                                                               \
    X(REPLY_0801, 0x1000801)                                                                       \
    X(REPLY_0802_PROGRESS, 0x1000802)                                                              \
    X(REPLY_0A01, 0x1000A01)                                                                       \
    X(REPLY_0A02, 0x1000A02)                                                                       \
    X(REPLY_0A03, 0x1000A03)                                                                       \
    X(REPLY_0A04_PROGRESS, 0x1000A04)                                                              \
    X(REPLY_0B01, 0x1000B01)                                                                       \
    X(REPLY_0B02, 0x1000B02)                                                                       \
    X(EVENT_DEVICE, 0x1000C01)                                                                     \
    X(EVENT_DATA, 0x1000C03)                                                                       \
    X(REPLY_0C07, 0x1000C07)                                                                       \
    X(REPLY_0C08, 0x1000C08)                                                                       \
    X(REPLY_0D01, 0x1000D01)                                                                       \
    X(REPLY_0D03, 0x1000D03)                                                                       \
    X(REPLY_FACE_IMAGE_ADD, 0x1002002)                                                             \
    X(REPLY_FACE_INFO_QUERY, 0x1002004)                                                            \
    X(REPLY_FACE_TRANSFER_START, 0x1002006)                                                        \
    X(REPLY_FACE_IMPORT_DATA, 0x1002007)                                                           \
    X(REPLY_FACE_EXPORT_DATA, 0x1002008)                                                           \
    X(REPLY_FACE_TRANSFER_END, 0x1002009)

// The types of the session's owner callback.
#define GALVORN_CALLBACK_TYPES(X)                                                                  \
    X(CALLBACK_DEVICE_EVENT, 0)                                                                    \
    X(CALLBACK_LINK_LOST, 1)                                                                       \
    X(CALLBACK_0B0X, 2)                                                                            \
    X(CALLBACK_0103, 4)                                                                            \
    X(CALLBACK_EVENT_DATA, 5)                                                                      \
    X(CALLBACK_FACE_IMAGE_ADD, 6)                                                                  \
    X(CALLBACK_FACE_TRANSFER_START, 7)                                                             \
    X(CALLBACK_FACE_IMPORT_DATA, 8)                                                                \
    X(CALLBACK_FACE_EXPORT_DATA, 9)                                                                \
    X(CALLBACK_FACE_TRANSFER_END, 10)                                                              \
    X(CALLBACK_FACE_INFO_QUERY, 19)

namespace galvorn::device {

#define GALVORN_ENUM_ENTRY(name, value) name = value,
enum DeviceCommand : tuint32
{
    GALVORN_DEVICE_COMMANDS(GALVORN_ENUM_ENTRY)
};
enum CallbackType : tint32
{
    GALVORN_CALLBACK_TYPES(GALVORN_ENUM_ENTRY)
};
#undef GALVORN_ENUM_ENTRY

// The name of an id in its table, or nullptr. Each table is one switch, so two entries
// with one value make duplicate case labels, which do not compile.
#define GALVORN_NAME_ENTRY(name, value)                                                            \
    case value:                                                                                    \
        return #name;
constexpr const char* commandName(tuint32 id) noexcept
{
    switch (id) {
        GALVORN_DEVICE_COMMANDS(GALVORN_NAME_ENTRY)
    }
    return nullptr;
}
constexpr const char* callbackTypeName(tint32 type) noexcept
{
    switch (type) {
        GALVORN_CALLBACK_TYPES(GALVORN_NAME_ENTRY)
    }
    return nullptr;
}
#undef GALVORN_NAME_ENTRY

// Every reply to a face-library request is the request's id plus this.
inline constexpr tuint32 kFaceReplyOffset = 0x1000001;
static_assert(CMD_FACE_TRANSFER_START + kFaceReplyOffset == REPLY_FACE_TRANSFER_START);
static_assert(CMD_FACE_TRANSFER_END + kFaceReplyOffset == REPLY_FACE_TRANSFER_END);

} // namespace galvorn::device
