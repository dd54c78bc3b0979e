#include "facelib/picturepipeline.h"

#include "common/faceimageadd.h"
#include "config/inifile.h"
#include "platform/wholefile.h"

#include <algorithm>
#include <string_view>

namespace galvorn {

namespace {

constexpr unsigned kMaxThreads = 4;

tint32 pictureFormat(std::string_view path)
{
    const std::string_view name = path.substr(path.find_last_of('/') + 1);
    const auto dot = name.find_last_of('.');
    if (dot == std::string_view::npos)
        return 0;
    const std::string_view extension = name.substr(dot + 1);
    const bool jpeg = equalsIgnoringCase(extension, "jpg") || equalsIgnoringCase(extension, "jpeg");
    return jpeg ? common::kPictureFormatJpeg : 0;
}

// The whole picture file; nothing, with `fault` saying why, when it cannot be sent.
std::optional<std::vector<std::uint8_t>> readPictureFile(const std::string& path,
                                                         PictureFault& fault)
{
    platform::WholeFileFault why = platform::WholeFileFault::None;
    auto bytes = platform::ReadWholeFile(path, PictureLimits::kMaxFileBytes, why);
    fault =
        why == platform::WholeFileFault::Missing ? PictureFault::Missing : PictureFault::Unreadable;
    return bytes;
}

bool startsAsJpeg(const std::vector<std::uint8_t>& bytes)
{
    return bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8;
}

} // namespace

PreparedPicture PreparePicture(const PersonInfo& person, const platform::PictureCodec& codec)
{
    PreparedPicture picture;
    picture.format = pictureFormat(person.picturePath);
    auto bytes = readPictureFile(person.picturePath, picture.fault);
    if (!bytes)
        return picture;
    picture.fault = PictureFault::Undecodable;
    picture.reencoded = bytes->size() > PictureLimits::kMaxDirectBytes || !startsAsJpeg(*bytes);
    if (picture.reencoded) {
        auto jpeg = codec.toJpeg(*bytes);
        if (!jpeg)
            return picture;
        picture.size = jpeg->size;
        picture.bytes = std::make_shared<const std::vector<std::uint8_t>>(std::move(jpeg->bytes));
    } else {
        const auto size = codec.measure(*bytes);
        if (!size)
            return picture;
        picture.size = *size;
        picture.bytes = std::make_shared<const std::vector<std::uint8_t>>(std::move(*bytes));
    }
    picture.readable = true;
    picture.fault = PictureFault::None;
    return picture;
}

PictureLimits PictureLimits::sharedBy(std::size_t devices) const
{
    PictureLimits shared = *this;
    shared.aheadBytes /= std::max<std::size_t>(devices, 1);
    return shared;
}

// --- PictureCache ---------------------------------------------------------------------

std::optional<PreparedPicture> PictureCache::find(std::size_t person) const
{
    const std::lock_guard guard(lock_);
    const auto entry = pictures_.find(person);
    if (entry == pictures_.end())
        return std::nullopt;
    return entry->second;
}

void PictureCache::store(std::size_t person, const PreparedPicture& picture)
{
    const std::lock_guard guard(lock_);
    storeLocked(person, picture);
}

void PictureCache::storeLocked(std::size_t person, const PreparedPicture& picture)
{
    if (bytes_ + picture.byteCount() > limit_ || pictures_.contains(person))
        return;
    pictures_.emplace(person, picture);
    bytes_ += picture.byteCount();
}

PreparedPicture PictureCache::obtain(std::size_t person,
                                     const std::function<PreparedPicture()>& prepare)
{
    std::unique_lock guard(lock_);
    if (const auto kept = pictures_.find(person); kept != pictures_.end())
        return kept->second;
    if (const auto other = preparing_.find(person); other != preparing_.end()) {
        const std::shared_ptr<Pending> pending = other->second;
        prepared_.wait(guard, [&pending] { return pending->done; });
        return pending->picture;
    }
    const auto pending = std::make_shared<Pending>();
    preparing_.emplace(person, pending);
    guard.unlock();
    // Whatever happens to the preparation, its waiters are released.
    struct Publisher
    {
        PictureCache& cache;
        std::size_t person;
        const std::shared_ptr<Pending>& pending;
        PreparedPicture picture;
        ~Publisher() { cache.publish(person, pending, std::move(picture)); }
    } publisher{*this, person, pending, {}};
    publisher.picture = prepare();
    return publisher.picture;
}

void PictureCache::publish(std::size_t person, const std::shared_ptr<Pending>& pending,
                           PreparedPicture picture)
{
    {
        const std::lock_guard guard(lock_);
        storeLocked(person, picture);
        pending->picture = std::move(picture);
        pending->done = true;
        preparing_.erase(person);
    }
    prepared_.notify_all();
}

std::size_t PictureCache::bytes() const
{
    const std::lock_guard guard(lock_);
    return bytes_;
}

void PictureCache::clear()
{
    const std::lock_guard guard(lock_);
    pictures_.clear();
    bytes_ = 0;
}

// --- PicturePipeline ------------------------------------------------------------------

PicturePipeline::PicturePipeline(const std::vector<PersonInfo>& persons,
                                 const platform::PictureCodec& codec, PictureCache& cache,
                                 const PictureLimits& limits)
    : persons_(persons), codec_(codec), cache_(cache), limits_(limits)
{
    unsigned count = limits_.threads;
    if (count == 0)
        count = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxThreads);
    count = static_cast<unsigned>(std::min<std::size_t>(count, persons_.size()));
    try {
        for (unsigned i = 0; i < count; ++i)
            threads_.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
        // Fewer threads, or none: next() then prepares the picture itself.
    }
}

PicturePipeline::~PicturePipeline()
{
    {
        const std::lock_guard guard(lock_);
        stopping_ = true;
    }
    space_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

PreparedPicture PicturePipeline::prepare(std::size_t index) const
{
    return cache_.obtain(index, [&] { return PreparePicture(persons_[index], codec_); });
}

bool PicturePipeline::mayStartNext() const
{
    if (nextToPrepare_ >= persons_.size() || nextToPrepare_ >= nextToTake_ + limits_.lookAhead)
        return false;
    // With nothing waiting the next person always starts, so a picture larger than the
    // bound cannot stall the pipeline.
    return done_.empty() || waitingBytes_ < limits_.aheadBytes;
}

void PicturePipeline::work()
{
    std::unique_lock guard(lock_);
    for (;;) {
        space_.wait(guard, [this] {
            return stopping_ || nextToPrepare_ >= persons_.size() || mayStartNext();
        });
        if (stopping_ || nextToPrepare_ >= persons_.size())
            return;
        const std::size_t index = nextToPrepare_++;
        guard.unlock();
        PreparedPicture picture = prepare(index);
        guard.lock();
        waitingBytes_ += picture.byteCount();
        done_.emplace(index, std::move(picture));
        ready_.notify_all();
    }
}

PreparedPicture PicturePipeline::next()
{
    std::unique_lock guard(lock_);
    if (nextToTake_ >= persons_.size())
        return {};
    const std::size_t index = nextToTake_++;
    if (threads_.empty()) {
        guard.unlock();
        return prepare(index);
    }
    space_.notify_all();
    ready_.wait(guard, [&] { return done_.contains(index); });
    auto entry = done_.find(index);
    PreparedPicture picture = std::move(entry->second);
    done_.erase(entry);
    waitingBytes_ -= picture.byteCount();
    guard.unlock();
    space_.notify_all();
    return picture;
}

} // namespace galvorn
