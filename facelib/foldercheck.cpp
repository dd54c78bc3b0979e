#include "facelib/foldercheck.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <system_error>
#include <thread>

namespace galvorn {

namespace {

constexpr unsigned kMaxThreads = 4;

std::string_view fileNameOf(std::string_view path)
{
    return path.substr(path.find_last_of('/') + 1);
}

void addRowFindings(const PersonTableScan& scan, std::vector<FolderFinding>& findings)
{
    for (const int line : scan.shortRows) {
        FolderFinding finding;
        finding.kind = FolderFinding::Kind::ShortRow;
        finding.line = line;
        findings.push_back(std::move(finding));
    }
    for (const CellFault& cell : scan.cellFaults) {
        FolderFinding finding;
        finding.kind = FolderFinding::Kind::MalformedCell;
        finding.line = cell.line;
        finding.column = cell.column;
        finding.text = cell.text;
        findings.push_back(std::move(finding));
    }
    std::stable_sort(
        findings.begin(), findings.end(),
        [](const FolderFinding& a, const FolderFinding& b) { return a.line < b.line; });
    if (scan.status != CsvStatus::Ok) {
        FolderFinding finding;
        finding.kind = FolderFinding::Kind::UnreadableTable;
        finding.line = static_cast<int>(scan.stoppedAt);
        findings.push_back(std::move(finding));
    }
}

// How each distinct picture would be sent: prepared exactly as a batch add prepares it,
// each once, on a few threads.
std::vector<PreparedPicture> preparePictures(const std::vector<PersonInfo>& pictures,
                                             const platform::PictureCodec& codec, unsigned threads)
{
    std::vector<PreparedPicture> prepared(pictures.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < pictures.size(); i = next++) {
            PreparedPicture picture = PreparePicture(pictures[i], codec);
            picture.bytes.reset();
            prepared[i] = std::move(picture);
        }
    };
    if (threads == 0)
        threads = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxThreads);
    std::vector<std::thread> pool;
    try {
        for (unsigned i = 1; i < threads; ++i)
            pool.emplace_back(work);
    } catch (const std::system_error&) {
        // Fewer threads: this one does the rest.
    }
    work();
    for (std::thread& thread : pool)
        thread.join();
    return prepared;
}

void addPictureFindings(const std::vector<TablePerson>& persons,
                        const platform::PictureCodec& codec, unsigned threads,
                        std::vector<FolderFinding>& findings)
{
    // The rows of each picture path, in row order.
    std::map<std::string, std::vector<int>> rowsOf;
    std::vector<PersonInfo> distinct;
    std::vector<const TablePerson*> firstOf;
    for (const TablePerson& each : persons) {
        std::vector<int>& rows = rowsOf[each.person.picturePath];
        if (rows.empty()) {
            distinct.push_back(each.person);
            firstOf.push_back(&each);
        }
        rows.push_back(each.line);
    }
    const std::vector<PreparedPicture> prepared = preparePictures(distinct, codec, threads);
    for (std::size_t i = 0; i < distinct.size(); ++i) {
        if (prepared[i].fault == PictureFault::None && !prepared[i].reencoded)
            continue;
        FolderFinding finding;
        finding.kind = prepared[i].fault == PictureFault::None ? FolderFinding::Kind::Reencoded
                                                               : FolderFinding::Kind::PictureFault;
        finding.line = firstOf[i]->line;
        finding.picture = fileNameOf(distinct[i].picturePath);
        finding.fault = prepared[i].fault;
        findings.push_back(std::move(finding));
    }
    for (const PersonInfo& picture : distinct) {
        const std::vector<int>& rows = rowsOf[picture.picturePath];
        if (rows.size() < 2)
            continue;
        FolderFinding finding;
        finding.kind = FolderFinding::Kind::SharedPicture;
        finding.line = rows.front();
        finding.picture = fileNameOf(picture.picturePath);
        finding.lines = rows;
        findings.push_back(std::move(finding));
    }
}

} // namespace

bool FolderReport::picturesUsable() const
{
    return std::none_of(findings.begin(), findings.end(), [](const FolderFinding& finding) {
        return finding.kind == FolderFinding::Kind::PictureFault;
    });
}

FolderReport CheckBatchAddFolder(const std::string& folder, const platform::PictureCodec& codec,
                                 unsigned threads)
{
    FolderReport report;
    RunRequest request;
    request.operation = OperationType::BatchAdd;
    request.inputs.path = folder;
    std::shared_ptr<const std::vector<PersonInfo>> loaded;
    report.start = CheckRunInputs(request, loaded);

    const PersonTableScan scan = ScanPersonTable(folder);
    report.table = scan.table;
    report.encoding = scan.encoding;
    report.signature = scan.signature;
    report.tableStatus = scan.status;
    report.persons = scan.persons.size();
    addRowFindings(scan, report.findings);
    addPictureFindings(scan.persons, codec, threads, report.findings);
    return report;
}

} // namespace galvorn
