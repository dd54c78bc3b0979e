#include "tools/devsim/facelibrary.h"

#include "common/wirebuffer.h"
#include "tools/devsim/seedpicture.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace galvorn::devsim {

namespace {

using common::WireReader;
using common::WireWriter;

constexpr std::uint32_t kBlobMagic = 0x424C4647; // "GFLB"
constexpr std::uint32_t kBlobVersion = 1;
constexpr char kFileName[] = "facelibrary.bin";

std::uint32_t fnv1a(std::span<const std::uint8_t> bytes)
{
    std::uint32_t hash = 0x811C9DC5;
    for (const std::uint8_t byte : bytes) {
        hash ^= byte;
        hash *= 0x01000193;
    }
    return hash;
}

void putBytes(WireWriter& writer, std::span<const std::uint8_t> bytes)
{
    writer.u32(static_cast<std::uint32_t>(bytes.size()));
    writer.bytes(bytes);
}

void putText(WireWriter& writer, const std::string& text)
{
    putBytes(writer, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

// A length-prefixed field of at most `cap` bytes; not ok when longer.
std::span<const std::uint8_t> getBytes(WireReader& reader, std::size_t cap, bool& fits)
{
    const std::uint32_t length = reader.u32();
    if (length > cap) {
        fits = false;
        return {};
    }
    return reader.bytes(length);
}

std::string getText(WireReader& reader, std::size_t capacity, bool& fits)
{
    const auto bytes = getBytes(reader, capacity - 1, fits);
    return {bytes.begin(), bytes.end()};
}

} // namespace

std::vector<std::uint8_t> encodeLibrary(const std::vector<Person>& persons)
{
    WireWriter writer;
    writer.u32(kBlobMagic);
    writer.u32(kBlobVersion);
    writer.u32(static_cast<std::uint32_t>(persons.size()));
    for (const Person& person : persons) {
        writer.u32(static_cast<std::uint32_t>(person.listType));
        writer.u32(person.gender);
        writer.u32(static_cast<std::uint32_t>(person.age));
        putText(writer, person.name);
        putText(writer, person.cardNumber);
        putText(writer, person.phone);
        putText(writer, person.remark);
        putBytes(writer, person.picture);
    }
    writer.u32(fnv1a(writer.data()));
    return writer.take();
}

std::optional<std::vector<Person>> decodeLibrary(std::span<const std::uint8_t> blob)
{
    if (blob.size() < 16)
        return std::nullopt;
    const auto body = blob.first(blob.size() - 4);
    WireReader tail(blob.last(4));
    if (tail.u32() != fnv1a(body))
        return std::nullopt;
    WireReader reader(body);
    if (reader.u32() != kBlobMagic || reader.u32() != kBlobVersion)
        return std::nullopt;
    const std::uint32_t count = reader.u32();
    if (count > kMaxPersons)
        return std::nullopt;
    std::vector<Person> persons;
    bool fits = true;
    for (std::uint32_t i = 0; i < count && reader.ok() && fits; ++i) {
        Person person;
        person.listType = static_cast<std::int32_t>(reader.u32());
        person.gender = reader.u32();
        person.age = static_cast<std::int32_t>(reader.u32());
        person.name = getText(reader, kPersonNameSize, fits);
        person.cardNumber = getText(reader, kPersonCardSize, fits);
        person.phone = getText(reader, kPersonPhoneSize, fits);
        person.remark = getText(reader, kPersonRemarkSize, fits);
        const auto picture = getBytes(reader, kMaxPictureBytes, fits);
        person.picture.assign(picture.begin(), picture.end());
        persons.push_back(std::move(person));
    }
    if (!reader.ok() || !fits || reader.remaining() != 0)
        return std::nullopt;
    return persons;
}

Person seedPerson(std::size_t i)
{
    Person person;
    person.listType = static_cast<std::int32_t>(i % 3);
    person.name = "Person " + std::to_string(i);
    person.gender = i % 2 == 0 ? 1 : 0;
    person.age = static_cast<std::int32_t>(20 + i % 50);
    person.cardNumber = "C" + std::to_string(100000 + i);
    person.phone = "555-" + std::to_string(1000 + i);
    person.remark = "seed " + std::to_string(i);
    person.picture = seedPicture(i);
    return person;
}

FaceLibrary::FaceLibrary(std::string folder) : folder_(std::move(folder)) {}

std::string FaceLibrary::filePath() const
{
    return folder_.empty() ? std::string() : folder_ + "/" + kFileName;
}

std::shared_ptr<const std::vector<std::uint8_t>> FaceLibrary::encoded() const
{
    if (!encoded_)
        encoded_ = std::make_shared<const std::vector<std::uint8_t>>(encodeLibrary(persons_));
    return encoded_;
}

bool FaceLibrary::load(std::string& error)
{
    persons_.clear();
    encoded_.reset();
    if (folder_.empty())
        return true;
    std::ifstream in(filePath(), std::ios::binary);
    if (!in)
        return true;
    const std::vector<std::uint8_t> blob{std::istreambuf_iterator<char>(in), {}};
    auto persons = decodeLibrary(blob);
    if (!persons) {
        error = "face library " + filePath() + " does not parse";
        return false;
    }
    persons_ = std::move(*persons);
    return true;
}

bool FaceLibrary::save() const
{
    if (folder_.empty())
        return true;
    const std::vector<std::uint8_t>& blob = *encoded();
    const std::string part = filePath() + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(blob.data()),
                  static_cast<std::streamsize>(blob.size()));
        if (!out.flush())
            return false;
    }
    return std::rename(part.c_str(), filePath().c_str()) == 0;
}

void FaceLibrary::replace(std::vector<Person> persons)
{
    persons_ = std::move(persons);
    encoded_.reset();
}

void FaceLibrary::replace(std::vector<Person> persons,
                          std::shared_ptr<const std::vector<std::uint8_t>> encoded)
{
    persons_ = std::move(persons);
    encoded_ = std::move(encoded);
}

void FaceLibrary::add(Person person)
{
    persons_.push_back(std::move(person));
    encoded_.reset();
}

} // namespace galvorn::devsim
