#include "facelib/operationlog.h"
#include "facelib/retrylog.h"
#include "testkit/tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace galvorn;

namespace {

PersonInfo personOf(const std::string& picture)
{
    PersonInfo person;
    person.name = picture.substr(0, picture.find('.'));
    person.picturePath = "/pictures/" + picture;
    return person;
}

std::vector<std::string> namesOf(const std::vector<PersonInfo>& persons)
{
    std::vector<std::string> names;
    for (const PersonInfo& person : persons)
        names.push_back(person.name);
    return names;
}

} // namespace

// The log a batch add writes gives back the pictures it names, in its order.
TEST(RefusalLog, NamesThePicturesABatchAddLogged)
{
    BatchAddLog log;
    log.addRefusal("anna.jpg", -5);
    log.addLine("b, c.png", "The picture cannot be read");
    log.addRefusal("anna.jpg", -3);
    log.addRefusal("dan.jpeg", -16);
    EXPECT_EQ(LoggedPictureNames(log.text()),
              (std::vector<std::string>{"anna.jpg", "b, c.png", "dan.jpeg"}));
}

TEST(RefusalLog, ReadsLinesEditedByHand)
{
    const struct
    {
        const char* what;
        std::string log;
        std::vector<std::string> names;
    } cases[] = {
        {"LF line ends", "a.jpg\t\tx\nb.jpg\t\ty\n", {"a.jpg", "b.jpg"}},
        {"a line without a reason", "a.jpg\nb.jpg\t\ty", {"b.jpg"}},
        {"an empty name", "\t\tx\r\nb.jpg\t\ty", {"b.jpg"}},
        {"one tab only", "a.jpg\tx\r\n", {}},
        {"empty", "", {}},
    };
    for (const auto& each : cases)
        EXPECT_EQ(LoggedPictureNames(each.log), each.names) << each.what;
}

TEST(RefusalLog, ChoosesThePersonsOfTheNamedPicturesInListOrder)
{
    const std::vector<PersonInfo> persons{personOf("a.jpg"), personOf("b.jpg"), personOf("c.jpg"),
                                          personOf("b.jpg")};
    std::vector<std::string> unmatched;
    const std::vector<PersonInfo> chosen =
        PersonsNamedInLog(persons, {"c.jpg", "b.jpg", "gone.jpg"}, unmatched);
    EXPECT_EQ(namesOf(chosen), (std::vector<std::string>{"b", "c", "b"}));
    EXPECT_EQ(unmatched, std::vector<std::string>{"gone.jpg"});
    EXPECT_TRUE(PersonsNamedInLog(persons, {}, unmatched).empty());
}

TEST(RefusalLog, OnlyARegularFileIsRead)
{
    TempDir dir;
    dir.write("log.log", "a.jpg\t\tx");
    EXPECT_EQ(ReadRefusalLog(dir.file("log.log")), std::optional<std::string>("a.jpg\t\tx"));
    EXPECT_FALSE(ReadRefusalLog(dir.file("missing.log")));
    EXPECT_FALSE(ReadRefusalLog(dir.path()));
    ASSERT_EQ(::mkfifo(dir.file("fifo.log").c_str(), 0600), 0);
    EXPECT_FALSE(ReadRefusalLog(dir.file("fifo.log"))) << "and without blocking";
}
