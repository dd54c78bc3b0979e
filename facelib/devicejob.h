#pragma once

#include "support/inttypes.h"

#include <array>
#include <string>

namespace galvorn {

class StatusSink;

// The operation of a run, chosen in the main window; one value for the whole run.
enum class OperationType : tuint32
{
    ExportData = 0, // face library to a data file; devices one after another
    ImportData = 1, // a data file into every device, in parallel
    BatchAdd = 2,   // persons from a picture folder; devices one after another
    ExportCsv = 3,  // face library to a CSV table with pictures; in parallel
};

// The work for one ticked device, built by the Start handler and read by the worker.
// Text fields are set with setFieldText() (facelib/textfield.h): UTF-8, cut to leave the
// terminating zero, as the device protocol's fixed fields need.
struct DeviceJob
{
    tuint32 index = 0;     // position in this run, from 0
    tuint32 ipAddress = 0; // address to connect to, network byte order
    tuint32 address2 = 0;  // the row's second address; not used by the workers
    tuint32 dataPort = 0;  // device protocol port; low 16 bits
    StatusSink* owner = nullptr;
    std::array<char, 20> macAddress{}; // the device key of every status record
    tuint32 httpPort = 0;
    std::array<char, 20> softwareVersion{};
    std::array<char, 32> userName{};
    std::array<char, 32> password{};
    // Export folder (data file and CSV), data file (import) or picture folder (batch add),
    // UTF-8. Kept whole: a cut path would name another folder.
    std::string path;
    std::array<char, 32> libraryPassword{};
};

} // namespace galvorn
