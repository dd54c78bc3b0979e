#include "app/cli/commands.h"
#include "app/cli/credentials.h"
#include "app/cli/devicefinder.h"
#include "app/cli/runreporter.h"
#include "app/cli/waverun.h"
#include "common/facefeatureimportandexport.h"
#include "config/languagetable.h"
#include "facelib/addresspreparation.h"
#include "facelib/retrylog.h"
#include "facelib/runstart.h"
#include "platform/picturecodec_qt.h"

#include <filesystem>
#include <iostream>
#include <unistd.h>

namespace galvorn::cli {

namespace {

OperationType operationOf(Command command)
{
    switch (command) {
    case Command::Export:
        return OperationType::ExportData;
    case Command::ExportCsv:
        return OperationType::ExportCsv;
    case Command::Import:
        return OperationType::ImportData;
    default:
        return OperationType::BatchAdd;
    }
}

bool needsLibraryPassword(OperationType operation)
{
    return operation == OperationType::ExportData || operation == OperationType::ImportData;
}

// Everything a run of the command needs besides its devices, checked before the network
// is touched. `error` says what is wrong with the input.
struct Inputs
{
    RunRequest request;
    std::shared_ptr<const std::vector<PersonInfo>> persons;
    facefile::Reader importFile;
    platform::QtPictureCodec codec;
    std::string error;
};

void checkFolder(const std::string& folder, Inputs& inputs)
{
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error))
        inputs.error = folder + " is no folder";
    inputs.request.inputs.path = folder;
}

void loadPersons(const CliArguments& arguments, Inputs& inputs)
{
    inputs.request.inputs.path = arguments.pictureFolder;
    const RunCheck check = CheckRunInputs(inputs.request, inputs.persons);
    if (!check.ok())
        inputs.error = arguments.pictureFolder + ": " + refusalText(check);
}

// The persons of the folder that the refusal log names.
void loadLoggedPersons(const CliArguments& arguments, Inputs& inputs)
{
    loadPersons(arguments, inputs);
    if (!inputs.error.empty())
        return;
    const std::optional<std::string> log = ReadRefusalLog(arguments.refusalLog);
    if (!log) {
        inputs.error = "cannot read the log " + arguments.refusalLog;
        return;
    }
    std::vector<std::string> unmatched;
    std::vector<PersonInfo> persons =
        PersonsNamedInLog(*inputs.persons, LoggedPictureNames(*log), unmatched);
    for (const std::string& name : unmatched)
        complain("the log names " + name + ", which no person of the folder has as picture");
    if (persons.empty()) {
        inputs.error = arguments.refusalLog + " names no person of " + arguments.pictureFolder;
        return;
    }
    inputs.persons = std::make_shared<const std::vector<PersonInfo>>(std::move(persons));
}

void readInputs(const CliArguments& arguments, Inputs& inputs)
{
    inputs.request.operation = operationOf(arguments.command);
    switch (arguments.command) {
    case Command::Export:
    case Command::ExportCsv:
        checkFolder(arguments.outFolder, inputs);
        return;
    case Command::Import:
        inputs.request.inputs.path = arguments.dataFile;
        if (inputs.importFile.open(arguments.dataFile) != facefile::Check::Valid)
            inputs.error = arguments.dataFile + ": " + languageText("IDCS_OPEN_FILE_FIAL");
        return;
    case Command::BatchAdd:
        loadPersons(arguments, inputs);
        return;
    default:
        loadLoggedPersons(arguments, inputs);
        return;
    }
}

// The credentials, then what the request carries besides the inputs. Empty, or the
// message of what is missing.
std::string completeRequest(const CliArguments& arguments, Inputs& inputs)
{
    Credentials credentials;
    RunRequest& request = inputs.request;
    std::string error =
        ReadCredentials(arguments.passwordFile, needsLibraryPassword(request.operation),
                        SystemCredentialSources(), credentials);
    request.inputs.userName = arguments.user;
    request.inputs.password = credentials.password;
    request.inputs.libraryPassword = credentials.libraryPassword;
    request.importFile = &inputs.importFile;
    request.codec = &inputs.codec;
    request.devicesAtOnce = arguments.parallel;
    request.prepareAddress =
        SystemAddressPreparation([](std::string_view line) { complain(line); });
    return error;
}

DeviceSelection searchDevices(const CliArguments& arguments, EventChannel& channel)
{
    const DeviceChoice& choice = arguments.choice;
    std::function<bool(const DeviceList&)> enough;
    if (choice.onlyNamedDevices())
        enough = [&choice](const DeviceList& found) { return AllNamedDevicesFound(found, choice); };
    const int seconds = arguments.waitSeconds.value_or(kDefaultSearchSeconds);
    return SelectDevices(DeviceFinder(channel).search(std::chrono::seconds(seconds), enough),
                         choice);
}

std::unique_ptr<RunReporter> reporterFor(const CliArguments& arguments)
{
    if (arguments.json)
        return MakeJsonReporter(std::cout);
    TerminalSize size;
    const bool terminal = TerminalSizeOf(STDOUT_FILENO, size);
    return MakeTextReporter(std::cout, terminal, size);
}

} // namespace

int OperationCommand(const CliArguments& arguments, EventChannel& channel)
{
    Inputs inputs;
    readInputs(arguments, inputs);
    if (inputs.error.empty())
        inputs.error = completeRequest(arguments, inputs);
    if (!inputs.error.empty()) {
        complain(inputs.error);
        return kExitUsage;
    }
    InterruptOnSignals(channel);
    const DeviceSelection selection = searchDevices(arguments, channel);
    if (channel.interrupted()) {
        complain("interrupted during the search; nothing was sent to any device");
        return kExitFailed;
    }
    const std::unique_ptr<RunReporter> reporter = reporterFor(arguments);
    for (const std::string& named : selection.missing)
        reporter->missing(named);
    if (selection.chosen.empty() && selection.missing.empty()) {
        complain("the search found no device that the device options name");
        return kExitFailed;
    }
    std::vector<DeviceOutcome> outcomes =
        RunInWaves(inputs.request, inputs.persons, selection.chosen, channel, *reporter);
    for (const std::string& named : selection.missing)
        outcomes.push_back({named, "", true, false, 0, kNotFoundText, {}, {}});
    reporter->summary(outcomes, inputs.request.operation == OperationType::BatchAdd);
    const bool all = std::all_of(outcomes.begin(), outcomes.end(),
                                 [](const DeviceOutcome& outcome) { return outcome.succeeded; });
    return all ? kExitSucceeded : kExitFailed;
}

} // namespace galvorn::cli
