#include "support/textcodec.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <langinfo.h>

namespace galvorn::textcodec {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr std::string_view kUtf8Replacement = "\xEF\xBF\xBD";
constexpr std::string_view kLocalReplacement = "?";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

// One step of UTF-8 decoding. An invalid step covers the maximal subpart of a
// sequence: the lead byte and the continuation bytes that still fit it (at least one).
struct Utf8Step
{
    char32_t codePoint;
    std::size_t length;
    bool valid;
};

Utf8Step decodeUtf8(std::string_view s)
{
    const auto lead = static_cast<unsigned char>(s[0]);
    if (lead < 0x80)
        return {lead, 1, true};
    std::size_t trail = 0;
    char32_t cp = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        trail = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trail = 2;
        cp = lead & 0x0F;
        lo = lead == 0xE0 ? 0xA0 : lo; // no overlong forms
        hi = lead == 0xED ? 0x9F : hi; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trail = 3;
        cp = lead & 0x07;
        lo = lead == 0xF0 ? 0x90 : lo; // no overlong forms
        hi = lead == 0xF4 ? 0x8F : hi; // nothing above U+10FFFF
    } else {
        return {kReplacement, 1, false};
    }
    for (std::size_t i = 1; i <= trail; ++i) {
        if (i >= s.size())
            return {kReplacement, i, false};
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < lo || b > hi)
            return {kReplacement, i, false};
        lo = 0x80;
        hi = 0xBF;
        cp = (cp << 6) | (b & 0x3F);
    }
    return {cp, trail + 1, true};
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool isHighSurrogate(char16_t u)
{
    return u >= 0xD800 && u <= 0xDBFF;
}
bool isLowSurrogate(char16_t u)
{
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Decodes count UTF-16 code units, fetched one by one through unitAt.
template <typename UnitAt>
std::string utf16UnitsToUtf8(std::size_t count, UnitAt unitAt)
{
    std::string out;
    out.reserve(count * 3 / 2);
    for (std::size_t i = 0; i < count; ++i) {
        const char16_t u = unitAt(i);
        if (isHighSurrogate(u) && i + 1 < count && isLowSurrogate(unitAt(i + 1))) {
            const char16_t low = unitAt(++i);
            appendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(low) - 0xDC00));
        } else if (isHighSurrogate(u) || isLowSurrogate(u)) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

bool isUtf8Codeset(const std::string& codeset)
{
    return codeset == "UTF-8" || codeset == "utf-8" || codeset == "UTF8" || codeset == "utf8";
}

class IconvHandle
{
public:
    IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~IconvHandle()
    {
        if (ok())
            iconv_close(cd_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

// Runs iconv over all of in. Where iconv refuses the input (invalid, unconvertible or
// truncated), the replacement is written and skip(rest) bytes of the input are dropped.
template <typename Skip>
std::string runIconv(iconv_t cd, std::string_view in, std::string_view replacement, Skip skip)
{
    std::string out;
    out.reserve(in.size() + in.size() / 2);
    char buffer[4096];
    while (!in.empty()) {
        char* inPtr = const_cast<char*>(in.data());
        std::size_t inLeft = in.size();
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        in.remove_prefix(in.size() - inLeft);
        if (result != static_cast<std::size_t>(-1))
            break;
        if (error == E2BIG)
            continue;
        out += replacement;
        in.remove_prefix(std::min(in.size(), std::max<std::size_t>(1, skip(in))));
    }
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    return out;
}

} // namespace

Bom detectBom(std::string_view bytes) noexcept
{
    if (bytes.starts_with(kUtf8Bom))
        return Bom::Utf8;
    if (bytes.starts_with(kUtf16LeBom))
        return Bom::Utf16Le;
    if (bytes.starts_with(kUtf16BeBom))
        return Bom::Utf16Be;
    return Bom::None;
}

std::size_t bomSize(Bom bom) noexcept
{
    switch (bom) {
    case Bom::Utf8:
        return kUtf8Bom.size();
    case Bom::Utf16Le:
    case Bom::Utf16Be:
        return kUtf16LeBom.size();
    case Bom::None:
        break;
    }
    return 0;
}

std::string_view stripBom(std::string_view bytes) noexcept
{
    bytes.remove_prefix(bomSize(detectBom(bytes)));
    return bytes;
}

Encoding detectEncoding(std::string_view bytes) noexcept
{
    switch (detectBom(bytes)) {
    case Bom::Utf8:
        return Encoding::Utf8;
    case Bom::Utf16Le:
        return Encoding::Utf16Le;
    case Bom::Utf16Be:
        return Encoding::Utf16Be;
    case Bom::None:
        break;
    }
    return isValidUtf8(bytes) ? Encoding::Utf8 : Encoding::Local;
}

std::string decodeToUtf8(std::string_view bytes, Encoding encoding)
{
    switch (encoding) {
    case Encoding::Utf8:
        return sanitizeUtf8(bytes.starts_with(kUtf8Bom) ? bytes.substr(kUtf8Bom.size()) : bytes);
    case Encoding::Utf16Le:
        return utf16BytesToUtf8(
            bytes.starts_with(kUtf16LeBom) ? bytes.substr(kUtf16LeBom.size()) : bytes, false);
    case Encoding::Utf16Be:
        return utf16BytesToUtf8(
            bytes.starts_with(kUtf16BeBom) ? bytes.substr(kUtf16BeBom.size()) : bytes, true);
    case Encoding::Local:
        break;
    }
    return localToUtf8(bytes);
}

bool isValidUtf8(std::string_view text) noexcept
{
    while (!text.empty()) {
        const auto firstNonAscii = std::find_if(
            text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
        text.remove_prefix(static_cast<std::size_t>(firstNonAscii - text.begin()));
        if (text.empty())
            break;
        const Utf8Step step = decodeUtf8(text);
        if (!step.valid)
            return false;
        text.remove_prefix(step.length);
    }
    return true;
}

std::string_view truncateUtf8(std::string_view text, std::size_t maxBytes) noexcept
{
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t length = decodeUtf8(text.substr(end)).length;
        if (length > maxBytes - end)
            break;
        end += length;
    }
    return text.substr(0, end);
}

std::string sanitizeUtf8(std::string_view text)
{
    if (isValidUtf8(text))
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const Utf8Step step = decodeUtf8(text);
        if (step.valid)
            out.append(text.substr(0, step.length));
        else
            out += kUtf8Replacement;
        text.remove_prefix(step.length);
    }
    return out;
}

std::u16string utf8ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const Utf8Step step = decodeUtf8(text);
        text.remove_prefix(step.length);
        if (step.codePoint < 0x10000) {
            out += static_cast<char16_t>(step.codePoint);
        } else {
            const char32_t v = step.codePoint - 0x10000;
            out += static_cast<char16_t>(0xD800 + (v >> 10));
            out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        }
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view text)
{
    return utf16UnitsToUtf8(text.size(), [text](std::size_t i) { return text[i]; });
}

std::string utf16BytesToUtf8(std::string_view bytes, bool bigEndian)
{
    const auto byteAt = [bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    std::string out = utf16UnitsToUtf8(bytes.size() / 2, [&](std::size_t i) {
        const unsigned first = byteAt(2 * i);
        const unsigned second = byteAt(2 * i + 1);
        return static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    });
    if (bytes.size() % 2 != 0)
        out += kUtf8Replacement;
    return out;
}

std::string localCodeset()
{
    const char* codeset = nl_langinfo(CODESET);
    if (codeset == nullptr || *codeset == '\0')
        return "ANSI_X3.4-1968";
    return codeset;
}

std::string utf8ToLocal(std::string_view text)
{
    return utf8ToCodeset(text, localCodeset());
}

std::string localToUtf8(std::string_view text)
{
    return codesetToUtf8(text, localCodeset());
}

std::string utf16ToLocal(std::u16string_view text)
{
    return utf8ToLocal(utf16ToUtf8(text));
}

std::u16string localToUtf16(std::string_view text)
{
    return utf8ToUtf16(localToUtf8(text));
}

std::string utf8ToCodeset(std::string_view text, const std::string& codeset)
{
    if (!isValidUtf8(text))
        return utf8ToCodeset(sanitizeUtf8(text), codeset);
    if (isUtf8Codeset(codeset))
        return std::string(text);
    const auto utf8StepLength = [](std::string_view rest) { return decodeUtf8(rest).length; };
    IconvHandle cd(codeset.c_str(), "UTF-8");
    if (cd.ok())
        return runIconv(cd.get(), text, kLocalReplacement, utf8StepLength);
    std::string out;
    while (!text.empty()) {
        const Utf8Step step = decodeUtf8(text);
        text.remove_prefix(step.length);
        if (step.codePoint < 0x80)
            out += static_cast<char>(step.codePoint);
        else
            out += kLocalReplacement;
    }
    return out;
}

std::string codesetToUtf8(std::string_view bytes, const std::string& codeset)
{
    if (isUtf8Codeset(codeset))
        return sanitizeUtf8(bytes);
    IconvHandle cd("UTF-8", codeset.c_str());
    if (cd.ok())
        return runIconv(cd.get(), bytes, kUtf8Replacement, [](std::string_view) { return 1; });
    std::string out;
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) < 0x80)
            out += c;
        else
            out += kUtf8Replacement;
    }
    return out;
}

} // namespace galvorn::textcodec
