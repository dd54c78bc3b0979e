// The person table of a batch-add folder: the validator that Start runs and the builder
// of the persons, on one table. Both judge rows by the same header, so a table the
// validator passes gives one person per row, each with the picture the validator named.
#include "facelib/persontable.h"
#include "fuzz/fuzzinput.h"
#include "fuzz/scratchfolder.h"
#include "support/textcodec.h"

#include <algorithm>
#include <fstream>

using namespace galvorn;

namespace {

bool isDecimal(const std::string& text)
{
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void checkPerson(const PersonInfo& person)
{
    FUZZ_CHECK(person.gender == "male" || person.gender == "female");
    FUZZ_CHECK(isDecimal(person.age));
    for (const std::string* text : {&person.name, &person.listType, &person.cardNumber,
                                    &person.phone, &person.remark, &person.picturePath})
        FUZZ_CHECK(textcodec::isValidUtf8(*text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fuzz::ScratchFolder scratch;
    const std::string& folder = scratch.path();
    std::ofstream(folder + "/person_info.csv", std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    const PersonTableCheck check = ValidatePersonTable(folder);
    const std::vector<PersonInfo> persons = BuildPersonList(folder, 2024);
    for (const PersonInfo& person : persons)
        checkPerson(person);
    if (check.fault) {
        FUZZ_CHECK(check.line >= 2);
        const PersonListLoad load = LoadPersonList(folder);
        FUZZ_CHECK(load.result == PersonListLoad::Result::FaultyLine && load.line == check.line);
        return 0;
    }
    FUZZ_CHECK(check.line == -1);
    // Without a picture column the validator names no picture and the persons have none.
    const bool pictureColumn = !persons.empty() && !persons.front().picturePath.empty();
    if (!pictureColumn) {
        FUZZ_CHECK(check.pictureNames.empty());
        return 0;
    }
    FUZZ_CHECK(persons.size() == check.pictureNames.size());
    for (std::size_t i = 0; i < persons.size(); ++i)
        FUZZ_CHECK(persons[i].picturePath == folder + "/" + check.pictureNames[i]);
    return 0;
}
