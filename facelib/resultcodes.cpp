#include "facelib/resultcodes.h"

#include "config/languagetable.h"

#include <algorithm>
#include <array>

namespace galvorn {

namespace {

constexpr std::array<ResultCodeKey, 19> kResultCodes{{
    {0, "IDCS_SUCCESS"},
    {-1, "IDCS_FACE_MATCH_NOT_WORK"},
    {-2, "IDCS_FACE_MATCH_PARAM_ERR"},
    {-3, "IDCS_FACE_MATCH_EXTRACT_FEATURE_FAIL"},
    {-4, "IDCS_FACE_MATCH_MATCH_FAIL"},
    {-5, "IDCS_FACE_MATCH_NOT_ONLY_ONE_FACE"},
    {-6, "IDCS_BATCHIMPORT_SUCCESS"},
    {-7, "IDCS_FACE_MATCH_GET_AUTH_CODE_FAIL"},
    {-8, "IDCS_FACE_MATCH_INIT_ALGORITHM_FAIL"},
    {-9, "IDCS_FACE_MATCH_FILE_OPERATE_FAIL"},
    {-10, "IDCS_FACE_MATCH_FILE_DATA_INCORRECT"},
    {-11, "IDCS_FACE_MATCH_PIC_FORMAT_UNSUPPORT"},
    {-12, "IDCS_FACE_MATCH_PIC_DATA_INCORRECT"},
    {-13, "IDCS_FACE_MATCH_NOT_EXPORT_MODE"},
    {-14, "IDCS_FACE_MATCH_NOT_IMPORT_MODE"},
    {-15, "IDCS_FACE_MATCH_EXPORT_FAIL"},
    {-16, "IDCS_FACE_MATCH_IMPORT_FAIL"},
    {-17, "IDCS_FACE_MATCH_VERIFY_FAIL"},
    {-18, "IDCS_FACE_MATCH_PIC_TOO_LARGE"},
}};

} // namespace

std::span<const ResultCodeKey> resultCodeTable()
{
    return kResultCodes;
}

tint32 storedErrorCode(tuint32 result)
{
    return static_cast<tint32>(result == 0 ? 0 : result | kDeviceErrorBits);
}

const char* resultCodeKey(tint32 code)
{
    const auto entry = std::find_if(kResultCodes.begin(), kResultCodes.end(),
                                    [code](const ResultCodeKey& e) { return e.code == code; });
    return entry == kResultCodes.end() ? kUnknownResultKey : entry->key;
}

std::string resultCodeText(tint32 code)
{
    return languageText(resultCodeKey(code));
}

} // namespace galvorn
