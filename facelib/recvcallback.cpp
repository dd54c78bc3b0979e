#include "facelib/recvcallback.h"

#include "common/wirebuffer.h"
#include "device/commandids.h"
#include "facelib/runstate.h"

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

// A reply of two words: the result and the transfer id.
struct ResultReply
{
    tuint32 result = 0;
    tuint32 transferId = 0;
};

ResultReply readResultReply(std::span<const std::uint8_t> payload)
{
    common::WireReader reader(payload);
    ResultReply reply;
    reply.result = reader.u32();
    reply.transferId = reader.u32();
    return reply;
}

void dispatch(FaceTransfer& transfer, OperationType operation, tint32 type,
              std::span<const std::uint8_t> payload)
{
    switch (type) {
    case device::CALLBACK_FACE_TRANSFER_START:
        if (isTransfer(operation)) {
            const ResultReply reply = readResultReply(payload);
            transfer.onStartReply(reply.result, reply.transferId);
        }
        return;
    case device::CALLBACK_FACE_IMPORT_DATA:
        if (operation == OperationType::ImportData)
            transfer.onImportAck(readResultReply(payload).result);
        return;
    case device::CALLBACK_FACE_EXPORT_DATA:
        if (operation == OperationType::ExportData && !payload.empty())
            transfer.onExportData(payload);
        return;
    case device::CALLBACK_FACE_TRANSFER_END:
        if (isTransfer(operation))
            transfer.onEndReply(readResultReply(payload).result);
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
        common::WireReader reader(payloadOf(length, data));
        const tuint32 result = reader.u32();
        if (reader.ok())
            batchAdd->onReply(result, parameter);
        return 0;
    }
    if (transfer && transfer->operation() == run.operation())
        dispatch(*transfer, run.operation(), type, payloadOf(length, data));
    return 0;
}

} // namespace galvorn
