#pragma once

#include "support/inttypes.h"

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace galvorn {

// The per-run tables through which a device's error reaches its row: each operation
// records its device's current transfer id under the device key, and the reply handler
// records the device's result for that transfer id (the stored form, storedErrorCode()).
// Every camera numbers its own transfers, so two cameras of one parallel run may use the
// same id: results are kept per device and transfer id, never per id alone.
// A batch add also records how many of its persons each device took, for the front ends
// that count them. Written by workers and session threads, read by the GUI thread; every
// member locks.
class TransferTables
{
public:
    // The persons a device's batch add added, and those it did not add (refused, skipped,
    // or never sent because the batch add ended early).
    struct BatchAddCounts
    {
        std::size_t added = 0;
        std::size_t failed = 0;
    };

    // A later transfer of the same device replaces the earlier id.
    void setTransferId(std::string_view deviceKey, tuint32 transferId);
    std::optional<tuint32> transferId(std::string_view deviceKey) const;

    // 0 records that the transfer has no error.
    void setErrorCode(std::string_view deviceKey, tuint32 transferId, tint32 code);
    // 0 when none is recorded.
    tint32 errorCode(std::string_view deviceKey, tuint32 transferId) const;

    // The error code of the device's current transfer; 0 when it has none or the device
    // has no transfer.
    tint32 errorCodeOfDevice(std::string_view deviceKey) const;

    // Recorded before the device's final status is posted.
    void setBatchAddCounts(std::string_view deviceKey, const BatchAddCounts& counts);
    std::optional<BatchAddCounts> batchAddCounts(std::string_view deviceKey) const;

    void clear();

private:
    mutable std::mutex lock_;
    std::map<std::string, tuint32, std::less<>> transferIds_;
    std::map<std::pair<std::string, tuint32>, tint32> errorCodes_;
    std::map<std::string, BatchAddCounts, std::less<>> batchAddCounts_;
};

} // namespace galvorn
