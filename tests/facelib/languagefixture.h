#pragma once

#include "config/languagetable.h"

#include <gtest/gtest.h>

#include <cstdint>

inline constexpr std::uint32_t kEnglish = 0x409;
inline constexpr std::uint32_t kChinesePrc = 0x804;
inline constexpr std::uint32_t kChineseTaiwan = 0x404;

// Loads the program's own language files, English unless a test switches.
class WithLanguage : public ::testing::Test
{
protected:
    void SetUp() override { use(kEnglish); }
    void TearDown() override { galvorn::releaseLanguage(); }

    static void use(std::uint32_t languageId)
    {
        galvorn::loadLanguage(GALVORN_SOURCE_DIR, languageId, "en_US");
        ASSERT_FALSE(galvorn::languageText("IDCS_SUCCESS").empty()) << "language files missing";
    }
};
