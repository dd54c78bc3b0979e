#pragma once

#include "common/facefeatureimportandexport.h"

#include <string>

namespace galvorn {

// The two summary panes of the main window: what a data file holds (its size, persons
// and date on the left, the persons per list on the right), in the loaded language.
struct SummaryPanes
{
    std::string left;
    std::string right;

    bool operator==(const SummaryPanes&) const = default;
};

// The panes of a data file's header, with every field as the file has it.
SummaryPanes summaryPanes(const facefile::Header& header);

// The panes with "--" for every value, before a file is known.
SummaryPanes emptySummaryPanes();

} // namespace galvorn
