#include "support/csvreader.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <csv.h>
#include <filesystem>
#include <fstream>
#include <new>
#include <system_error>

namespace galvorn {

namespace {

// Text handed to the tokenizer at once: one line, or this much of a longer one. It
// bounds the rows that one call can complete, and so the rows waiting in the queue.
constexpr std::size_t kPieceBytes = 64 << 10;

// The tokenizer grows its cell buffer through this function. Its buffer also holds a
// few bytes beyond the cell (quotes, spaces it trims later), so the limit here only
// bounds memory; addCell() applies the exact cap. Refusing makes the tokenizer stop
// with CSV_ENOMEM.
constexpr std::size_t kTokenizerBufferBytes = 2 * CsvReader::kMaxCellBytes;

void* cappedRealloc(void* block, std::size_t size)
{
    if (size > kTokenizerBufferBytes)
        return nullptr;
    return std::realloc(block, size);
}

// Reads a whole regular file of at most maxBytes bytes into bytes.
CsvStatus readFile(const std::string& path, std::size_t maxBytes, std::string& bytes)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return CsvStatus::OpenFailed;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error)
        return CsvStatus::OpenFailed;
    if (size > maxBytes)
        return CsvStatus::FileTooLarge;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return CsvStatus::OpenFailed;
    bytes.resize(static_cast<std::size_t>(size));
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad())
        return CsvStatus::OpenFailed;
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return CsvStatus::Ok;
}

} // namespace

struct CsvReader::Parser
{
    Parser()
    {
        csv_init(&state, 0);
        csv_set_realloc_func(&state, cappedRealloc);
    }
    ~Parser() { csv_free(&state); }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    // The tokenizer is C: nothing may unwind through it.
    static void onCell(void* data, std::size_t size, void* context)
    {
        auto* reader = static_cast<CsvReader*>(context);
        try {
            reader->addCell(data, size);
        } catch (const std::bad_alloc&) {
            reader->status_ = CsvStatus::OutOfMemory;
        }
    }
    static void onRowEnd(int, void* context)
    {
        auto* reader = static_cast<CsvReader*>(context);
        try {
            reader->endRow();
        } catch (const std::bad_alloc&) {
            reader->status_ = CsvStatus::OutOfMemory;
        }
    }

    csv_parser state{};
};

CsvReader::CsvReader() = default;

CsvReader::~CsvReader() = default;

void CsvReader::clear()
{
    parser_.reset();
    text_.clear();
    offset_ = 0;
    line_ = 1;
    finished_ = true;
    status_ = CsvStatus::Ok;
    encoding_ = textcodec::Encoding::Utf8;
    rowsDone_ = 0;
    current_ = {};
    ready_.clear();
}

CsvStatus CsvReader::openFile(const std::string& path)
{
    clear();
    try {
        std::string bytes;
        status_ = readFile(path, kMaxFileBytes, bytes);
        if (status_ != CsvStatus::Ok)
            return status_;
        return openBytes(bytes);
    } catch (const std::bad_alloc&) {
        clear();
        status_ = CsvStatus::OutOfMemory;
        return status_;
    }
}

CsvStatus CsvReader::openBytes(std::string_view bytes)
{
    clear();
    if (bytes.size() > kMaxFileBytes) {
        status_ = CsvStatus::FileTooLarge;
        return status_;
    }
    try {
        encoding_ = textcodec::detectEncoding(bytes);
        text_ = textcodec::decodeToUtf8(bytes, encoding_);
        parser_ = std::make_unique<Parser>();
    } catch (const std::bad_alloc&) {
        clear();
        status_ = CsvStatus::OutOfMemory;
        return status_;
    }
    finished_ = false;
    return status_;
}

bool CsvReader::readRow(CsvRow& row)
{
    while (ready_.empty() && status_ == CsvStatus::Ok && !finished_)
        feedNextPiece();
    if (ready_.empty())
        return false;
    row = std::move(ready_.front());
    ready_.pop_front();
    return true;
}

void CsvReader::feedNextPiece()
{
    if (offset_ >= text_.size()) {
        csv_fini(&parser_->state, Parser::onCell, Parser::onRowEnd, this);
        finished_ = true;
        return;
    }
    const std::string_view rest = std::string_view(text_).substr(offset_);
    const std::size_t lineEnd = rest.find('\n');
    const std::size_t length =
        std::min(kPieceBytes, lineEnd == std::string_view::npos ? rest.size() : lineEnd + 1);
    const std::size_t used =
        csv_parse(&parser_->state, rest.data(), length, Parser::onCell, Parser::onRowEnd, this);
    offset_ += length;
    if (used < length && status_ == CsvStatus::Ok) {
        // Without strict mode the tokenizer fails only when its cell buffer cannot grow.
        status_ = CsvStatus::CellTooLong;
        return;
    }
    if (rest[length - 1] == '\n')
        ++line_;
}

void CsvReader::addCell(const void* data, std::size_t size)
{
    if (status_ != CsvStatus::Ok)
        return;
    if (size > kMaxCellBytes) {
        status_ = CsvStatus::CellTooLong;
        return;
    }
    if (current_.cells.size() >= kMaxCellsPerRow) {
        status_ = CsvStatus::TooManyCells;
        return;
    }
    current_.cells.emplace_back(size == 0 ? std::string()
                                          : std::string(static_cast<const char*>(data), size));
}

void CsvReader::endRow()
{
    if (status_ != CsvStatus::Ok)
        return;
    std::size_t linesInside = 0;
    for (const std::string& cell : current_.cells)
        linesInside += static_cast<std::size_t>(std::count(cell.begin(), cell.end(), '\n'));
    current_.number = ++rowsDone_;
    current_.line = line_ - linesInside;
    ready_.push_back(std::move(current_));
    current_ = {};
}

} // namespace galvorn
