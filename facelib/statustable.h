#pragma once

#include "facelib/callbackinfo.h"
#include "facelib/devicejob.h"
#include "facelib/statuspayload.h"
#include "facelib/summarypanes.h"
#include "facelib/transfertables.h"

#include <optional>
#include <string>
#include <string_view>

namespace galvorn {

// What a status record does on the GUI thread. The main window writes rowText into the
// status column of the ticked rows of the record's device, then runs its end-of-run test
// over the rows with isFinalRowText().
struct StatusEffect
{
    std::optional<std::string> rowText;       // none: the row keeps its text
    std::optional<double> progress;           // rowText is a progress text: its share, 0 to 100
    bool final = false;                       // rowText ends the device's part of the run
    std::optional<SummaryPanes> panes;        // data-file export progress
    std::optional<BatchSummary> batchSummary; // batch add ended with refusals: the box
};

// The effect of a record during a run of the given operation. Codes outside 5 to 15 and
// records whose data does not have the status's shape have none. Status 11 reads the
// device's error from tables.
StatusEffect statusEffect(const CallbackInfo& info, OperationType operation,
                          const TransferTables& tables);

// The row text of a log-in refused with a code of its own (status 9).
std::string loginFailText(tint32 code);

// The row text of status 11 for a device: the text of the error code recorded for its
// current transfer, or of the unknown-error key when none is recorded.
std::string deviceErrorText(const TransferTables& tables, std::string_view deviceKey);

// Whether a row text ends the device's part of the run: the text of a final status
// (port error, connection failed, wrong user or password, too many connections,
// success, export failed, import failed), a log-in failure text, or the row's device
// error text (deviceErrorText() of the row's device). Progress and connecting texts,
// and the empty text, are not final.
bool isFinalRowText(std::string_view rowText, std::string_view rowDeviceErrorText);

} // namespace galvorn
