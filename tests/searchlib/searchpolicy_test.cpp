// How the search sizes itself to the number of cameras it expects.

#include "searchlib/devicetable.h"
#include "searchlib/searchpolicy.h"
#include "searchlib/wire.h"

#include <gtest/gtest.h>

namespace galvorn::searchlib {
namespace {

using namespace std::chrono_literals;

TEST(AnswerDelay, SpreadsTheExpectedCamerasWithinAQuarterPeriod)
{
    struct Row
    {
        std::size_t cameras;
        std::chrono::milliseconds period;
        std::uint16_t expected;
    };
    const Row rows[] = {
        {0, 5000ms, 100}, // a site not known yet: the floor
        {1, 5000ms, 100},
        {400, 5000ms, 100}, // 400 x 0.25 ms is the floor itself
        {1024, 5000ms, 256},
        {4096, 5000ms, 1024}, // the tracking cap
        {4097, 5000ms, 1024}, // more are never expected than tracked
        {100000, 5000ms, 1024},
        {4096, 2000ms, 500}, // a quarter period bounds the spread
        {0, 200ms, 50},      // and the floor too
        {0, 2ms, 0},
        {4096, 3'600'000ms, 1024},
        {4096, 100'000'000ms, 1024},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(answerDelayMs(row.cameras, row.period), row.expected)
            << row.cameras << " cameras, period " << row.period.count() << " ms";
    }
}

// The spread per camera times the tracking cap stays below the protocol's cap, so that
// the cap never cuts the spread of a full table.
TEST(AnswerDelay, AFullTableFitsTheProtocolsCap)
{
    const auto spread = kAnswerSpreadPerCamera * static_cast<int>(kMaxTrackedCameras);
    EXPECT_LE(std::chrono::duration_cast<std::chrono::milliseconds>(spread).count(),
              wire::kMaxAnswerDelayMs);
}

TEST(ReceiveBuffer, HoldsTheAnswersOfTheExpectedCameras)
{
    struct Row
    {
        std::size_t cameras;
        int expected;
    };
    const Row rows[] = {
        {0, 1 << 20},        {256, 1 << 20},           {257, 257 * 4096},
        {4096, 4096 * 4096}, {1'000'000, 4096 * 4096},
    };
    for (const Row& row : rows)
        EXPECT_EQ(receiveBufferBytes(row.cameras), row.expected) << row.cameras;
}

} // namespace
} // namespace galvorn::searchlib
