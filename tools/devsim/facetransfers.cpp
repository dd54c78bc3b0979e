#include "tools/devsim/facetransfers.h"

#include "common/wirebuffer.h"
#include "device/commandids.h"
#include "device/facetransferwire.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>

namespace galvorn::devsim {

namespace {

using namespace galvorn::device;
using common::WireReader;
using common::WireWriter;

constexpr std::uint32_t kMaxPageSize = 100;
constexpr std::uint32_t kDefaultPageSize = 10;
constexpr std::size_t kMaxChunkSize = 1u << 20;
constexpr std::size_t kImportReserve = 1u << 20;
constexpr unsigned kMaxAddDelayMs = 60000;
constexpr std::string_view kNone = "none";
constexpr std::string_view kBlanks = " \t";

DeviceReply resultReply(std::uint32_t command, std::uint32_t parameter, std::int32_t result,
                        std::uint32_t id)
{
    WireWriter writer(8);
    writer.u32(static_cast<std::uint32_t>(result));
    writer.u32(id);
    return {command, parameter, writer.take()};
}

// The 480-byte person record of a query page.
void putRecord(WireWriter& writer, const Person& person)
{
    writer.u32(0);
    writer.u32(static_cast<std::uint32_t>(person.listType));
    writer.text(person.name, kPersonNameSize);
    writer.u32(person.gender);
    writer.u32(static_cast<std::uint32_t>(person.age));
    writer.text(person.cardNumber, kPersonCardSize);
    writer.text(person.phone, kPersonPhoneSize);
    writer.zeros(12);
    writer.u32(static_cast<std::uint32_t>(person.picture.size()));
    writer.text(person.remark, kPersonRemarkSize);
}

template <typename Number>
bool parseNumber(std::string_view value, Number& out)
{
    const auto result = std::from_chars(value.data(), value.data() + value.size(), out);
    return result.ec == std::errc() && result.ptr == value.data() + value.size();
}

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// A number of at most `max`; `out` is left as it was when the text is not one, so a
// rejected control line changes nothing.
template <typename Number>
bool parseInto(std::string_view value, Number& out, Number max = std::numeric_limits<Number>::max())
{
    Number parsed{};
    if (!parseNumber(value, parsed) || parsed > max)
        return false;
    out = parsed;
    return true;
}

// A refusal code: any number but 0, which means accepted.
bool parseCode(std::string_view value, std::int32_t& code)
{
    return parseNumber(value, code) && code != 0;
}

// "N:code" items separated by commas, or "none". Replaces the whole table.
bool parseSequenceCodes(std::string_view value, std::map<std::uint32_t, std::int32_t>& codes)
{
    std::map<std::uint32_t, std::int32_t> parsed;
    for (std::string_view rest = value == kNone ? std::string_view() : value; !rest.empty();) {
        const auto comma = rest.find(',');
        const std::string_view item = trimmed(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        const auto colon = item.find(':');
        std::uint32_t sequence = 0;
        std::int32_t code = 0;
        if (colon == std::string_view::npos || !parseNumber(item.substr(0, colon), sequence) ||
            sequence == 0 || !parseCode(item.substr(colon + 1), code))
            return false;
        parsed[sequence] = code;
    }
    codes = std::move(parsed);
    return true;
}

// "prefix:code" (the prefix may hold colons and blanks), or "none".
bool parseNameRefusal(std::string_view value, FaceAddRules& rules)
{
    if (value == kNone) {
        rules.refusedNamePrefix.clear();
        rules.refusedNameCode = 0;
        return true;
    }
    const auto colon = value.rfind(':');
    std::int32_t code = 0;
    if (colon == std::string_view::npos || colon == 0 || !parseCode(value.substr(colon + 1), code))
        return false;
    rules.refusedNamePrefix = value.substr(0, colon);
    rules.refusedNameCode = code;
    return true;
}

bool parseFault(std::string_view value, TransferFault& fault)
{
    static constexpr std::pair<std::string_view, TransferFault> kNames[] = {
        {"none", TransferFault::None},
        {"close", TransferFault::Close},
        {"silent", TransferFault::Silent},
        {"state0", TransferFault::FailState},
        {"lateChunks", TransferFault::LateChunks},
    };
    for (const auto& [name, each] : kNames) {
        if (name == value) {
            fault = each;
            return true;
        }
    }
    return false;
}

} // namespace

std::string applyFaceLibrarySetting(FaceLibrarySettings& settings, std::string_view key,
                                    std::string_view value)
{
    if (key.substr(0, kFaceLibraryKeyPrefix.size()) != kFaceLibraryKeyPrefix)
        return "not a facelib key";
    const std::string_view name = key.substr(kFaceLibraryKeyPrefix.size());
    bool ok = true;
    if (name == "folder")
        settings.folder = value;
    else if (name == "password")
        settings.password = std::string(value).substr(0, kLibraryPasswordField - 1);
    else if (name == "seedPersons")
        ok = parseNumber(value, settings.seedPersons) && settings.seedPersons <= kMaxPersons;
    else if (name == "chunkSize")
        ok = parseNumber(value, settings.chunkSize) && settings.chunkSize > 0 &&
             settings.chunkSize <= kMaxChunkSize;
    else if (name == "refuseStart")
        ok = parseNumber(value, settings.refuseStart);
    else if (name == "refuseExportData")
        ok = parseNumber(value, settings.refuseExportData);
    else if (name == "refuseImportChunk")
        ok = parseNumber(value, settings.refuseImportChunk);
    else if (name == "refuseEnd")
        ok = parseNumber(value, settings.refuseEnd);
    else if (name == "fault")
        ok = parseFault(value, settings.fault);
    else if (name == "faultAt")
        ok = parseNumber(value, settings.faultAt);
    else if (name == "lateChunks")
        ok = parseNumber(value, settings.lateChunks) && settings.lateChunks <= 100;
    else if (name == "refuseAdd")
        ok = parseInto(value, settings.adds.refuseAll);
    else if (name == "refuseAddAt")
        ok = parseSequenceCodes(value, settings.adds.refusedSequences);
    else if (name == "refuseAddName")
        ok = parseNameRefusal(value, settings.adds);
    else if (name == "addSilentAt")
        ok = parseInto(value, settings.adds.silentAt);
    else if (name == "addCloseAt")
        ok = parseInto(value, settings.adds.closeAt);
    else if (name == "addDelayMs")
        ok = parseInto(value, settings.adds.delayMs, kMaxAddDelayMs);
    else
        return "unknown key " + std::string(key);
    return ok ? std::string() : "bad value for " + std::string(key);
}

FaceTransferService::FaceTransferService(FaceLibrarySettings settings)
    : settings_(std::move(settings)), library_(settings_.folder)
{}

bool FaceTransferService::open(std::string& error)
{
    if (!settings_.folder.empty()) {
        std::error_code ignored;
        std::filesystem::create_directories(settings_.folder, ignored);
    }
    if (!library_.load(error))
        return false;
    if (library_.persons().empty() && settings_.seedPersons > 0) {
        std::vector<Person> persons;
        for (std::size_t i = 0; i < settings_.seedPersons; ++i)
            persons.push_back(seedPerson(i));
        library_.replace(std::move(persons));
        if (!library_.save()) {
            error = "cannot write " + library_.filePath();
            return false;
        }
    }
    return true;
}

bool FaceTransferService::handles(std::uint32_t command)
{
    return command == CMD_FACE_TRANSFER_START || command == CMD_FACE_EXPORT_DATA ||
           command == CMD_FACE_IMPORT_DATA || command == CMD_FACE_TRANSFER_END ||
           command == CMD_FACE_INFO_QUERY || command == CMD_FACE_IMAGE_ADD;
}

FaceAnswer FaceTransferService::answer(unsigned connection, std::uint32_t command,
                                       std::uint32_t parameter,
                                       std::span<const std::uint8_t> payload)
{
    // Adds are no part of a transfer: the transfer faults neither count nor hit them.
    if (command == CMD_FACE_IMAGE_ADD)
        return onAdd(parameter, payload);
    Transfer& transfer = transfers_[connection];
    ++transfer.requests;
    const bool faultNow = settings_.faultAt != 0 && transfer.requests == settings_.faultAt;
    if (faultNow && settings_.fault == TransferFault::Silent)
        transfer.silent = true;
    if (transfer.silent)
        return {};
    if (faultNow && settings_.fault == TransferFault::Close)
        return {{}, true};
    switch (command) {
    case CMD_FACE_TRANSFER_START:
        return {onStart(transfer, parameter, payload)};
    case CMD_FACE_EXPORT_DATA:
        return {onExportData(transfer, parameter,
                             faultNow && settings_.fault == TransferFault::FailState)};
    case CMD_FACE_IMPORT_DATA:
        return {onImportChunk(transfer, parameter, payload)};
    case CMD_FACE_TRANSFER_END:
        return {onEnd(transfer, parameter, payload,
                      faultNow && settings_.fault == TransferFault::LateChunks)};
    case CMD_FACE_INFO_QUERY:
        return {onQuery(parameter, payload)};
    default:
        return {};
    }
}

void FaceTransferService::forget(unsigned connection)
{
    transfers_.erase(connection);
    if (unsaved_ && !persist())
        std::fprintf(stderr, "galvorn-devsim: cannot write %s\n", library_.filePath().c_str());
}

bool FaceTransferService::persist()
{
    if (!library_.save())
        return false;
    unsaved_ = false;
    return true;
}

std::vector<DeviceReply> FaceTransferService::onStart(Transfer& transfer, std::uint32_t parameter,
                                                      std::span<const std::uint8_t> payload)
{
    WireReader reader(payload);
    const std::uint32_t direction = reader.u32();
    const std::string password = reader.text(std::min(kLibraryPasswordField, reader.remaining()));
    const std::uint32_t id = nextTransferId_++;
    std::int32_t result = settings_.refuseStart;
    if (result == 0 && !settings_.password.empty() && password != settings_.password)
        result = kWrongLibraryPassword;
    if (result == 0 && direction != kDirectionExport && direction != kDirectionImport)
        result = kNotExportMode;
    transfer.mode = Mode::Idle;
    transfer.exported.reset();
    transfer.blob.clear();
    transfer.position = 0;
    transfer.importComplete = false;
    transfer.imported.reset();
    if (result == 0) {
        transfer.id = id;
        transfer.mode = direction == kDirectionExport ? Mode::Export : Mode::Import;
        if (transfer.mode == Mode::Export)
            transfer.exported = library_.encoded();
        // An import usually brings a library of about the size of the one it replaces.
        else
            transfer.blob.reserve(std::max(library_.encoded()->size(), kImportReserve));
    }
    return {resultReply(REPLY_FACE_TRANSFER_START, parameter, result, id)};
}

DeviceReply FaceTransferService::exportChunk(Transfer& transfer, std::uint32_t parameter) const
{
    const std::size_t total = library_.persons().size();
    const std::vector<std::uint8_t>& blob = *transfer.exported;
    const std::size_t size = blob.size();
    const std::size_t begin = transfer.position;
    const std::size_t end = std::min(size, begin + settings_.chunkSize);
    // Persons are counted in proportion to the bytes sent, so the last chunk completes them.
    const std::size_t itemsBefore = size == 0 ? 0 : total * begin / size;
    const std::size_t itemsAfter = size == 0 ? total : total * end / size;
    WireWriter writer(20 + end - begin);
    writer.u32(0);
    writer.u32(begin < size ? kStateData : kStateEnd);
    writer.u32(static_cast<std::uint32_t>(total));
    writer.u32(static_cast<std::uint32_t>(itemsAfter - itemsBefore));
    writer.u32(static_cast<std::uint32_t>(end - begin));
    writer.bytes(std::span<const std::uint8_t>(blob).subspan(begin, end - begin));
    transfer.position = end;
    return {REPLY_FACE_EXPORT_DATA, parameter, writer.take()};
}

std::vector<DeviceReply> FaceTransferService::onExportData(Transfer& transfer,
                                                           std::uint32_t parameter, bool failState)
{
    if (failState || settings_.refuseExportData != 0 || transfer.mode != Mode::Export) {
        WireWriter writer(20);
        writer.u32(static_cast<std::uint32_t>(settings_.refuseExportData));
        writer.u32(kStateFailed);
        writer.zeros(12);
        return {{REPLY_FACE_EXPORT_DATA, parameter, writer.take()}};
    }
    return {exportChunk(transfer, parameter)};
}

std::vector<DeviceReply> FaceTransferService::onImportChunk(Transfer& transfer,
                                                            std::uint32_t parameter,
                                                            std::span<const std::uint8_t> payload)
{
    WireReader reader(payload);
    const std::uint32_t id = reader.u32();
    const std::uint32_t flag = reader.u32();
    const std::uint32_t length = reader.u32();
    std::int32_t result = settings_.refuseImportChunk;
    if (result == 0 &&
        (transfer.mode != Mode::Import || id != transfer.id || transfer.importComplete))
        result = kNotImportMode;
    if (result == 0 &&
        (length > reader.remaining() || transfer.blob.size() + length > kMaxImportBytes))
        result = kLibraryDataIncorrect;
    if (result == 0) {
        const auto data = reader.bytes(length);
        transfer.blob.insert(transfer.blob.end(), data.begin(), data.end());
        if (flag == kChunkLast) {
            transfer.importComplete = true;
            transfer.imported = decodeLibrary(transfer.blob);
            if (!transfer.imported)
                result = kLibraryDataIncorrect;
        }
    }
    return {resultReply(REPLY_FACE_IMPORT_DATA, parameter, result, id)};
}

std::vector<DeviceReply> FaceTransferService::onEnd(Transfer& transfer, std::uint32_t parameter,
                                                    std::span<const std::uint8_t> payload,
                                                    bool lateChunks)
{
    WireReader reader(payload);
    const std::uint32_t id = reader.u32();
    std::vector<DeviceReply> replies;
    if (lateChunks && transfer.mode == Mode::Export) {
        // A camera that keeps sending data after it was told to stop.
        for (unsigned i = 0; i < settings_.lateChunks; ++i) {
            transfer.position = 0;
            replies.push_back(exportChunk(transfer, parameter));
        }
    }
    std::int32_t result = settings_.refuseEnd;
    if (result == 0 && transfer.mode == Mode::Import) {
        if (transfer.imported) {
            // The blob that parsed is the library's encoding: no export encodes it again.
            library_.replace(
                std::move(*transfer.imported),
                std::make_shared<const std::vector<std::uint8_t>>(std::move(transfer.blob)));
            transfer.imported.reset();
            if (!persist())
                result = kLibraryDataIncorrect;
        }
    }
    transfer.mode = Mode::Idle;
    transfer.exported.reset();
    transfer.blob.clear();
    replies.push_back(resultReply(REPLY_FACE_TRANSFER_END, parameter, result, id));
    return replies;
}

FaceAnswer FaceTransferService::onAdd(std::uint32_t sequence, std::span<const std::uint8_t> payload)
{
    const FaceAddRules& rules = settings_.adds;
    // A person that is not answered is not stored either: the client counts it as failed.
    if (rules.closeAt != 0 && sequence == rules.closeAt)
        return {{}, true};
    if (rules.silentAt != 0 && sequence == rules.silentAt)
        return {};
    FaceAdd add = judgeFaceAdd(rules, sequence, payload);
    if (add.result == 0 && library_.persons().size() >= kMaxPersons)
        add.result = kAddLibraryFull;
    if (add.result == 0) {
        library_.add(std::move(add.person));
        unsaved_ = true;
    }
    WireWriter writer(4);
    writer.u32(static_cast<std::uint32_t>(add.result));
    return {{{REPLY_FACE_IMAGE_ADD, sequence, writer.take()}},
            false,
            std::chrono::milliseconds(rules.delayMs)};
}

std::vector<DeviceReply> FaceTransferService::onQuery(std::uint32_t parameter,
                                                      std::span<const std::uint8_t> payload) const
{
    WireReader reader(payload);
    const std::uint32_t page = reader.u32();
    std::uint32_t pageSize = reader.u32();
    if (pageSize == 0 || pageSize > kMaxPageSize)
        pageSize = kDefaultPageSize;
    const std::vector<Person>& persons = library_.persons();
    const std::size_t first =
        std::min<std::size_t>(persons.size(), static_cast<std::size_t>(page) * pageSize);
    const std::size_t last = std::min<std::size_t>(persons.size(), first + pageSize);
    WireWriter writer;
    writer.u32(static_cast<std::uint32_t>(persons.size()));
    writer.u32(static_cast<std::uint32_t>(last - first));
    for (std::size_t i = first; i < last; ++i) {
        putRecord(writer, persons[i]);
        writer.bytes(persons[i].picture);
    }
    return {{REPLY_FACE_INFO_QUERY, parameter, writer.take()}};
}

} // namespace galvorn::devsim
