#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>

// The CSV export of a face library: a person table with one row per person and one JPEG
// file per person, written page by page as the device sends its person records.
namespace galvorn::common {

// A person record of a page as the device sends it; its picture follows it.
inline constexpr std::size_t kPersonRecordSize = 480;
// The longest picture file name written, ".jpg" included.
inline constexpr std::size_t kMaxPictureNameBytes = 200;

// The table's first line.
inline constexpr char kCsvHeaderLine[] = "(01)Name,(02)Gender,(03)Age,(06)List type,"
                                         "(07)Card number,(08)Phone,(09)Remark,(12)Image name\r\n";

// The cell as the table holds it: unchanged, or, when it holds a comma, a double quote,
// CR or LF or begins or ends with a blank, in double quotes with its quotes doubled, so
// that it reads back as one cell, blanks included.
std::string csvCell(std::string_view text);

// A file name for the picture of a person, made from texts the device sends: "/", "\",
// NUL and control characters become "_", a leading "." becomes "_", and the name is cut
// (at a character boundary) so that it ends in ".jpg" within kMaxPictureNameBytes. The
// result names a file directly inside the export folder. Copy 2, 3, ... of a name, for
// persons who would share it, has "_2", "_3", ... before ".jpg", within the same bound.
std::string pictureFileName(std::string_view name, std::string_view cardNumber, unsigned copy = 1);

// Writes the pages of one CSV export: the table file (appended to, the header line only
// when the file does not exist yet) and the pictures beside it. Texts from the device
// are made valid UTF-8 before they go into a cell or a file name. Every picture file is
// created anew, never overwritten: when its name is taken (two persons with the same
// name and card number, on this camera or on another exporting into the same folder) the
// next copy's name is used, and the row names the file actually written. Not
// thread-safe; the owner serialises the pages.
class FaceLibraryCsv
{
public:
    struct Page
    {
        // The payload held the two counts; nothing is written otherwise.
        bool wellFormed = false;
        std::uint32_t totalRecords = 0;
        std::uint32_t recordsInPage = 0;
        // Records whose row and picture bytes lay inside the payload.
        std::uint32_t recordsWritten = 0;
    };

    // `folder` holds the pictures; `tablePath` is the table file.
    FaceLibraryCsv(std::string folder, std::string tablePath);

    const std::string& tablePath() const { return tablePath_; }

    // One page: u32 totalRecords, u32 recordsInPage, then the records, each followed by
    // its picture. A payload shorter than the two counts is not a page. The walk stops at
    // the first record that runs past the payload. A table or picture that cannot be
    // written is skipped; the counts are still returned.
    Page writePage(std::span<const std::uint8_t> payload);

private:
    // Writes the picture under the first free copy of its name; that name, or the first
    // one when no file could be created.
    std::string writePicture(std::string_view name, std::string_view cardNumber,
                             std::span<const std::uint8_t> bytes);

    std::string folder_;
    std::string tablePath_;
    // Per first name, the copy to try next, so that many persons of one name do not try
    // every taken name again.
    std::map<std::string, unsigned> nextCopy_;
};

} // namespace galvorn::common
