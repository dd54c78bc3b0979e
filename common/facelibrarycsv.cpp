#include "common/facelibrarycsv.h"

#include "common/wirebuffer.h"
#include "support/textcodec.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <system_error>
#include <unistd.h>

namespace galvorn::common {

namespace {

constexpr char kPictureExtension[] = ".jpg";
constexpr std::size_t kNameSize = 128;
constexpr std::size_t kCardNumberSize = 128;
constexpr std::size_t kPhoneSize = 64;
constexpr std::size_t kUnusedPictureFields = 12;
constexpr std::size_t kRemarkSize = 128;
// Copies of a picture name tried before the picture is given up: beyond this many
// persons of one name the folder is not worth searching further.
constexpr unsigned kMaxPictureCopies = 100000;

struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool isContinuationByte(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

bool isBlank(char byte)
{
    return byte == ' ' || byte == '\t';
}

bool isUnsafeByte(char byte)
{
    const auto value = static_cast<unsigned char>(byte);
    return byte == '/' || byte == '\\' || value < 0x20 || value == 0x7F;
}

struct PersonRecord
{
    std::int32_t listType = 0;
    std::string name;
    std::uint32_t gender = 0;
    std::int32_t age = 0;
    std::string cardNumber;
    std::string phone;
    std::uint32_t pictureLength = 0;
    std::string remark;
};

PersonRecord readRecord(std::span<const std::uint8_t> bytes)
{
    WireReader reader(bytes);
    PersonRecord record;
    reader.skip(4);
    // Made valid UTF-8 once, so that the cells and the picture's file name agree and a
    // reader does not take the whole table for another encoding.
    record.listType = static_cast<std::int32_t>(reader.u32());
    record.name = textcodec::sanitizeUtf8(reader.text(kNameSize));
    record.gender = reader.u32();
    record.age = static_cast<std::int32_t>(reader.u32());
    record.cardNumber = textcodec::sanitizeUtf8(reader.text(kCardNumberSize));
    record.phone = textcodec::sanitizeUtf8(reader.text(kPhoneSize));
    reader.skip(kUnusedPictureFields);
    record.pictureLength = reader.u32();
    record.remark = textcodec::sanitizeUtf8(reader.text(kRemarkSize));
    return record;
}

std::string rowText(const PersonRecord& record, const std::string& pictureName)
{
    // The table's gender column says 0 for male (device value 1) and 1 otherwise.
    const char* gender = record.gender == 1 ? "0" : "1";
    return csvCell(record.name) + "," + gender + "," + std::to_string(record.age) + "," +
           std::to_string(record.listType) + "," + csvCell(record.cardNumber) + "," +
           csvCell(record.phone) + "," + csvCell(record.remark) + "," + csvCell(pictureName) +
           "\r\n";
}

} // namespace

std::string csvCell(std::string_view text)
{
    // Readers drop the blanks around a cell that is not quoted.
    const bool blankEnds = !text.empty() && (isBlank(text.front()) || isBlank(text.back()));
    if (!blankEnds && text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string cell = "\"";
    for (const char c : text) {
        if (c == '"')
            cell += '"';
        cell += c;
    }
    cell += '"';
    return cell;
}

std::string pictureFileName(std::string_view name, std::string_view cardNumber, unsigned copy)
{
    std::string base = std::string(name) + "_" + std::string(cardNumber);
    for (char& c : base)
        if (isUnsafeByte(c))
            c = '_';
    if (base.front() == '.')
        base.front() = '_';
    const std::string ending = (copy > 1 ? "_" + std::to_string(copy) : "") + kPictureExtension;
    const std::size_t limit = kMaxPictureNameBytes - ending.size();
    if (base.size() > limit) {
        std::size_t cut = limit;
        while (cut > 0 && isContinuationByte(base[cut]))
            --cut;
        base.resize(cut);
    }
    return base + ending;
}

FaceLibraryCsv::FaceLibraryCsv(std::string folder, std::string tablePath)
    : folder_(std::move(folder)), tablePath_(std::move(tablePath))
{}

FaceLibraryCsv::Page FaceLibraryCsv::writePage(std::span<const std::uint8_t> payload)
{
    Page page;
    WireReader entries(payload);
    page.totalRecords = entries.u32();
    page.recordsInPage = entries.u32();
    page.wellFormed = entries.ok();
    if (!page.wellFormed)
        return page;

    std::error_code error;
    std::string text = std::filesystem::exists(tablePath_, error) ? "" : kCsvHeaderLine;
    for (std::uint32_t i = 0; i < page.recordsInPage; ++i) {
        const std::span<const std::uint8_t> recordBytes = entries.bytes(kPersonRecordSize);
        if (!entries.ok())
            break;
        const PersonRecord record = readRecord(recordBytes);
        const std::span<const std::uint8_t> picture = entries.bytes(record.pictureLength);
        if (!entries.ok())
            break;
        text += rowText(record, writePicture(record.name, record.cardNumber, picture));
        ++page.recordsWritten;
    }

    const File table(std::fopen(tablePath_.c_str(), "ab+"));
    if (table)
        std::fwrite(text.data(), 1, text.size(), table.get());
    return page;
}

std::string FaceLibraryCsv::writePicture(std::string_view name, std::string_view cardNumber,
                                         std::span<const std::uint8_t> bytes)
{
    const std::string first = pictureFileName(name, cardNumber);
    unsigned& next = nextCopy_.try_emplace(first, 1).first->second;
    for (; next <= kMaxPictureCopies; ++next) {
        const std::string fileName = pictureFileName(name, cardNumber, next);
        const std::string path = folder_ + "/" + fileName;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return first;
        const File picture(::fdopen(fd, "wb"));
        if (!picture) {
            ::close(fd);
            return fileName;
        }
        std::fwrite(bytes.data(), 1, bytes.size(), picture.get());
        ++next;
        return fileName;
    }
    return first;
}

} // namespace galvorn::common
