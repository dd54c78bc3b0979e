#include "facelib/transfertables.h"

namespace galvorn {

void TransferTables::setTransferId(std::string_view deviceKey, tuint32 transferId)
{
    const std::lock_guard guard(lock_);
    transferIds_.insert_or_assign(std::string(deviceKey), transferId);
}

std::optional<tuint32> TransferTables::transferId(std::string_view deviceKey) const
{
    const std::lock_guard guard(lock_);
    const auto entry = transferIds_.find(deviceKey);
    if (entry == transferIds_.end())
        return std::nullopt;
    return entry->second;
}

void TransferTables::setErrorCode(std::string_view deviceKey, tuint32 transferId, tint32 code)
{
    const std::lock_guard guard(lock_);
    errorCodes_.insert_or_assign({std::string(deviceKey), transferId}, code);
}

tint32 TransferTables::errorCode(std::string_view deviceKey, tuint32 transferId) const
{
    const std::lock_guard guard(lock_);
    const auto entry = errorCodes_.find({std::string(deviceKey), transferId});
    return entry == errorCodes_.end() ? 0 : entry->second;
}

tint32 TransferTables::errorCodeOfDevice(std::string_view deviceKey) const
{
    const std::lock_guard guard(lock_);
    const auto id = transferIds_.find(deviceKey);
    if (id == transferIds_.end())
        return 0;
    const auto entry = errorCodes_.find({id->first, id->second});
    return entry == errorCodes_.end() ? 0 : entry->second;
}

void TransferTables::setBatchAddCounts(std::string_view deviceKey, const BatchAddCounts& counts)
{
    const std::lock_guard guard(lock_);
    batchAddCounts_.insert_or_assign(std::string(deviceKey), counts);
}

std::optional<TransferTables::BatchAddCounts>
TransferTables::batchAddCounts(std::string_view deviceKey) const
{
    const std::lock_guard guard(lock_);
    const auto entry = batchAddCounts_.find(deviceKey);
    if (entry == batchAddCounts_.end())
        return std::nullopt;
    return entry->second;
}

void TransferTables::clear()
{
    const std::lock_guard guard(lock_);
    transferIds_.clear();
    errorCodes_.clear();
    batchAddCounts_.clear();
}

} // namespace galvorn
