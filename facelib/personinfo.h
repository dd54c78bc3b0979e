#pragma once

#include <string>

namespace galvorn {

// One person of a batch add, as the person table of the picture folder describes it (or
// as made from a picture alone). Texts are UTF-8. The list of persons is built once per
// run on the GUI thread and only read afterwards, by every device of the run.
struct PersonInfo
{
    // Decimal text of the device's list number; "stranger" for a person made from a
    // picture alone, which the device request turns into 0.
    std::string listType;
    std::string name;
    // "female" or "male".
    std::string gender;
    // Decimal text of the age in whole years.
    std::string age;
    std::string phone;
    std::string cardNumber;
    std::string remark;
    // The picture file: the folder, "/", and the table's picture name.
    std::string picturePath;

    bool operator==(const PersonInfo&) const = default;
};

} // namespace galvorn
