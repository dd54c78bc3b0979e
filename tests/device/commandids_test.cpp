#include "device/commandids.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace galvorn::device;

namespace {

struct Id
{
    const char* name;
    long long value;
};

// Every request, reply and event id the protocol uses, with its value on the wire. The
// program's table must hold exactly these: a changed value no longer finds its name, and
// an id added to or dropped from the table changes its size.
const Id kCommands[] = {
    {"CMD_LOGIN", 0x101},
    {"CMD_STREAM_OPEN", 0x201},
    {"CMD_STREAM_CLOSE", 0x202},
    {"CMD_STREAM_REFRESH", 0x203},
    {"CMD_0205", 0x205},
    {"CMD_0206", 0x206},
    {"CMD_0208", 0x208},
    {"CMD_020E", 0x20E},
    {"CMD_0210", 0x210},
    {"CMD_CHANNEL_PARAMETERS", 0x301},
    {"CMD_0302", 0x302},
    {"CMD_0303", 0x303},
    {"CMD_0305", 0x305},
    {"CMD_030D", 0x30D},
    {"CMD_030F", 0x30F},
    {"CMD_0326", 0x326},
    {"CMD_0328", 0x328},
    {"CMD_0401", 0x401},
    {"CMD_0405", 0x405},
    {"CMD_0406", 0x406},
    {"CMD_0407", 0x407},
    {"CMD_0408", 0x408},
    {"CMD_040E", 0x40E},
    {"CMD_0504", 0x504},
    {"CMD_0505", 0x505},
    {"CMD_0602", 0x602},
    {"CMD_0701", 0x701},
    {"CMD_0702", 0x702},
    {"CMD_0703", 0x703},
    {"CMD_0801", 0x801},
    {"CMD_0802", 0x802},
    {"CMD_0804", 0x804},
    {"CMD_0A02", 0xA02},
    {"CMD_0B01", 0xB01},
    {"CMD_0B02", 0xB02},
    {"CMD_0C04", 0xC04},
    {"CMD_0C05", 0xC05},
    {"CMD_0C06", 0xC06},
    {"CMD_0D01", 0xD01},
    {"CMD_0D03", 0xD03},
    {"CMD_0D04", 0xD04},
    {"CMD_FACE_IMAGE_ADD", 0x2001},
    {"CMD_FACE_INFO_QUERY", 0x2003},
    {"CMD_FACE_TRANSFER_START", 0x2005},
    {"CMD_FACE_IMPORT_DATA", 0x2006},
    {"CMD_FACE_EXPORT_DATA", 0x2007},
    {"CMD_FACE_TRANSFER_END", 0x2008},
    {"REPLY_LOGIN_ACCEPTED", 0x1000101},
    {"REPLY_LOGIN_REFUSED", 0x1000102},
    {"REPLY_0103", 0x1000103},
    {"REPLY_0201", 0x1000201},
    {"REPLY_0206", 0x1000206},
    {"REPLY_020A", 0x100020A},
    {"REPLY_020C", 0x100020C},
    {"REPLY_CHANNEL_PARAMETERS", 0x1000301},
    {"REPLY_0302", 0x1000302},
    {"REPLY_0304", 0x1000304},
    {"REPLY_0306", 0x1000306},
    {"REPLY_0401", 0x1000401},
    {"REPLY_0402_REFUSED", 0x1000402},
    {"REPLY_0405", 0x1000405},
    {"REPLY_0406", 0x1000406},
    {"REPLY_040E", 0x100040E},
    {"REPLY_0504", 0x1000504},
    {"REPLY_0505", 0x1000505},
    {"REPLY_0506_PROGRESS", 0x1000506},
    {"REPLY_0507_DONE", 0x1000507},
    {"REPLY_0508_REFUSED", 0x1000508},
    {"REPLY_0701_DONE", 0x1000701},
    {"REPLY_0702_REFUSED", 0x1000702},
    {"REPLY_0801", 0x1000801},
    {"REPLY_0802_PROGRESS", 0x1000802},
    {"REPLY_0A01", 0x1000A01},
    {"REPLY_0A02", 0x1000A02},
    {"REPLY_0A03", 0x1000A03},
    {"REPLY_0A04_PROGRESS", 0x1000A04},
    {"REPLY_0B01", 0x1000B01},
    {"REPLY_0B02", 0x1000B02},
    {"EVENT_DEVICE", 0x1000C01},
    {"EVENT_DATA", 0x1000C03},
    {"REPLY_0C07", 0x1000C07},
    {"REPLY_0C08", 0x1000C08},
    {"REPLY_0D01", 0x1000D01},
    {"REPLY_0D03", 0x1000D03},
    {"REPLY_FACE_IMAGE_ADD", 0x1002002},
    {"REPLY_FACE_INFO_QUERY", 0x1002004},
    {"REPLY_FACE_TRANSFER_START", 0x1002006},
    {"REPLY_FACE_IMPORT_DATA", 0x1002007},
    {"REPLY_FACE_EXPORT_DATA", 0x1002008},
    {"REPLY_FACE_TRANSFER_END", 0x1002009},
};

// The types of the session's owner callback, with the values the owner receives.
const Id kCallbackTypes[] = {
    {"CALLBACK_DEVICE_EVENT", 0},
    {"CALLBACK_LINK_LOST", 1},
    {"CALLBACK_0B0X", 2},
    {"CALLBACK_0103", 4},
    {"CALLBACK_EVENT_DATA", 5},
    {"CALLBACK_FACE_IMAGE_ADD", 6},
    {"CALLBACK_FACE_TRANSFER_START", 7},
    {"CALLBACK_FACE_IMPORT_DATA", 8},
    {"CALLBACK_FACE_EXPORT_DATA", 9},
    {"CALLBACK_FACE_TRANSFER_END", 10},
    {"CALLBACK_FACE_INFO_QUERY", 19},
};

#define GALVORN_COUNT_ENTRY(name, value) +1
constexpr std::size_t kCommandEntries = 0 GALVORN_DEVICE_COMMANDS(GALVORN_COUNT_ENTRY);
constexpr std::size_t kCallbackEntries = 0 GALVORN_CALLBACK_TYPES(GALVORN_COUNT_ENTRY);
#undef GALVORN_COUNT_ENTRY

template <std::size_t N, typename NameOf>
void expectTable(const Id (&ids)[N], std::size_t entries, NameOf nameOf)
{
    std::set<std::string> names;
    for (const Id& id : ids) {
        const char* name = nameOf(id.value);
        ASSERT_NE(name, nullptr) << id.name << " has no entry at " << std::hex << id.value;
        EXPECT_STREQ(name, id.name) << std::hex << id.value;
        names.insert(id.name);
    }
    EXPECT_EQ(names.size(), N) << "a name is listed twice";
    EXPECT_EQ(entries, N) << "the table holds ids this list does not";
}

TEST(CommandIds, EveryCommandReplyAndEventHasItsWireValue)
{
    expectTable(kCommands, kCommandEntries,
                [](long long value) { return commandName(static_cast<tuint32>(value)); });
}

TEST(CommandIds, EveryCallbackTypeHasItsValue)
{
    expectTable(kCallbackTypes, kCallbackEntries,
                [](long long value) { return callbackTypeName(static_cast<tint32>(value)); });
}

} // namespace
