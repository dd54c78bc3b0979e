#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/textcodec.h"

namespace galvorn {

// One row of a CSV table.
struct CsvRow
{
    std::vector<std::string> cells; // UTF-8, quotes removed
    std::size_t number = 0;         // 1 for the first row; blank lines are not rows
    std::size_t line = 0;           // the line on which the row starts, from 1, counting LFs
};

enum class CsvStatus : int
{
    Ok = 0,
    OpenFailed = 1,   // the file cannot be opened or read
    FileTooLarge = 2, // more than CsvReader::kMaxFileBytes
    CellTooLong = 3,  // a cell over CsvReader::kMaxCellBytes
    TooManyCells = 4, // a row over CsvReader::kMaxCellsPerRow
    OutOfMemory = 5,
};

// Reads the rows of a CSV table: cells separated by commas, cells in double quotes may
// hold commas, line breaks and doubled quotes, spaces and tabs around unquoted cells are
// dropped, blank lines are skipped, and an unterminated quote runs to the end of the
// text. The whole text is read and decoded to UTF-8 at open (see
// textcodec::detectEncoding for how the encoding is chosen); rows are then split one
// at a time, so memory stays bounded by the caps below whatever the file holds.
//
// A row that breaks a cap ends the reading: readRow() returns false and status() says
// why; the rows before it were delivered. Nothing throws.
class CsvReader
{
public:
    static constexpr std::size_t kMaxFileBytes = 64 << 20;
    // The longest cell. Spaces around a cell that are trimmed do not count, but a cell
    // whose raw text runs past twice this length is refused all the same.
    static constexpr std::size_t kMaxCellBytes = 64 << 10;
    static constexpr std::size_t kMaxCellsPerRow = 1024;

    CsvReader();
    ~CsvReader();
    CsvReader(const CsvReader&) = delete;
    CsvReader& operator=(const CsvReader&) = delete;

    // Reads and decodes the file; the reader then stands before its first row. On
    // failure the reader holds no rows.
    CsvStatus openFile(const std::string& path);
    // The same for the bytes of a file already in memory.
    CsvStatus openBytes(std::string_view bytes);

    // The next row. False at the end of the table or after a failure.
    bool readRow(CsvRow& row);

    CsvStatus status() const { return status_; }
    // The encoding the open text was read in.
    textcodec::Encoding encoding() const { return encoding_; }

private:
    struct Parser;

    void clear();
    void feedNextPiece();
    void addCell(const void* data, std::size_t size);
    void endRow();

    std::unique_ptr<Parser> parser_;
    std::string text_;
    std::size_t offset_ = 0;
    std::size_t line_ = 1;
    bool finished_ = true;
    CsvStatus status_ = CsvStatus::Ok;
    textcodec::Encoding encoding_ = textcodec::Encoding::Utf8;
    std::size_t rowsDone_ = 0;
    CsvRow current_;
    std::deque<CsvRow> ready_;
};

} // namespace galvorn
