#pragma once

#include <clocale>
#include <locale.h>
#include <string>
#include <string_view>

// Switches the calling thread to a named locale for the life of the object, so that a
// test can fix the local code page without touching the process locale.
class ScopedLocale
{
public:
    explicit ScopedLocale(const char* name)
        : locale_(newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr))),
          previous_(locale_ ? uselocale(locale_) : static_cast<locale_t>(nullptr))
    {}
    ~ScopedLocale()
    {
        if (locale_) {
            uselocale(previous_);
            freelocale(locale_);
        }
    }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

    bool ok() const { return locale_ != nullptr; }

private:
    locale_t locale_;
    locale_t previous_;
};

// UTF-16 code units written out as bytes, built apart from the code under test.
inline std::string utf16Bytes(std::u16string_view text, bool bigEndian)
{
    std::string bytes;
    for (const char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}
