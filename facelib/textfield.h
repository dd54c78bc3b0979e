#pragma once

#include "support/textcodec.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace galvorn {

// Fixed-size text fields of the records that cross threads. A field always keeps at least
// one terminating zero; a text that does not fit is cut at a UTF-8 character boundary.

template <std::size_t N>
void setFieldText(std::array<char, N>& field, std::string_view text)
{
    static_assert(N > 0);
    field.fill('\0');
    const std::string_view cut = textcodec::truncateUtf8(text, N - 1);
    std::copy(cut.begin(), cut.end(), field.begin());
}

// The text up to the first zero.
template <std::size_t N>
std::string_view fieldText(const std::array<char, N>& field)
{
    const std::string_view all(field.data(), N);
    return all.substr(0, all.find('\0'));
}

} // namespace galvorn
