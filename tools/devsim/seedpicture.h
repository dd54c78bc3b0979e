#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace galvorn::devsim {

// The picture of seeded person i: a real 32x32 baseline JPEG face that every decoder
// reads, with a comment segment of its own after the JFIF header, so that each person's
// picture has its own bytes and a size between kMinSeedPictureBytes and
// kMaxSeedPictureBytes, spread like enrolled faces, and a seeded library weighs what a
// real one does.
std::vector<std::uint8_t> seedPicture(std::size_t i);

inline constexpr std::size_t kMinSeedPictureBytes = 1006;
inline constexpr std::size_t kMaxSeedPictureBytes = kMinSeedPictureBytes + 29999;

} // namespace galvorn::devsim
