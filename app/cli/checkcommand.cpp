#include "app/cli/commands.h"
#include "app/cli/jsonlines.h"
#include "facelib/foldercheck.h"
#include "platform/picturecodec_qt.h"

#include <filesystem>
#include <iostream>

namespace galvorn::cli {

namespace {

std::string encodingName(const FolderReport& report)
{
    switch (report.encoding) {
    case textcodec::Encoding::Utf8:
        return report.signature ? "UTF-8 with signature" : "UTF-8";
    case textcodec::Encoding::Utf16Le:
        return "UTF-16 LE";
    case textcodec::Encoding::Utf16Be:
        return "UTF-16 BE";
    case textcodec::Encoding::Local:
        break;
    }
    return "the local code page";
}

std::string tableStatusText(CsvStatus status)
{
    switch (status) {
    case CsvStatus::OpenFailed:
        return "the table cannot be read";
    case CsvStatus::FileTooLarge:
        return "the table is larger than " + std::to_string(CsvReader::kMaxFileBytes) + " bytes";
    case CsvStatus::CellTooLong:
        return "a cell is longer than " + std::to_string(CsvReader::kMaxCellBytes) + " bytes";
    case CsvStatus::TooManyCells:
        return "a row has more than " + std::to_string(CsvReader::kMaxCellsPerRow) + " cells";
    case CsvStatus::OutOfMemory:
        return "there is not enough memory to read the table";
    case CsvStatus::Ok:
        break;
    }
    return {};
}

std::string malformedText(const FolderFinding& finding)
{
    const std::string cell = "\"" + finding.text + "\"";
    switch (finding.column) {
    case 2:
        return "gender " + cell + " is neither 0 nor 1; it is sent as male";
    case 3:
        return "birth date " + cell + " is neither year/month/day nor an age; the age is sent as 0";
    default:
        return "list type " + cell + " is no number; it is sent as 0";
    }
}

std::string pictureFaultText(PictureFault fault)
{
    switch (fault) {
    case PictureFault::Missing:
        return "is missing";
    case PictureFault::Unreadable:
        return "cannot be read";
    case PictureFault::Undecodable:
        return "is no picture the decoder knows";
    case PictureFault::None:
        break;
    }
    return {};
}

std::string linesText(const std::vector<int>& lines)
{
    std::string text;
    for (const int line : lines)
        text += (text.empty() ? "" : ", ") + std::to_string(line);
    return text;
}

struct Described
{
    const char* kind;
    std::string text;
};

Described describe(const FolderFinding& finding, const FolderReport& report)
{
    using Kind = FolderFinding::Kind;
    const std::string picture = "picture " + finding.picture;
    switch (finding.kind) {
    case Kind::ShortRow:
        return {"short-row", "the row is too short for the columns the header names"};
    case Kind::UnreadableTable:
        return {"unreadable-table",
                "the rows from here on are not read: " + tableStatusText(report.tableStatus)};
    case Kind::MalformedCell:
        return {"malformed-cell", malformedText(finding)};
    case Kind::PictureFault:
        return {"picture", picture + " " + pictureFaultText(finding.fault)};
    case Kind::Reencoded:
        return {"reencoded", picture + " will be re-encoded as JPEG"};
    case Kind::SharedPicture:
        return {"shared-picture",
                "lines " + linesText(finding.lines) + " name the same " + picture};
    }
    return {"", ""};
}

void writeText(const FolderReport& report)
{
    if (report.table.empty())
        std::cout << "No person table: each picture of the folder is one person.\n";
    else
        std::cout << "Person table " << report.table << " in " << encodingName(report) << ".\n";
    std::cout << report.persons << " persons, at most " << kMaxBatchAddPersons << ".\n";
    for (const FolderFinding& finding : report.findings) {
        const Described described = describe(finding, report);
        if (finding.line > 0)
            std::cout << "line " << finding.line << ": ";
        std::cout << described.text << '\n';
    }
    if (!report.start.ok())
        std::cout << "A batch add would not start: " << refusalText(report.start) << '\n';
    if (!report.picturesUsable())
        std::cout << "Some pictures cannot be sent.\n";
    if (report.ok())
        std::cout << "A batch add would start, and every picture can be sent.\n";
}

void writeJson(const FolderReport& report)
{
    for (const FolderFinding& finding : report.findings) {
        const Described described = describe(finding, report);
        nlohmann::ordered_json event{{"event", "finding"},
                             {"kind", described.kind},
                             {"line", finding.line},
                             {"text", described.text}};
        if (!finding.picture.empty())
            event["picture"] = finding.picture;
        if (!finding.lines.empty())
            event["lines"] = finding.lines;
        writeJsonLine(std::cout, event);
    }
    nlohmann::ordered_json summary{{"event", "summary"},
                           {"table", report.table},
                           {"encoding", encodingName(report)},
                           {"persons", report.persons},
                           {"limit", kMaxBatchAddPersons},
                           {"starts", report.start.ok()},
                           {"picturesUsable", report.picturesUsable()}};
    if (!report.start.ok())
        summary["refusal"] = refusalText(report.start);
    writeJsonLine(std::cout, summary);
}

} // namespace

int CheckCommand(const CliArguments& arguments)
{
    std::error_code error;
    if (!std::filesystem::is_directory(arguments.pictureFolder, error)) {
        complain(arguments.pictureFolder + " is no folder");
        return kExitUsage;
    }
    const platform::QtPictureCodec codec;
    const FolderReport report = CheckBatchAddFolder(arguments.pictureFolder, codec);
    if (arguments.json)
        writeJson(report);
    else
        writeText(report);
    return report.ok() ? kExitSucceeded : kExitFailed;
}

} // namespace galvorn::cli
