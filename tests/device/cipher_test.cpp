#include "device/encrypt.h"

#include <gtest/gtest.h>
#include <vector>

using namespace galvorn::device;

namespace {

const std::vector<std::uint8_t> kKey = {0x01, 0x02, 0x04, 0x80};

TEST(Cipher, XorWalksTheKeyCyclically)
{
    std::vector<std::uint8_t> data = {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0xFF};
    ASSERT_TRUE(EncryptBytes(data, kKey, kCipherXor));
    // The fifth byte meets the first key byte again, the sixth the second.
    EXPECT_EQ(data, (std::vector<std::uint8_t>{0x11, 0x12, 0x14, 0x90, 0x11, 0x12, 0xFB}));
}

TEST(Cipher, DataShorterThanTheKeyUsesItsFirstBytes)
{
    std::vector<std::uint8_t> data = {0x00, 0x00};
    ASSERT_TRUE(EncryptBytes(data, kKey, kCipherXor));
    EXPECT_EQ(data, (std::vector<std::uint8_t>{0x01, 0x02}));
}

TEST(Cipher, XorTwiceRestoresTheData)
{
    const std::vector<std::uint8_t> original = {'a', 'd', 'm', 'i', 'n', 0, 0, 0, 0, 0};
    std::vector<std::uint8_t> data = original;
    const std::unique_ptr<CEncrypt> cipher = CreateCipher(kCipherXor);
    ASSERT_NE(dynamic_cast<CEncryptXOR*>(cipher.get()), nullptr);
    cipher->Encrypt(data, kKey);
    EXPECT_NE(data, original);
    cipher->Decrypt(data, kKey);
    EXPECT_EQ(data, original);
}

TEST(Cipher, UnregisteredTypesLeaveTheDataUnchanged)
{
    for (const tuint32 type : {1u, 0xFFFFu, 0x10001u, 0xFFFFFFFFu}) {
        std::vector<std::uint8_t> data = {'u', 's', 'e', 'r'};
        const std::unique_ptr<CEncrypt> cipher = CreateCipher(type);
        ASSERT_NE(cipher, nullptr);
        EXPECT_EQ(dynamic_cast<CEncryptXOR*>(cipher.get()), nullptr) << type;
        EXPECT_TRUE(EncryptBytes(data, kKey, type));
        EXPECT_EQ(data, (std::vector<std::uint8_t>{'u', 's', 'e', 'r'})) << type;
    }
}

TEST(Cipher, EmptyKeyLeavesTheDataUnchanged)
{
    std::vector<std::uint8_t> data = {1, 2, 3};
    EXPECT_TRUE(EncryptBytes(data, {}, kCipherXor));
    EXPECT_EQ(data, (std::vector<std::uint8_t>{1, 2, 3}));
}

} // namespace
