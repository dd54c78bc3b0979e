// The CSV row reader and the text codecs under it, on the bytes of a table an operator
// brings: every cell comes out as valid UTF-8, rows are numbered in order, and a cell as
// the CSV export writes it reads back unchanged.
#include "common/facelibrarycsv.h"
#include "fuzz/fuzzinput.h"
#include "support/csvreader.h"
#include "support/textcodec.h"

#include <vector>

using namespace galvorn;
using galvorn::fuzz::text;

namespace {

void checkCodecs(std::string_view bytes)
{
    const std::string sane = textcodec::sanitizeUtf8(bytes);
    FUZZ_CHECK(textcodec::isValidUtf8(sane));
    FUZZ_CHECK(textcodec::sanitizeUtf8(sane) == sane);
    if (textcodec::isValidUtf8(bytes))
        FUZZ_CHECK(sane == bytes);
    FUZZ_CHECK(textcodec::utf16ToUtf8(textcodec::utf8ToUtf16(sane)) == sane);
    for (const bool bigEndian : {false, true})
        FUZZ_CHECK(textcodec::isValidUtf8(textcodec::utf16BytesToUtf8(bytes, bigEndian)));
    FUZZ_CHECK(textcodec::isValidUtf8(textcodec::localToUtf8(bytes)));
    // A cut never splits a character of a valid text.
    for (std::size_t limit = 0; limit <= sane.size() && limit < 64; ++limit) {
        const std::string_view cut = textcodec::truncateUtf8(sane, limit);
        FUZZ_CHECK(cut.size() <= limit && sane.starts_with(cut));
        FUZZ_CHECK(textcodec::isValidUtf8(cut));
    }
}

// Cells written the way the CSV export writes them read back as the same cells. A
// header line comes first, so that no cell stands where a byte-order mark would.
void checkRowWrittenBack(const CsvRow& row)
{
    if (row.cells.size() == 1 && row.cells[0].empty())
        return; // a line with one empty cell is a blank line
    std::string table = "header\r\n";
    for (std::size_t i = 0; i < row.cells.size(); ++i)
        table += (i == 0 ? "" : ",") + common::csvCell(row.cells[i]);
    table += "\r\n";
    CsvReader reader;
    FUZZ_CHECK(reader.openBytes(table) == CsvStatus::Ok);
    CsvRow back;
    FUZZ_CHECK(reader.readRow(back) && reader.readRow(back));
    FUZZ_CHECK(back.cells == row.cells);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes = text({data, size});
    checkCodecs(bytes);

    const textcodec::Encoding encoding = textcodec::detectEncoding(bytes);
    FUZZ_CHECK(textcodec::isValidUtf8(textcodec::decodeToUtf8(bytes, encoding)));

    CsvReader reader;
    if (reader.openBytes(bytes) != CsvStatus::Ok)
        return 0;
    FUZZ_CHECK(reader.encoding() == encoding);
    CsvRow row;
    std::size_t number = 0;
    while (reader.readRow(row)) {
        FUZZ_CHECK(row.number == ++number);
        FUZZ_CHECK(row.line >= 1);
        FUZZ_CHECK(row.cells.size() <= CsvReader::kMaxCellsPerRow);
        for (const std::string& cell : row.cells) {
            FUZZ_CHECK(cell.size() <= CsvReader::kMaxCellBytes);
            FUZZ_CHECK(textcodec::isValidUtf8(cell));
        }
        checkRowWrittenBack(row);
    }
    return 0;
}
