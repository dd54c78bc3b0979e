#include "facelib/resultcodes.h"
#include "languagefixture.h"

#include <climits>
#include <set>
#include <string>

using namespace galvorn;

TEST(ResultCodes, TableCoversZeroToMinusEighteenOnceWithDistinctKeys)
{
    std::set<tint32> codes;
    std::set<std::string> keys;
    for (const ResultCodeKey& entry : resultCodeTable()) {
        EXPECT_TRUE(codes.insert(entry.code).second) << entry.code;
        EXPECT_TRUE(keys.insert(entry.key).second) << entry.key;
        EXPECT_STREQ(resultCodeKey(entry.code), entry.key) << entry.code;
    }
    for (tint32 code = 0; code >= -18; --code)
        EXPECT_EQ(codes.count(code), 1u) << code;
    EXPECT_EQ(codes.size(), 19u);
    EXPECT_EQ(keys.count(kUnknownResultKey), 0u);
}

TEST(ResultCodes, KnownAndUnknownCodes)
{
    EXPECT_STREQ(resultCodeKey(0), "IDCS_SUCCESS");
    EXPECT_STREQ(resultCodeKey(-6), "IDCS_BATCHIMPORT_SUCCESS");
    EXPECT_STREQ(resultCodeKey(-16), "IDCS_FACE_MATCH_IMPORT_FAIL");
    EXPECT_STREQ(resultCodeKey(-18), "IDCS_FACE_MATCH_PIC_TOO_LARGE");
    for (const tint32 code : {-19, 1, INT_MIN, INT_MAX, -1000})
        EXPECT_STREQ(resultCodeKey(code), kUnknownResultKey) << code;
}

TEST(ResultCodes, StoredCodesKeepNegativeResultsAndHidePositiveOnes)
{
    EXPECT_EQ(storedErrorCode(0), 0);
    EXPECT_EQ(storedErrorCode(static_cast<tuint32>(-6)), -6);
    EXPECT_EQ(storedErrorCode(static_cast<tuint32>(-18)), -18);
    EXPECT_EQ(storedErrorCode(1), static_cast<tint32>(0x80000101));
    EXPECT_EQ(storedErrorCode(0x100), static_cast<tint32>(0x80000100)) << "never 0 when non-zero";
    EXPECT_STREQ(resultCodeKey(storedErrorCode(1)), kUnknownResultKey);
    EXPECT_STREQ(resultCodeKey(storedErrorCode(6)), kUnknownResultKey);
}

class ResultTexts : public WithLanguage
{};

TEST_F(ResultTexts, EveryCodeHasATextInEveryLanguage)
{
    for (const std::uint32_t language : {kEnglish, kChinesePrc, kChineseTaiwan}) {
        use(language);
        for (const ResultCodeKey& entry : resultCodeTable())
            EXPECT_FALSE(resultCodeText(entry.code).empty()) << language << " " << entry.key;
        EXPECT_FALSE(resultCodeText(-19).empty()) << language;
    }
}
