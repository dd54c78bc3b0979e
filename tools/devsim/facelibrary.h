#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace galvorn::devsim {

// One enrolled person of a simulated camera.
struct Person
{
    std::int32_t listType = 0;
    std::string name;
    std::uint32_t gender = 0;
    std::int32_t age = 0;
    std::string cardNumber;
    std::string phone;
    std::string remark;
    std::vector<std::uint8_t> picture;

    bool operator==(const Person&) const = default;
};

// Text field capacities, terminator included, as the camera's person records hold them.
inline constexpr std::size_t kPersonNameSize = 128;
inline constexpr std::size_t kPersonCardSize = 128;
inline constexpr std::size_t kPersonPhoneSize = 64;
inline constexpr std::size_t kPersonRemarkSize = 128;
inline constexpr std::size_t kMaxPictureBytes = 4u << 20;
inline constexpr std::size_t kMaxPersons = 100000;

// The camera's own library blob, the data an export sends and an import takes. Galvorn
// never looks inside it. Layout, little-endian: "GFLB", u32 version, u32 person count,
// the persons (i32 list type, u32 gender, i32 age, then name, card number, phone, remark
// and picture, each as u32 length and bytes), and a u32 FNV-1a checksum of everything
// before it.
std::vector<std::uint8_t> encodeLibrary(const std::vector<Person>& persons);
// Nothing when the blob is cut, has trailing bytes, another magic or version, a wrong
// checksum, or a field over its capacity.
std::optional<std::vector<Person>> decodeLibrary(std::span<const std::uint8_t> blob);

// A deterministic person for seeding libraries: number i gets its own name, card
// number and picture (seedPicture(i), a JPEG that decodes).
Person seedPerson(std::size_t i);

// The persons of one camera, kept in "<folder>/facelibrary.bin" (the blob) when a
// folder is given, so that a restarted simulator keeps its library. Used on the
// reactor thread only.
class FaceLibrary
{
public:
    explicit FaceLibrary(std::string folder = {});

    // Reads the folder's library; a missing file is an empty library. False, with the
    // reason, when the file does not parse.
    bool load(std::string& error);
    // Writes the library to the folder (atomically); true without a folder.
    bool save() const;

    const std::vector<Person>& persons() const { return persons_; }
    // The library as one blob, encoded once per change of the library and shared by the
    // exports that send it, so that an export start costs nothing.
    std::shared_ptr<const std::vector<std::uint8_t>> encoded() const;
    void replace(std::vector<Person> persons);
    // The same with the persons' blob as encodeLibrary() makes it, taken as the encoding.
    void replace(std::vector<Person> persons,
                 std::shared_ptr<const std::vector<std::uint8_t>> encoded);
    // Appends one person; the caller keeps the library within kMaxPersons.
    void add(Person person);
    const std::string& folder() const { return folder_; }
    // "<folder>/facelibrary.bin", or empty.
    std::string filePath() const;

private:
    std::string folder_;
    std::vector<Person> persons_;
    // encodeLibrary(persons_), or null until asked for after a change.
    mutable std::shared_ptr<const std::vector<std::uint8_t>> encoded_;
};

} // namespace galvorn::devsim
