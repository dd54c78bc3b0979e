#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <sys/stat.h>

// The face-library data file: a 56-byte header made by this program, then the library
// data exactly as the device sent it. The program never looks inside the data area; it
// stores it on export and sends it back unchanged on import.
namespace galvorn::facefile {

inline constexpr std::size_t kHeaderSize = 56;
inline constexpr std::uint32_t kMagic = 0x00FFFFFF;
// A file must be smaller than this (1610612736 bytes) to be imported; the writer stops
// before a file would reach it.
inline constexpr std::uint64_t kSizeLimit = 0x60000000;
// The import sends the data area in pieces of this size.
inline constexpr std::size_t kImportChunkSize = 61440;
inline constexpr std::size_t kUpdateDateSize = 32;
inline constexpr char kExtension[] = ".dat";
// An export in progress writes to "<name>.part"; only a finished export gets the name.
inline constexpr char kPartSuffix[] = ".part";

// The header. The counts and the date are the device's business; this program writes
// them as zero and shows whatever a file holds.
struct Header
{
    std::uint32_t magic = kMagic;
    std::uint32_t personCount = 0;
    std::uint32_t whitelistCount = 0;
    std::uint32_t blacklistCount = 0;
    std::uint32_t strangerCount = 0;
    std::array<char, kUpdateDateSize> updateDate{}; // NUL-terminated when shorter
    std::uint32_t librarySize = 0;                  // bytes after the header

    // The date up to its first NUL (all 32 bytes when there is none), invalid UTF-8
    // repaired.
    std::string updateDateText() const;

    bool operator==(const Header&) const = default;
};

// The header as the file holds it: every integer little-endian, the date in its 32 bytes.
std::array<std::uint8_t, kHeaderSize> encodeHeader(const Header& header);
// False when fewer than kHeaderSize bytes are given; only the first kHeaderSize are read.
bool decodeHeader(std::span<const std::uint8_t> bytes, Header& header);

// "<key>_<YYYY><MM><DD><hh><mm><ss><extension>" with every ':' of the device key (its MAC
// text) replaced by '-'. The year is written in full, the other fields with two digits.
std::string fileName(std::string_view deviceKey, const std::tm& localTime,
                     std::string_view extension = kExtension);

// Why a file was or was not accepted for import, in the order of the checks.
enum class Check : int
{
    Valid = 0,
    OpenFailed = 1,   // missing, unreadable, or not a regular file
    TooSmall = 2,     // 56 bytes or fewer: a header with no data
    TooLarge = 3,     // kSizeLimit bytes or more
    ReadFailed = 4,   // the header could not be read
    BadMagic = 5,     // first word is not kMagic
    SizeMismatch = 6, // librarySize is not the file size minus the header
};

// Checks a file of fileSize bytes that starts with the given bytes (at least the header,
// unless the size check fails first). Fills header when the check gets that far.
Check checkFile(std::uint64_t fileSize, std::span<const std::uint8_t> start, Header& header);

// The data file chosen for import. It is checked once at open and then kept open
// read-only; the data is read piece by piece when it is sent, never held whole in memory.
// Every read first makes sure the file is still the one that was checked (same size and
// modification time), so a file that changes after the check makes reads fail rather
// than sending data that was never checked.
//
// After a successful open the object is read-only: readChunk() and stillUnchanged() may
// be called from any number of threads at once (pread, no shared offset).
class Reader
{
public:
    Reader() = default;
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Opens and checks the file (path as UTF-8). Anything but Valid leaves the reader
    // closed. A reader that is already open is closed first.
    Check open(const std::string& path);
    void close();

    // A reader of the same checked file on a descriptor of its own, expecting the same
    // size and modification time, so that this one may be closed or reopened while the
    // duplicate is read. Null when this reader is closed or no descriptor is left.
    std::shared_ptr<const Reader> duplicate() const;

    bool isOpen() const { return fd_ >= 0; }
    const Header& header() const { return header_; }
    std::uint64_t size() const { return size_; }

    // True when the open file still has the size and modification time it had when it
    // was checked.
    bool stillUnchanged() const;

    // Fills out with the file's bytes from offset on. False, with out's content
    // unspecified, when the range runs past the checked size, the file has changed, or
    // the read fails.
    bool readChunk(std::uint64_t offset, std::span<std::uint8_t> out) const;

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
    timespec mtime_{};
    Header header_;
};

// Writes one exported library. The name is fixed at construction from the local time;
// the data goes to "<path>.part", which is renamed to the final path only by commit().
// A writer destroyed without a commit removes its part file, so a failed, timed-out or
// cancelled export never leaves a file that passes the import check, and never touches
// an earlier file of the final name.
//
// The session's receive thread appends chunks while the export worker closes the file;
// every member is safe to call from any thread (one lock guards the file). Appends that
// arrive after close() are refused and written nowhere.
class Writer
{
public:
    // The name from the current local time.
    Writer(std::string folder, std::string_view deviceKey);
    Writer(std::string folder, std::string_view deviceKey, const std::tm& localTime);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    const std::string& name() const { return name_; }
    // "<folder>/<name>": where a committed export lives.
    const std::string& path() const { return path_; }
    const std::string& partPath() const { return partPath_; }

    // Creates (or truncates) the part file. False when it cannot be created.
    bool open();
    bool isOpen() const;

    // Writes a chunk after the data so far and adds its length to librarySize. False when
    // the file is not open, the write fails, or the file would reach kSizeLimit; a failed
    // append makes close() report failure.
    bool append(std::span<const std::uint8_t> chunk);

    // A copy of the header as it stands.
    Header header() const;

    // Writes the header at offset 0, flushes to disk and closes the file. True when the
    // file was open and every write since open() succeeded.
    bool close();

    // Gives the part file its final name, replacing a file of that name. Only after a
    // successful close(); false otherwise or when the rename fails (the part file is
    // then removed).
    bool commit();

    // Closes and removes the part file. Nothing happens after a commit.
    void discard();

private:
    enum class State
    {
        Created,
        Open,
        Closed,
        Failed,
        Committed,
        Discarded,
    };

    void discardLocked();

    mutable std::mutex lock_;
    std::string name_;
    std::string path_;
    std::string partPath_;
    State state_ = State::Created;
    int fd_ = -1;
    bool writeFailed_ = false;
    Header header_;
};

} // namespace galvorn::facefile
