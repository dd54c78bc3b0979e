#pragma once

#include "tools/devsim/deviceface_replies.h"
#include "tools/devsim/faceadd.h"
#include "tools/devsim/facelibrary.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace galvorn::devsim {

// A fault of the face-library requests, taking effect at the faultAt-th face-library
// request of a connection (counted from 1 over start, export data, import chunk, end and
// info query).
enum class TransferFault
{
    None,
    // The connection is closed without an answer.
    Close,
    // That request and every later one of the connection get no answer.
    Silent,
    // An export data request is answered with state 0 (failed).
    FailState,
    // The end request is answered after lateChunks extra export data chunks.
    LateChunks,
};

// The camera's face library and how it answers the transfer requests; the facelib.*
// configuration keys.
struct FaceLibrarySettings
{
    // Where the library is kept (empty: in memory only).
    std::string folder;
    // Persons generated when the library is empty at start.
    std::size_t seedPersons = 0;
    // The face-library password the start request must carry (empty: any).
    std::string password;
    // Library bytes per export data reply.
    std::size_t chunkSize = 16384;
    // Refusal codes per request (0: accepted), sent as the reply's result.
    std::int32_t refuseStart = 0;
    std::int32_t refuseExportData = 0;
    std::int32_t refuseImportChunk = 0;
    std::int32_t refuseEnd = 0;
    TransferFault fault = TransferFault::None;
    unsigned faultAt = 0;
    unsigned lateChunks = 3;
    // The answers to add requests.
    FaceAddRules adds;
};

// Device results of the face-library requests.
inline constexpr std::int32_t kWrongLibraryPassword = -17;
inline constexpr std::int32_t kLibraryDataIncorrect = -10;
inline constexpr std::int32_t kNotExportMode = -13;
inline constexpr std::int32_t kNotImportMode = -14;
// The largest import a camera takes.
inline constexpr std::size_t kMaxImportBytes = 256u << 20;

inline constexpr std::string_view kFaceLibraryKeyPrefix = "facelib.";
// Applies one "facelib.<name> = value" setting. Empty result on success, else the reason.
std::string applyFaceLibrarySetting(FaceLibrarySettings& settings, std::string_view key,
                                    std::string_view value);

// What the camera does with one face-library request.
struct FaceAnswer
{
    std::vector<DeviceReply> replies;
    // Close the connection after sending the replies.
    bool close = false;
    // The replies leave this much later, after every reply made before them.
    std::chrono::milliseconds delay{0};
};

// The face library of one camera and its requests: the transfers (start, export data,
// import chunk, end), the info query and the add request. Connections are told apart by
// a number of the caller's choosing; each has at most one transfer at a time. An import
// replaces the library, and persists it, only when its blob parses and its end request is
// accepted. An added person is in the library at once, for every later export and query;
// writing the whole library for each of thousands of adds would make the simulated
// camera slower than a real one, so adds are persisted when a connection ends and on
// request (persist()). Used on the reactor thread only.
class FaceTransferService
{
public:
    explicit FaceTransferService(FaceLibrarySettings settings);

    // Loads (and seeds) the library. False, with the reason, when it cannot.
    bool open(std::string& error);

    static bool handles(std::uint32_t command);
    FaceAnswer answer(unsigned connection, std::uint32_t command, std::uint32_t parameter,
                      std::span<const std::uint8_t> payload);
    // The connection is gone; its transfer is dropped and unsaved adds are persisted.
    void forget(unsigned connection);
    // Writes the library to its folder now. False when it cannot be written.
    bool persist();

    FaceLibrarySettings& settings() { return settings_; }
    const FaceLibrary& library() const { return library_; }

private:
    enum class Mode
    {
        Idle,
        Export,
        Import,
    };

    struct Transfer
    {
        unsigned requests = 0;
        bool silent = false;
        Mode mode = Mode::Idle;
        std::uint32_t id = 0;
        // Export: the library as it was at the start; import: the bytes received.
        std::shared_ptr<const std::vector<std::uint8_t>> exported;
        std::vector<std::uint8_t> blob;
        std::size_t position = 0;
        bool importComplete = false;
        // The persons of a complete import whose blob parsed.
        std::optional<std::vector<Person>> imported;
    };

    std::vector<DeviceReply> onStart(Transfer& transfer, std::uint32_t parameter,
                                     std::span<const std::uint8_t> payload);
    std::vector<DeviceReply> onExportData(Transfer& transfer, std::uint32_t parameter,
                                          bool failState);
    std::vector<DeviceReply> onImportChunk(Transfer& transfer, std::uint32_t parameter,
                                           std::span<const std::uint8_t> payload);
    std::vector<DeviceReply> onEnd(Transfer& transfer, std::uint32_t parameter,
                                   std::span<const std::uint8_t> payload, bool lateChunks);
    std::vector<DeviceReply> onQuery(std::uint32_t parameter,
                                     std::span<const std::uint8_t> payload) const;
    DeviceReply exportChunk(Transfer& transfer, std::uint32_t parameter) const;
    FaceAnswer onAdd(std::uint32_t sequence, std::span<const std::uint8_t> payload);

    FaceLibrarySettings settings_;
    FaceLibrary library_;
    std::map<unsigned, Transfer> transfers_;
    std::uint32_t nextTransferId_ = 1;
    // Persons were added since the library was last written.
    bool unsaved_ = false;
};

} // namespace galvorn::devsim
