#include "common/facefeatureimportandexport.h"

#include "common/wirebuffer.h"
#include "support/textcodec.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace galvorn::facefile {

namespace {

// Writes all of data at offset, retrying short writes and interruptions.
bool writeAllAt(int fd, std::span<const std::uint8_t> data, std::uint64_t offset)
{
    while (!data.empty()) {
        const ssize_t written = ::pwrite(fd, data.data(), data.size(), static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data = data.subspan(static_cast<std::size_t>(written));
        offset += static_cast<std::uint64_t>(written);
    }
    return true;
}

// Fills out from offset; false at a read error or when the file ends first.
bool readAllAt(int fd, std::span<std::uint8_t> out, std::uint64_t offset)
{
    while (!out.empty()) {
        const ssize_t got = ::pread(fd, out.data(), out.size(), static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out = out.subspan(static_cast<std::size_t>(got));
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

std::tm localNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return local;
}

} // namespace

std::string Header::updateDateText() const
{
    const std::string_view raw(updateDate.data(), updateDate.size());
    return textcodec::sanitizeUtf8(raw.substr(0, raw.find('\0')));
}

std::array<std::uint8_t, kHeaderSize> encodeHeader(const Header& header)
{
    common::WireWriter writer(kHeaderSize);
    writer.u32(header.magic);
    writer.u32(header.personCount);
    writer.u32(header.whitelistCount);
    writer.u32(header.blacklistCount);
    writer.u32(header.strangerCount);
    writer.text({header.updateDate.data(), header.updateDate.size()}, kUpdateDateSize);
    writer.u32(header.librarySize);
    const std::vector<std::uint8_t> bytes = writer.take();
    std::array<std::uint8_t, kHeaderSize> out{};
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

bool decodeHeader(std::span<const std::uint8_t> bytes, Header& header)
{
    common::WireReader reader(bytes.first(std::min(bytes.size(), kHeaderSize)));
    Header decoded;
    decoded.magic = reader.u32();
    decoded.personCount = reader.u32();
    decoded.whitelistCount = reader.u32();
    decoded.blacklistCount = reader.u32();
    decoded.strangerCount = reader.u32();
    const auto date = reader.bytes(kUpdateDateSize);
    std::copy(date.begin(), date.end(), decoded.updateDate.begin());
    decoded.librarySize = reader.u32();
    if (!reader.ok())
        return false;
    header = decoded;
    return true;
}

std::string fileName(std::string_view deviceKey, const std::tm& localTime,
                     std::string_view extension)
{
    std::string key(deviceKey);
    for (char& c : key) {
        if (c == ':')
            c = '-';
    }
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "_%d%02d%02d%02d%02d%02d", localTime.tm_year + 1900,
                  localTime.tm_mon + 1, localTime.tm_mday, localTime.tm_hour, localTime.tm_min,
                  localTime.tm_sec);
    return key + stamp + std::string(extension);
}

Check checkFile(std::uint64_t fileSize, std::span<const std::uint8_t> start, Header& header)
{
    if (fileSize <= kHeaderSize)
        return Check::TooSmall;
    if (fileSize >= kSizeLimit)
        return Check::TooLarge;
    if (!decodeHeader(start, header))
        return Check::ReadFailed;
    if (header.magic != kMagic)
        return Check::BadMagic;
    if (header.librarySize != fileSize - kHeaderSize)
        return Check::SizeMismatch;
    return Check::Valid;
}

Reader::~Reader()
{
    close();
}

Check Reader::open(const std::string& path)
{
    close();
    // O_NONBLOCK so that a FIFO chosen by mistake cannot hang the GUI thread; it has no
    // effect on the regular files that pass the check.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Check::OpenFailed;
    struct stat st
    {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Check::OpenFailed;
    }
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);
    std::array<std::uint8_t, kHeaderSize> start{};
    if (fileSize > kHeaderSize && fileSize < kSizeLimit && !readAllAt(fd, start, 0)) {
        ::close(fd);
        return Check::ReadFailed;
    }
    Header header;
    const Check check = checkFile(fileSize, start, header);
    if (check != Check::Valid) {
        ::close(fd);
        return check;
    }
    fd_ = fd;
    size_ = fileSize;
    mtime_ = st.st_mtim;
    header_ = header;
    return Check::Valid;
}

std::shared_ptr<const Reader> Reader::duplicate() const
{
    if (fd_ < 0)
        return nullptr;
    auto copy = std::make_shared<Reader>();
    copy->fd_ = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (copy->fd_ < 0)
        return nullptr;
    copy->size_ = size_;
    copy->mtime_ = mtime_;
    copy->header_ = header_;
    return copy;
}

void Reader::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    size_ = 0;
    mtime_ = {};
    header_ = {};
}

bool Reader::stillUnchanged() const
{
    struct stat st
    {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return false;
    return static_cast<std::uint64_t>(st.st_size) == size_ && st.st_mtim.tv_sec == mtime_.tv_sec &&
           st.st_mtim.tv_nsec == mtime_.tv_nsec;
}

bool Reader::readChunk(std::uint64_t offset, std::span<std::uint8_t> out) const
{
    if (offset > size_ || out.size() > size_ - offset)
        return false;
    // Size and time are compared with those of the check, so a change at any time before
    // or while the bytes were read shows in one look afterwards.
    return readAllAt(fd_, out, offset) && stillUnchanged();
}

Writer::Writer(std::string folder, std::string_view deviceKey)
    : Writer(std::move(folder), deviceKey, localNow())
{}

Writer::Writer(std::string folder, std::string_view deviceKey, const std::tm& localTime)
    : name_(fileName(deviceKey, localTime)), path_(folder + "/" + name_),
      partPath_(path_ + kPartSuffix)
{}

Writer::~Writer()
{
    discard();
}

bool Writer::open()
{
    const std::lock_guard guard(lock_);
    if (state_ != State::Created)
        return false;
    fd_ = ::open(partPath_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        state_ = State::Failed;
        return false;
    }
    state_ = State::Open;
    return true;
}

bool Writer::isOpen() const
{
    const std::lock_guard guard(lock_);
    return state_ == State::Open;
}

bool Writer::append(std::span<const std::uint8_t> chunk)
{
    const std::lock_guard guard(lock_);
    if (state_ != State::Open || writeFailed_)
        return false;
    const std::uint64_t offset = kHeaderSize + std::uint64_t{header_.librarySize};
    if (chunk.size() >= kSizeLimit - offset || !writeAllAt(fd_, chunk, offset)) {
        writeFailed_ = true;
        return false;
    }
    header_.librarySize += static_cast<std::uint32_t>(chunk.size());
    return true;
}

Header Writer::header() const
{
    const std::lock_guard guard(lock_);
    return header_;
}

bool Writer::close()
{
    const std::lock_guard guard(lock_);
    if (state_ != State::Open)
        return false;
    const bool written = !writeFailed_ && writeAllAt(fd_, encodeHeader(header_), 0);
    const bool synced = written && ::fsync(fd_) == 0;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    state_ = synced && closed ? State::Closed : State::Failed;
    return state_ == State::Closed;
}

bool Writer::commit()
{
    const std::lock_guard guard(lock_);
    if (state_ != State::Closed)
        return false;
    if (::rename(partPath_.c_str(), path_.c_str()) != 0) {
        discardLocked();
        return false;
    }
    state_ = State::Committed;
    return true;
}

void Writer::discard()
{
    const std::lock_guard guard(lock_);
    discardLocked();
}

void Writer::discardLocked()
{
    if (state_ == State::Committed || state_ == State::Discarded || state_ == State::Created)
        return;
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    ::unlink(partPath_.c_str());
    state_ = State::Discarded;
}

} // namespace galvorn::facefile
