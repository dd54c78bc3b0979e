#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string_view>

#include "support/textcodec.h"

// One device as the search sees it. Texts are NUL-terminated UTF-8 in fixed-width
// fields; a field of N bytes holds at most N - 1 bytes of text. The record is plain
// data: build it value-initialised (SEARCH_INFO info{}), so that absent values are
// empty texts and zeros, and write texts only through CopySearchText().
struct SEARCH_INFO
{
    std::int32_t status; // 0 first answer, 1 gone, 2 data changed
    char devName[32];
    char ipAddr[20];
    char maskAddr[20];
    char ipAddr2[20];
    char maskAddr2[20];
    char route[20];
    char dns1[20];
    char dns2[20];
    std::int32_t dataPort;
    std::int32_t httpPort;
    std::int32_t rtspPort;
    char mac[64]; // upper case, "AA:BB:CC:DD:EE:FF"; the device's key
    char productSeries[16];
    char softwareVer[16]; // the build number in brackets behind the version
    char softwareBuildDate[16];
    char hardwareVer[16];
    char kernelVer[16];
    char productModel[24];
    char runningTime[64]; // seconds since start, decimal text
    char bootTime[20];
    bool dhcpSwitch;
};

// Values of status.
enum SearchStatus : std::int32_t
{
    SEARCH_STATUS_NEW = 0,
    SEARCH_STATUS_GONE = 1,
    SEARCH_STATUS_CHANGED = 2
};

// Writes text into a field, cut to the field at a UTF-8 character boundary, and fills
// the rest of the field with NULs. Never writes past the field.
template <std::size_t N>
void CopySearchText(char (&field)[N], std::string_view text)
{
    static_assert(N > 0);
    const std::string_view fitted = galvorn::textcodec::truncateUtf8(text, N - 1);
    std::memcpy(field, fitted.data(), fitted.size());
    std::memset(field + fitted.size(), 0, N - fitted.size());
}

// The text of a field, up to its NUL or its end, whichever comes first.
template <std::size_t N>
std::string_view SearchText(const char (&field)[N])
{
    return {field, ::strnlen(field, N)};
}

// Hashes MAC texts, so that a map from std::string keys (with std::equal_to<>) is looked up
// with the text of a record's field, without a copy.
struct SearchTextHash
{
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const
    {
        return std::hash<std::string_view>{}(text);
    }
};

// Fills a record from a multicastSearchResult answer. The caller has value-initialised
// the record and written status and mac; fields whose elements are absent keep their
// values. False when the answer is to be dropped: not a well-formed document with the
// root multicastSearchResult, or a product series that does not contain "VRN". No state
// is kept between calls.
bool ParseSearchResult(std::string_view xml, SEARCH_INFO& info);

// Brings a record that ParseSearchResult filled from `parsedXml` up to date with `xml`
// without parsing it, when the two differ only in the digits of the one runningTime
// element that the record's running time came from: the way a camera's answers differ
// from one search round to the next. True when it did; the record is then what
// ParseSearchResult would make of `xml`. False (the record untouched) for any other
// difference: the answer is then to be parsed.
bool UpdateRunningTime(std::string_view parsedXml, std::string_view xml, SEARCH_INFO& info);
