#include "settings/Encrypt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/Chronos.h"
#include "scan/Regional.h"
#include "settings/Base64.h"
#include "support/TestScopes.h"

namespace vireo {
namespace {

using testing::ClockScope;
using testing::RegionalScope;

const SecondStamp kNoon = StampOf(2005, 6, 15, 12, 30, 0);

TEST(TEncrypt, HasTheFixedParameters) {
    const TEncrypt cipher;
    EXPECT_EQ(cipher.key, 47159);
    EXPECT_EQ(cipher.const1, 20861);
    EXPECT_EQ(cipher.const2, 61375);
}

TEST(TEncrypt, EnciphersLikeTheStoredForms) {
    // Computed apart with 16-bit arithmetic of the key register.
    const std::string plain = std::string("secret:06/15/2005 12:30:00") + std::string(4, '\0');
    const std::string expected =
        "\xCB\x82\x9C\x3C\xAA\xBD\x90\x7A\x57\x7D\x49\xB9\x45\xBF\xF0\x5A\x90\xE0\x77\x4D\xA0\x51\x63\x67\x5E\x61"
        "\x9C\xA7\x02\x7A";
    std::string cipher(30, '\0');
    TEncrypt().Encrypt(plain.data(), cipher.data(), 30);
    EXPECT_EQ(cipher, expected);
    std::string back(30, '\0');
    TEncrypt().Decrypt(cipher.data(), back.data(), 30);
    EXPECT_EQ(back, plain);
    EXPECT_EQ(Base64Encode(cipher), "y4KcPKq9kHpXfUm5Rb/wWpDgd02gUWNnXmGcpwJ6");
}

TEST(TEncrypt, DecryptUndoesEncryptForEveryByte) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(255 - i);
    bytes += bytes;
    std::string cipher(bytes.size(), '\0');
    std::string back(bytes.size(), '\0');
    TEncrypt custom;
    custom.key = -1;
    custom.const1 = 2147483647;
    custom.const2 = -2147483647 - 1;
    for (const TEncrypt& cipherParameters : {TEncrypt(), custom}) {
        cipherParameters.Encrypt(bytes.data(), cipher.data(), bytes.size());
        EXPECT_NE(cipher, bytes);
        cipherParameters.Decrypt(cipher.data(), back.data(), bytes.size());
        EXPECT_EQ(back, bytes);
    }
    // Other parameters do not read the default cipher text back.
    TEncrypt().Encrypt(bytes.data(), cipher.data(), bytes.size());
    custom.Decrypt(cipher.data(), back.data(), bytes.size());
    EXPECT_NE(back, bytes);
}

TEST(TXEncrypt, ProtectsPasswordAndTimeStamp) {
    ClockScope clock(kNoon);
    struct Row {
        std::string password;
        std::string readBack;
        std::string timestamp;
    };
    const std::vector<Row> rows = {
        {"", "", "06/15/2005 12:30:00"},
        {"secret", "secret", "06/15/2005 12:30:00"},
        {"0123456789", "0123456789", "06/15/2005 12:30:00"},
        {"0123456789A", "0123456789A", "06/15/2005 12:30:0"},
        {std::string(29, 'x'), std::string(29, 'x'), ""},
        {std::string(30, 'x'), "", ""},
        {std::string(45, 'x'), "", ""},
        {"pa:ss", "pa", "ss:06/15/2005 12:30"},
        {"\xE9t\xE9\xFF\x80", "\xE9t\xE9\xFF\x80", "06/15/2005 12:30:00"},
    };
    const TXEncrypt cipher;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.password);
        const std::string stored = cipher.EncryptPassword(row.password);
        ASSERT_EQ(stored.size(), 30u);
        const ProtectedPassword read = cipher.DecryptPassword(stored);
        EXPECT_EQ(read.password, row.readBack);
        EXPECT_EQ(read.timestamp, row.timestamp);
        EXPECT_EQ(ClearFromRegistry(stored), row.readBack);
        EXPECT_EQ(ClearFromSettings(Base64Encode(stored)), row.readBack);
    }
}

TEST(TXEncrypt, TheTimeStampUsesTheRegionalSeparators) {
    ClockScope clock(kNoon);
    RegionalSettings dotted;
    dotted.dateSeparator = '.';
    dotted.timeSeparator = '.';
    const RegionalScope regional(dotted);
    const ProtectedPassword read = TXEncrypt().DecryptPassword(TXEncrypt().EncryptPassword("pw"));
    EXPECT_EQ(read.password, "pw");
    EXPECT_EQ(read.timestamp, "06.15.2005 12.30.00");
}

TEST(TXEncrypt, DiffersFromSecondToSecond) {
    std::string first;
    {
        ClockScope clock(kNoon);
        first = ProtectForSettings("secret");
    }
    std::string second;
    {
        ClockScope clock(kNoon + 1);
        second = ProtectForSettings("secret");
    }
    EXPECT_NE(first, second);
    EXPECT_EQ(ClearFromSettings(first), "secret");
    EXPECT_EQ(ClearFromSettings(second), "secret");
}

TEST(ProtectForSettings, IsAlwaysFortyCharactersOfTheAlphabet) {
    ClockScope clock(kNoon);
    for (const std::string& password :
         {std::string(), std::string("a"), std::string(29, '\xFF'), std::string(64, 'z'), std::string("\0\0", 2)}) {
        const std::string text = ProtectForSettings(password);
        ASSERT_EQ(text.size(), 40u);
        EXPECT_EQ(text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"),
                  std::string::npos)
            << text;
    }
}

TEST(ClearFromSettings, AnythingButThirtyProtectedBytesIsTheEmptyPassword) {
    ClockScope clock(kNoon);
    const std::string stored = TXEncrypt().EncryptPassword("secret");
    const std::string text = Base64Encode(stored);
    std::string badCharacter = text;
    badCharacter[7] = '*';
    // Values of 16 bytes and more live on the heap, where a read past them is caught.
    for (const std::string& value : {std::string(), std::string("abc"), badCharacter, text.substr(0, 36), text + "AAAA",
                                     Base64Encode(stored.substr(0, 29)), text + "\n", " " + text.substr(1)}) {
        SCOPED_TRACE(value);
        EXPECT_EQ(ClearFromSettings(value), "");
    }
    EXPECT_EQ(ClearFromSettings(text), "secret");
}

TEST(ClearFromRegistry, ReadsThirtyRawBytes) {
    ClockScope clock(kNoon);
    const std::string stored = TXEncrypt().EncryptPassword("secret");
    EXPECT_EQ(ClearFromRegistry(stored), "secret");
    EXPECT_EQ(ClearFromRegistry(stored + std::string(1, '\0')), "secret");
    EXPECT_EQ(ClearFromRegistry(std::string(stored, 0, 29)), "");
    EXPECT_EQ(ClearFromRegistry(""), "");
    EXPECT_EQ(TXEncrypt().DecryptPassword(std::string(stored, 0, 20)).timestamp, "");
}

}  // namespace
}  // namespace vireo
