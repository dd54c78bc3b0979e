#pragma once

#include "facelib/personinfo.h"
#include "support/csvreader.h"
#include "support/textcodec.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace galvorn {

// The most persons one batch add takes.
inline constexpr std::size_t kMaxBatchAddPersons = 100000;

// What the validator found in a picture folder's person table.
struct PersonTableCheck
{
    bool fault = false;
    // The faulty row: 1 for the header row, 2 for the first data row; -1 without a fault.
    int line = -1;
    // The picture names (column 12) of the complete rows read, in order.
    std::vector<std::string> pictureNames;
};

// Checks the person table of `folder` (the last "*.csv" of the folder by name, without
// regard to case). A folder without a table, a table that cannot be read and a table
// without a picture column have no fault.
PersonTableCheck ValidatePersonTable(const std::string& folder);

// The persons of `folder`: one per complete row of its person table, or, without a
// table, one "stranger" per picture ("*.jp*" by name, then "*.png" by name, without
// regard to case). Ages of birth dates count from `currentYear`; a birth-date cell of
// digits only up to 150 is the age itself, as the CSV export writes it. A table that
// cannot be read yields no persons.
std::vector<PersonInfo> BuildPersonList(const std::string& folder, int currentYear);

// The same with the current local year.
std::vector<PersonInfo> BuildPersonList(const std::string& folder);

// The persons a batch add of `folder` starts with, after the checks that Start makes.
struct PersonListLoad
{
    enum class Result
    {
        Ok,
        // The table has a faulty row; `line` says which.
        FaultyLine,
        // No person, or none whose picture file exists.
        NoPicture,
        // More than kMaxBatchAddPersons.
        TooMany,
    };

    Result result = Result::NoPicture;
    int line = -1;
    // Set when the result is Ok; shared read-only by every device of the run.
    std::shared_ptr<const std::vector<PersonInfo>> persons;
};

PersonListLoad LoadPersonList(const std::string& folder);

// A person of the table with the row it came from (0 for a person made from a picture
// alone, without a table).
struct TablePerson
{
    int line = 0;
    PersonInfo person;
};

// A cell the builder reads otherwise than its text says: a gender that is neither 0 nor
// 1 (read as male), a birth date that is neither year/month/day nor an age (read as 0),
// a list type that is no number (read as 0).
struct CellFault
{
    int line = 0;
    // The header number of the column: 2, 3 or 6.
    int column = 0;
    std::string text;
};

// Every row of a folder's person table, for a report of all its problems at once. Rows
// are numbered as the validator numbers them.
struct PersonTableScan
{
    // The table's file name; empty when the folder has none (the persons are then its
    // pictures).
    std::string table;
    textcodec::Encoding encoding = textcodec::Encoding::Utf8;
    // The table starts with a byte-order mark.
    bool signature = false;
    // Not Ok when a reading cap broke: the rows from `stoppedAt` on were not read.
    CsvStatus status = CsvStatus::Ok;
    std::size_t stoppedAt = 0;
    bool pictureColumn = false;
    // Rows too short for a column the header names.
    std::vector<int> shortRows;
    std::vector<CellFault> cellFaults;
    // The complete rows.
    std::vector<TablePerson> persons;
};

PersonTableScan ScanPersonTable(const std::string& folder, int currentYear);

// The same with the current local year.
PersonTableScan ScanPersonTable(const std::string& folder);

} // namespace galvorn
