#include "facelib/runstart.h"

#include "config/languagetable.h"
#include "facelib/batchadd.h"
#include "facelib/persontable.h"
#include "facelib/runner.h"
#include "facelib/runstate.h"
#include "platform/netif.h"

#include <arpa/inet.h>
#include <array>

namespace galvorn {

namespace {

struct RefusalKey
{
    RunRefusal refusal;
    const char* key;
};

constexpr std::array<RefusalKey, 9> kRefusalKeys{{
    {RunRefusal::NoExportFolder, "IDCS_SELECT_EXPORTDIR"},
    {RunRefusal::NoImportFile, "IDCS_SELECT_IMPORTFILE"},
    {RunRefusal::NoPictureFolder, "IDCS_SELECT_BATCHADDDIR"},
    {RunRefusal::FaultyLine, "IDCS_ERRORLINEOFDOCUMENT"},
    {RunRefusal::NoPicture, "IDCS_PLEASE_EXIST_IMAGE"},
    {RunRefusal::TooManyPersons, "IDCS_IMAGE_COUNT_TOO_MORE"},
    {RunRefusal::NoExportDevice, "IDCS_EXPORT_DEVICE"},
    {RunRefusal::NoImportDevice, "IDCS_SELECT_IMPORT_DEVICE"},
    {RunRefusal::TooManyDevices, "IDCS_WARN_BATCHIMPORT_MAX_NUM"},
}};

constexpr std::string_view kLinePlaceholder = "%1";

bool isExport(OperationType operation)
{
    return operation == OperationType::ExportData || operation == OperationType::ExportCsv;
}

RunCheck refused(RunRefusal refusal, int line = -1)
{
    return {refusal, line};
}

RunRefusal missingPath(OperationType operation)
{
    switch (operation) {
    case OperationType::ImportData:
        return RunRefusal::NoImportFile;
    case OperationType::BatchAdd:
        return RunRefusal::NoPictureFolder;
    case OperationType::ExportData:
    case OperationType::ExportCsv:
        break;
    }
    return RunRefusal::NoExportFolder;
}

RunCheck loadPersons(const std::string& folder,
                     std::shared_ptr<const std::vector<PersonInfo>>& persons)
{
    using Result = PersonListLoad::Result;
    PersonListLoad load = LoadPersonList(folder);
    switch (load.result) {
    case Result::Ok:
        persons = std::move(load.persons);
        return {};
    case Result::FaultyLine:
        return refused(RunRefusal::FaultyLine, load.line);
    case Result::TooMany:
        return refused(RunRefusal::TooManyPersons);
    case Result::NoPicture:
        break;
    }
    return refused(RunRefusal::NoPicture);
}

} // namespace

const char* refusalKey(RunRefusal refusal)
{
    for (const RefusalKey& entry : kRefusalKeys)
        if (entry.refusal == refusal)
            return entry.key;
    return nullptr;
}

std::string refusalText(const RunCheck& check)
{
    const char* key = refusalKey(check.refusal);
    if (key == nullptr)
        return {};
    std::string text = languageText(key);
    if (check.refusal != RunRefusal::FaultyLine)
        return text;
    const std::string line = std::to_string(check.line);
    for (auto at = text.find(kLinePlaceholder); at != std::string::npos;
         at = text.find(kLinePlaceholder, at + line.size()))
        text.replace(at, kLinePlaceholder.size(), line);
    return text;
}

RunCheck CheckRunInputs(const RunRequest& request,
                        std::shared_ptr<const std::vector<PersonInfo>>& persons)
{
    persons.reset();
    if (request.inputs.path.empty())
        return refused(missingPath(request.operation));
    if (request.operation == OperationType::BatchAdd)
        return loadPersons(request.inputs.path, persons);
    return {};
}

RunJobs BuildRunJobs(const std::vector<RunDevice>& devices, const RunInputs& inputs)
{
    RunJobs run;
    for (const RunDevice& device : devices) {
        run.addresses.push_back({device.row.ipAddr2, device.maskAddr2, device.row.mac});
        std::uint32_t secondAddress = 0;
        const tuint32 connectAddress =
            platform::parseIpv4(device.row.ipAddr2, secondAddress) ? htonl(secondAddress) : 0;
        run.jobs.push_back(
            BuildDeviceJob(device.row, inputs, tuint32(run.jobs.size()), connectAddress));
    }
    return run;
}

RunCheck CheckDeviceCount(OperationType operation, std::size_t devices)
{
    if (devices == 0)
        return refused(isExport(operation) ? RunRefusal::NoExportDevice
                                           : RunRefusal::NoImportDevice);
    if (devices > kMaxDevicesPerRun)
        return refused(RunRefusal::TooManyDevices);
    return {};
}

RunCheck StartRunOn(RunState& state, const RunRequest& request,
                    std::shared_ptr<const std::vector<PersonInfo>> persons,
                    const std::vector<RunDevice>& devices)
{
    RunJobs run = BuildRunJobs(devices, request.inputs);
    if (const RunCheck count = CheckDeviceCount(request.operation, run.jobs.size()); !count.ok())
        return count;
    BatchAddSource source;
    source.persons = std::move(persons);
    source.codec = request.codec;
    source.devicesAtOnce = request.devicesAtOnce;
    state.setOperation(request.operation);
    state.setJobs(std::move(run.jobs));
    state.setBatchAddSource(std::move(source));
    state.setAddressPreparation(std::move(run.addresses), request.prepareAddress);
    state.setImportFile(request.importFile);
    state.tables().clear();
    state.setRunning(true);
    StartWorkers(state);
    return {};
}

RunCheck StartRun(RunState& state, const RunRequest& request,
                  const std::function<std::vector<RunDevice>()>& listDevices)
{
    std::shared_ptr<const std::vector<PersonInfo>> persons;
    if (const RunCheck inputs = CheckRunInputs(request, persons); !inputs.ok())
        return inputs;
    return StartRunOn(state, request, std::move(persons), listDevices());
}

} // namespace galvorn
