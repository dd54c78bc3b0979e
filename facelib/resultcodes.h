#pragma once

#include "support/inttypes.h"

#include <span>
#include <string>

namespace galvorn {

// A device's face-library result code and the message key of its text.
struct ResultCodeKey
{
    tint32 code;
    const char* key;
};

// The key of every code the devices are known to report: 0 for success and -1 to -18.
std::span<const ResultCodeKey> resultCodeTable();

// The key shown for codes that are not in the table.
inline constexpr char kUnknownResultKey[] = "IDCS_FACE_MATCH_UNKOWN";

// The bits set on a device's non-zero result before it is stored, so that a stored code
// is never 0. The devices' own codes are negative and keep their value; a positive code
// becomes a large negative number that is not in the table.
inline constexpr tuint32 kDeviceErrorBits = 0x80000100;

// The code stored for a device's result word: 0 stays 0, anything else gets
// kDeviceErrorBits.
tint32 storedErrorCode(tuint32 result);

// The key of a code: its table entry, or kUnknownResultKey.
const char* resultCodeKey(tint32 code);

// The language-table text of a code's key.
std::string resultCodeText(tint32 code);

} // namespace galvorn
