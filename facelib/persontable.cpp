#include "facelib/persontable.h"

#include "support/csvreader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

namespace galvorn {

namespace {

namespace fs = std::filesystem;

// The fields a data row fills, in the order it fills them.
enum class Field : std::size_t
{
    Name,
    Gender,
    BirthDate,
    ListType,
    CardNumber,
    Phone,
    Remark,
    Picture,
};

struct FieldNumber
{
    Field field;
    int number; // as the header row names the column
};

constexpr std::array<FieldNumber, 8> kFieldNumbers = {{
    {Field::Name, 1},
    {Field::Gender, 2},
    {Field::BirthDate, 3},
    {Field::ListType, 6},
    {Field::CardNumber, 7},
    {Field::Phone, 8},
    {Field::Remark, 9},
    {Field::Picture, 12},
}};

// A header cell of this many characters or fewer names no column.
constexpr std::size_t kShortestNamingCell = 3;
// A digits-only age cell above this is not an age.
constexpr int kMaxPlainAge = 150;

// The builder's own limit: every person of the table.
constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

constexpr char kFemale[] = "female";
constexpr char kMale[] = "male";
constexpr char kStranger[] = "stranger";

// Where the header row puts each field; empty for a field it does not name. The
// validator and the builder both judge rows by this one object, so they cannot disagree
// about which rows are complete.
class Columns
{
public:
    std::optional<std::size_t> operator[](Field field) const { return at_[slot(field)]; }
    void set(Field field, std::size_t column) { at_[slot(field)] = column; }

private:
    static std::size_t slot(Field field) { return static_cast<std::size_t>(field); }

    std::array<std::optional<std::size_t>, kFieldNumbers.size()> at_{};
};

bool startsCodePoint(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
}

// The byte offset of code point `index` of a UTF-8 text; the text's size when it is
// shorter.
std::size_t codePointOffset(std::string_view text, std::size_t index)
{
    std::size_t seen = 0;
    for (std::size_t offset = 0; offset < text.size(); ++offset) {
        if (!startsCodePoint(text[offset]))
            continue;
        if (seen == index)
            return offset;
        ++seen;
    }
    return text.size();
}

// The column number a header cell names: its second and third characters (code points
// 1 and 2) read as a decimal number the way atoi reads it, so that "(06)List type", a full-width
// "（06）" and "(6)x" all give 6. 0 for a cell that names none.
int headerNumber(std::string_view cell)
{
    if (codePointOffset(cell, kShortestNamingCell) == cell.size())
        return 0;
    const std::size_t begin = codePointOffset(cell, 1);
    const std::string digits(cell.substr(begin, codePointOffset(cell, 3) - begin));
    return std::atoi(digits.c_str());
}

// A later cell that names the same number wins.
Columns parseHeader(const std::vector<std::string>& cells)
{
    Columns columns;
    for (std::size_t column = 0; column < cells.size(); ++column) {
        const int number = headerNumber(cells[column]);
        for (const FieldNumber& known : kFieldNumbers)
            if (known.number == number)
                columns.set(known.field, column);
    }
    return columns;
}

// The first field, in fill order, whose column lies beyond the end of a row of
// `cellCount` cells.
std::optional<Field> firstMissingField(const Columns& columns, std::size_t cellCount)
{
    for (const FieldNumber& known : kFieldNumbers) {
        const std::optional<std::size_t> column = columns[known.field];
        if (column && *column >= cellCount)
            return known.field;
    }
    return std::nullopt;
}

std::string asciiLower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// The names of the regular files directly in `folder`, in no particular order; none
// when the folder cannot be read.
std::vector<std::string> regularFileNames(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code listing;
    for (fs::directory_iterator it(folder, listing), end; !listing && it != end;
         it.increment(listing)) {
        // An entry whose type cannot be read, such as a dangling link, is skipped.
        std::error_code entry;
        if (it->is_regular_file(entry))
            names.push_back(it->path().filename().string());
    }
    return names;
}

// The person table among the file names: the last "*.csv" in byte order, which does not
// depend on the order the folder lists its files in. Empty when there is none.
std::string tableName(const std::vector<std::string>& names)
{
    std::string table;
    for (const std::string& name : names)
        if (asciiLower(name).ends_with(".csv") && name > table)
            table = name;
    return table;
}

// The pictures a folder without a table stands for: "*.jp*" by name, then "*.png" by
// name. A name that fits both patterns is taken once, as the first.
std::vector<std::string> pictureNames(const std::vector<std::string>& names)
{
    std::vector<std::string> jpegs;
    std::vector<std::string> pngs;
    for (const std::string& name : names) {
        const std::string lower = asciiLower(name);
        if (lower.find(".jp") != std::string::npos)
            jpegs.push_back(name);
        else if (lower.ends_with(".png"))
            pngs.push_back(name);
    }
    std::sort(jpegs.begin(), jpegs.end());
    std::sort(pngs.begin(), pngs.end());
    jpegs.insert(jpegs.end(), std::make_move_iterator(pngs.begin()),
                 std::make_move_iterator(pngs.end()));
    return jpegs;
}

// Opens the table at `path` and reads its header row. False when the table yields no
// rows: it cannot be opened or parsed, or it is empty.
bool readHeader(CsvReader& reader, const std::string& path, Columns& columns)
{
    reader.openFile(path);
    CsvRow header;
    if (!reader.readRow(header))
        return false;
    columns = parseHeader(header.cells);
    return true;
}

// Reads an integer as scanf's "%d" does: white space, an optional sign, digits.
bool readInteger(std::string_view& text, int& value)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    if (text.size() > 1 && text[0] == '+' && std::isdigit(static_cast<unsigned char>(text[1])))
        text.remove_prefix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc())
        return false;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return true;
}

bool skipSlash(std::string_view& text)
{
    if (!text.starts_with('/'))
        return false;
    text.remove_prefix(1);
    return true;
}

// The year of a "year/month/day" cell; text after the day is ignored.
std::optional<int> birthYear(std::string_view cell)
{
    int year = 0;
    int month = 0;
    int day = 0;
    if (readInteger(cell, year) && skipSlash(cell) && readInteger(cell, month) && skipSlash(cell) &&
        readInteger(cell, day))
        return year;
    return std::nullopt;
}

// An age as the CSV export writes it into the birth-date column.
std::optional<int> plainAge(std::string_view cell)
{
    if (cell.empty() ||
        !std::all_of(cell.begin(), cell.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    int age = 0;
    const auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), age);
    if (error != std::errc() || age > kMaxPlainAge)
        return std::nullopt;
    return age;
}

// A birth date gives the age it reaches in `currentYear`, never below 0; a cell that
// is neither a date nor a plain age gives "0".
std::string ageText(std::string_view cell, int currentYear)
{
    if (const std::optional<int> year = birthYear(cell))
        return std::to_string(std::max<long long>(0, static_cast<long long>(currentYear) - *year));
    if (const std::optional<int> age = plainAge(cell))
        return std::to_string(*age);
    return "0";
}

// The field's cell, moved out of the row (each column serves one field at most), or
// `absent` when the header does not name the field. The row must be complete.
std::string takeCell(std::vector<std::string>& cells, const Columns& columns, Field field,
                     const char* absent = "")
{
    const std::optional<std::size_t> column = columns[field];
    return column ? std::move(cells[*column]) : std::string(absent);
}

// An absent gender or birth-date column reads like an empty cell: "male", "0".
PersonInfo rowPerson(const std::string& folder, const Columns& columns,
                     std::vector<std::string>& cells, int currentYear)
{
    PersonInfo person;
    person.name = takeCell(cells, columns, Field::Name);
    person.gender = takeCell(cells, columns, Field::Gender) == "1" ? kFemale : kMale;
    person.age = ageText(takeCell(cells, columns, Field::BirthDate), currentYear);
    person.listType = takeCell(cells, columns, Field::ListType, "0");
    person.cardNumber = takeCell(cells, columns, Field::CardNumber);
    person.phone = takeCell(cells, columns, Field::Phone);
    person.remark = takeCell(cells, columns, Field::Remark);
    if (columns[Field::Picture])
        person.picturePath = folder + "/" + takeCell(cells, columns, Field::Picture);
    return person;
}

// At most `limit` persons of the table at `path`. A row short for the list-type column
// ends the table; a row short for another column is dropped.
std::vector<PersonInfo> tablePersons(const std::string& folder, const std::string& path,
                                     int currentYear, std::size_t limit)
{
    std::vector<PersonInfo> persons;
    CsvReader reader;
    Columns columns;
    if (!readHeader(reader, path, columns))
        return persons;
    CsvRow row;
    while (persons.size() < limit && reader.readRow(row)) {
        const std::optional<Field> missing = firstMissingField(columns, row.cells.size());
        if (missing == Field::ListType)
            break;
        if (!missing)
            persons.push_back(rowPerson(folder, columns, row.cells, currentYear));
    }
    // A table that breaks a reading cap is refused whole rather than cut short.
    if (reader.status() != CsvStatus::Ok)
        persons.clear();
    return persons;
}

PersonInfo picturePerson(const std::string& folder, const std::string& fileName)
{
    PersonInfo person;
    person.listType = kStranger;
    person.name = fileName.substr(0, fileName.find('.'));
    person.gender = kMale;
    person.age = "0";
    person.picturePath = folder + "/" + fileName;
    return person;
}

std::vector<PersonInfo> picturePersons(const std::string& folder,
                                       const std::vector<std::string>& fileNames, std::size_t limit)
{
    std::vector<PersonInfo> persons;
    for (const std::string& fileName : pictureNames(fileNames)) {
        if (persons.size() == limit)
            break;
        persons.push_back(picturePerson(folder, fileName));
    }
    return persons;
}

// The builder with a cap on the persons it keeps, so that a huge table costs no more
// memory than the largest batch add needs to be refused.
std::vector<PersonInfo> buildPersons(const std::string& folder, int currentYear, std::size_t limit)
{
    const std::vector<std::string> names = regularFileNames(folder);
    const std::string table = tableName(names);
    if (table.empty())
        return picturePersons(folder, names, limit);
    return tablePersons(folder, folder + "/" + table, currentYear, limit);
}

enum class KeepPictureNames
{
    No,
    Yes,
};

// The validator. Without the picture names it only looks for a faulty row, at a cost that
// does not grow with the table.
PersonTableCheck checkTable(const std::string& folder, KeepPictureNames keep)
{
    PersonTableCheck check;
    const std::string table = tableName(regularFileNames(folder));
    if (table.empty())
        return check;
    CsvReader reader;
    Columns columns;
    if (!readHeader(reader, folder + "/" + table, columns))
        return check;
    const std::optional<std::size_t> picture = columns[Field::Picture];
    if (!picture)
        return check;
    CsvRow row;
    while (reader.readRow(row)) {
        if (firstMissingField(columns, row.cells.size())) {
            check.fault = true;
            check.line = static_cast<int>(row.number);
            return check;
        }
        if (keep == KeepPictureNames::Yes)
            check.pictureNames.push_back(std::move(row.cells[*picture]));
    }
    if (reader.status() != CsvStatus::Ok)
        check.pictureNames.clear();
    return check;
}

int headerNumberOf(Field field)
{
    for (const FieldNumber& known : kFieldNumbers)
        if (known.field == field)
            return known.number;
    return 0;
}

bool isWholeInteger(std::string_view text)
{
    int value = 0;
    return readInteger(text, value) && text.empty();
}

// Whether a non-empty cell says what the builder reads of it.
bool readsAsWritten(Field field, const std::string& cell)
{
    switch (field) {
    case Field::Gender:
        return cell == "0" || cell == "1";
    case Field::BirthDate:
        return birthYear(cell) || plainAge(cell);
    case Field::ListType:
        return isWholeInteger(cell);
    default:
        return true;
    }
}

void findCellFaults(const Columns& columns, const std::vector<std::string>& cells, int line,
                    std::vector<CellFault>& faults)
{
    for (const Field field : {Field::Gender, Field::BirthDate, Field::ListType}) {
        const std::optional<std::size_t> column = columns[field];
        if (column && !cells[*column].empty() && !readsAsWritten(field, cells[*column]))
            faults.push_back({line, headerNumberOf(field), cells[*column]});
    }
}

bool startsWithMark(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    char head[3] = {};
    in.read(head, sizeof head);
    return textcodec::detectBom(std::string_view(head, static_cast<std::size_t>(in.gcount()))) !=
           textcodec::Bom::None;
}

void scanRows(const std::string& folder, PersonTableScan& scan, int currentYear)
{
    const std::string path = folder + "/" + scan.table;
    scan.signature = startsWithMark(path);
    CsvReader reader;
    Columns columns;
    const bool headed = readHeader(reader, path, columns);
    scan.encoding = reader.encoding();
    scan.pictureColumn = headed && columns[Field::Picture].has_value();
    CsvRow row;
    std::size_t lastRow = headed ? 1 : 0;
    while (headed && reader.readRow(row)) {
        lastRow = row.number;
        const int line = static_cast<int>(row.number);
        if (firstMissingField(columns, row.cells.size())) {
            scan.shortRows.push_back(line);
            continue;
        }
        findCellFaults(columns, row.cells, line, scan.cellFaults);
        scan.persons.push_back({line, rowPerson(folder, columns, row.cells, currentYear)});
    }
    scan.status = reader.status();
    if (scan.status != CsvStatus::Ok)
        scan.stoppedAt = lastRow + 1;
}

int currentLocalYear()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return local.tm_year + 1900;
}

bool anyPictureExists(const std::vector<PersonInfo>& persons)
{
    return std::any_of(persons.begin(), persons.end(), [](const PersonInfo& person) {
        std::error_code error;
        return fs::is_regular_file(person.picturePath, error);
    });
}

} // namespace

PersonTableCheck ValidatePersonTable(const std::string& folder)
{
    return checkTable(folder, KeepPictureNames::Yes);
}

std::vector<PersonInfo> BuildPersonList(const std::string& folder, int currentYear)
{
    return buildPersons(folder, currentYear, kNoLimit);
}

std::vector<PersonInfo> BuildPersonList(const std::string& folder)
{
    return BuildPersonList(folder, currentLocalYear());
}

PersonTableScan ScanPersonTable(const std::string& folder, int currentYear)
{
    PersonTableScan scan;
    const std::vector<std::string> names = regularFileNames(folder);
    scan.table = tableName(names);
    if (!scan.table.empty()) {
        scanRows(folder, scan, currentYear);
        return scan;
    }
    for (PersonInfo& person : picturePersons(folder, names, kNoLimit))
        scan.persons.push_back({0, std::move(person)});
    return scan;
}

PersonTableScan ScanPersonTable(const std::string& folder)
{
    return ScanPersonTable(folder, currentLocalYear());
}

PersonListLoad LoadPersonList(const std::string& folder)
{
    PersonListLoad load;
    const PersonTableCheck check = checkTable(folder, KeepPictureNames::No);
    if (check.fault) {
        load.result = PersonListLoad::Result::FaultyLine;
        load.line = check.line;
        return load;
    }
    // One person more than allowed is enough to refuse the batch add.
    std::vector<PersonInfo> persons =
        buildPersons(folder, currentLocalYear(), kMaxBatchAddPersons + 1);
    if (persons.size() > kMaxBatchAddPersons) {
        load.result = PersonListLoad::Result::TooMany;
        return load;
    }
    // An empty list has no picture either.
    if (!anyPictureExists(persons)) {
        load.result = PersonListLoad::Result::NoPicture;
        return load;
    }
    load.result = PersonListLoad::Result::Ok;
    load.persons = std::make_shared<const std::vector<PersonInfo>>(std::move(persons));
    return load;
}

} // namespace galvorn
