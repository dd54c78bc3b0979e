#pragma once

#include "facelib/personinfo.h"
#include "platform/picturecodec.h"
#include "support/inttypes.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

namespace galvorn {

// Why a person's picture cannot be sent.
enum class PictureFault
{
    None,
    Missing,     // no file of that name
    Unreadable,  // not a regular file, too large, or a read failed
    Undecodable, // read, but the decoder does not know it
};

// A person's picture as its add request carries it.
struct PreparedPicture
{
    // False when the file is missing, cannot be read, or is not a picture the decoder
    // knows (`fault` says which): the person gets no request.
    bool readable = false;
    PictureFault fault = PictureFault::Missing;
    // The file was encoded again as JPEG because the device would not take it as it is.
    bool reencoded = false;
    std::shared_ptr<const std::vector<std::uint8_t>> bytes;
    platform::PictureSize size;
    // kPictureFormatJpeg when the file is named .jpg or .jpeg, whatever its content.
    tint32 format = 0;

    std::size_t byteCount() const { return bytes ? bytes->size() : 0; }
};

struct PictureLimits
{
    // A JPEG file up to this size goes to the device as it is; a larger file, or one that
    // is not JPEG, is re-encoded.
    static constexpr std::size_t kMaxDirectBytes = 204800;
    // Larger files are not read at all.
    static constexpr std::size_t kMaxFileBytes = 64u << 20;

    // Persons prepared ahead of the one the device is answering.
    std::size_t lookAhead = 16;
    // Bytes of prepared pictures waiting to be sent; the pool pauses beyond it.
    std::size_t aheadBytes = 64u << 20;
    // Pictures a run keeps for its later devices.
    std::size_t cacheBytes = 256u << 20;
    // Preparing threads; 0 for the processor count, at most 4.
    unsigned threads = 0;

    // The limits of one of `devices` served at once: the look-ahead bytes are split among
    // them, so that the run stays within its bound however many devices it serves.
    PictureLimits sharedBy(std::size_t devices) const;
};

// Reads the person's picture and re-encodes it when the device would not take it as it
// is. The person's own file is only read.
PreparedPicture PreparePicture(const PersonInfo& person, const platform::PictureCodec& codec);

// The pictures a run has prepared, by person index, so that the run's other devices do
// not decode and encode them again. Pictures beyond the byte bound are not kept.
// Thread-safe.
class PictureCache
{
public:
    explicit PictureCache(std::size_t limitBytes) : limit_(limitBytes) {}

    std::optional<PreparedPicture> find(std::size_t person) const;
    void store(std::size_t person, const PreparedPicture& picture);
    // The person's picture: the one kept, or the one another thread is preparing now
    // (waited for), or else the one `prepare` makes, which is then kept within the bound.
    // Devices served at once thus prepare each picture once.
    PreparedPicture obtain(std::size_t person, const std::function<PreparedPicture()>& prepare);
    std::size_t bytes() const;
    // Drops every picture; pictures already handed out stay valid.
    void clear();

private:
    // A picture one thread is preparing while others wait for it.
    struct Pending
    {
        bool done = false;
        PreparedPicture picture;
    };

    void storeLocked(std::size_t person, const PreparedPicture& picture);
    void publish(std::size_t person, const std::shared_ptr<Pending>& pending,
                 PreparedPicture picture);

    mutable std::mutex lock_;
    std::condition_variable prepared_;
    std::unordered_map<std::size_t, PreparedPicture> pictures_;
    std::unordered_map<std::size_t, std::shared_ptr<Pending>> preparing_;
    std::size_t bytes_ = 0;
    const std::size_t limit_;
};

// Prepares the pictures of one device's batch add ahead of its requests, on a small pool
// of threads, so that decoding and encoding overlap the device's answers. At most
// lookAhead persons and about aheadBytes of pictures wait at any time. The persons, the
// codec and the cache must outlive the pipeline.
class PicturePipeline
{
public:
    PicturePipeline(const std::vector<PersonInfo>& persons, const platform::PictureCodec& codec,
                    PictureCache& cache, const PictureLimits& limits);
    // Stops the pool and waits for it; pictures not taken are dropped.
    ~PicturePipeline();

    PicturePipeline(const PicturePipeline&) = delete;
    PicturePipeline& operator=(const PicturePipeline&) = delete;

    // The picture of the next person in list order; blocks until it is ready. Called at
    // most once per person.
    PreparedPicture next();

private:
    PreparedPicture prepare(std::size_t index) const;
    bool mayStartNext() const;
    void work();

    const std::vector<PersonInfo>& persons_;
    const platform::PictureCodec& codec_;
    PictureCache& cache_;
    const PictureLimits limits_;

    std::mutex lock_;
    std::condition_variable ready_;
    std::condition_variable space_;
    std::size_t nextToPrepare_ = 0;
    std::size_t nextToTake_ = 0;
    std::size_t waitingBytes_ = 0;
    bool stopping_ = false;
    std::map<std::size_t, PreparedPicture> done_;
    std::vector<std::thread> threads_;
};

} // namespace galvorn
