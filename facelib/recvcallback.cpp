#include "facelib/recvcallback.h"

#include "common/wirebuffer.h"
#include "device/commandids.h"
#include "facelib/runstate.h"

#include <optional>
#include <span>

namespace galvorn {

namespace {

bool isLinkLost(tint32 type, tint32 length, const void* data)
{
    return type == device::CALLBACK_LINK_LOST || (data == nullptr && length == -1);
}

std::span<const std::uint8_t> payloadOf(tint32 length, const void* data)
{
    if (data == nullptr || length <= 0)
        return {};
    return {static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(length)};
}

bool isTransfer(OperationType operation)
{
    return operation == OperationType::ExportData || operation == OperationType::ImportData;
}

// The result word that opens a start, chunk or end reply; nothing for a shorter payload.
std::optional<tuint32> readResult(std::span<const std::uint8_t> payload)
{
    common::WireReader reader(payload);
    const tuint32 result = reader.u32();
    return reader.ok() ? std::optional(result) : std::nullopt;
}

// A start reply: the result and the transfer id. An accepted start must carry the id; a
// refusal is understood without it.
std::optional<TransferReply> readStartReply(std::span<const std::uint8_t> payload)
{
    common::WireReader reader(payload);
    TransferReply reply;
    reply.result = reader.u32();
    const bool refused = reader.ok() && reply.result != 0;
    reply.transferId = reader.u32();
    if (!reader.ok() && !refused)
        return std::nullopt;
    return reply;
}

void dispatch(FaceTransfer& transfer, OperationType operation, tint32 type,
              std::span<const std::uint8_t> payload)
{
    switch (type) {
    case device::CALLBACK_FACE_TRANSFER_START:
        if (isTransfer(operation))
            transfer.onStartReply(readStartReply(payload));
        return;
    case device::CALLBACK_FACE_IMPORT_DATA:
        if (operation == OperationType::ImportData)
            transfer.onImportAck(readResult(payload));
        return;
    case device::CALLBACK_FACE_EXPORT_DATA:
        if (operation == OperationType::ExportData)
            transfer.onExportData(payload);
        return;
    case device::CALLBACK_FACE_TRANSFER_END:
        if (isTransfer(operation))
            transfer.onEndReply(readResult(payload));
        return;
    case device::CALLBACK_FACE_INFO_QUERY:
        if (operation == OperationType::ExportCsv)
            transfer.onPage(payload);
        return;
    default:
        return;
    }
}

} // namespace

int RecvCallback(void* context, device::CNetDevice* session, tint32 type, tint32 length,
                 const void* data, tuint32 parameter)
{
    if (context == nullptr)
        return 0;
    RunContext& run = *static_cast<RunContext*>(context);
    const std::shared_ptr<FaceTransfer> transfer = run.transfers().find(session);
    const std::shared_ptr<BatchAddDevice> batchAdd = run.batchAdds().find(session);
    if (isLinkLost(type, length, data)) {
        run.setOffline(true);
        if (transfer)
            transfer->onLinkLost();
        if (batchAdd)
            batchAdd->onLinkLost();
        return 0;
    }
    if (batchAdd && type == device::CALLBACK_FACE_IMAGE_ADD &&
        run.operation() == OperationType::BatchAdd) {
        // The reply's parameter echoes the person's sequence number.
        batchAdd->onReply(readResult(payloadOf(length, data)), parameter);
        return 0;
    }
    if (transfer && transfer->operation() == run.operation())
        dispatch(*transfer, run.operation(), type, payloadOf(length, data));
    return 0;
}

} // namespace galvorn
