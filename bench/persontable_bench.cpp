#include "facelib/persontable.h"
#include "support/csvreader.h"
#include "tests/testkit/tempdir.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

using namespace galvorn;

constexpr std::size_t kRows = 100000;
constexpr int kYear = 2024;

const char kHeader[] = "(01)Name,(02)Gender,(03)Birth date,(06)List type,(07)Card number,"
                       "(08)Phone,(09)Remark,(12)Picture\r\n";

std::string tableRow(std::size_t i)
{
    char row[256];
    std::snprintf(row, sizeof row,
                  "Person %06zu 张伟,%zu,19%02zu/%02zu/%02zu,%zu,4401-0600-%04zu-%04zu,"
                  "+86 138 %04zu %04zu,\"Entrance B, shift %zu\",person_%06zu.jpg\r\n",
                  i, i % 2, 40 + i % 60, 1 + i % 12, 1 + i % 28, 1 + i % 3, i / 10000, i % 10000,
                  i / 1000, i % 1000, i % 3, i);
    return row;
}

// A folder whose table holds kRows persons with every column filled, in UTF-8.
const TempDir& tableFolder()
{
    static const TempDir dir;
    static const bool written = [] {
        std::string text = kHeader;
        for (std::size_t i = 0; i < kRows; ++i)
            text += tableRow(i);
        dir.write("persons.csv", text);
        return true;
    }();
    benchmark::DoNotOptimize(written);
    return dir;
}

void BM_ValidateAndBuild(benchmark::State& state)
{
    const std::string& folder = tableFolder().path();
    for (auto _ : state) {
        const PersonTableCheck check = ValidatePersonTable(folder);
        const std::vector<PersonInfo> persons = BuildPersonList(folder, kYear);
        if (check.fault || check.pictureNames.size() != kRows || persons.size() != kRows)
            state.SkipWithError("the table did not read whole");
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kRows));
}
BENCHMARK(BM_ValidateAndBuild)->Unit(benchmark::kMillisecond);

// The bound: one pass of the bare row reader over the same table.
void BM_CsvReaderBound(benchmark::State& state)
{
    const std::string path = tableFolder().file("persons.csv");
    for (auto _ : state) {
        CsvReader reader;
        reader.openFile(path);
        CsvRow row;
        std::size_t rows = 0;
        while (reader.readRow(row))
            ++rows;
        if (rows != kRows + 1)
            state.SkipWithError("the table did not read whole");
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kRows));
}
BENCHMARK(BM_CsvReaderBound)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
