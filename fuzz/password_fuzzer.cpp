// Stored passwords: Base64, the cipher, and both stored forms on fuzzed bytes.
// Properties:
// - Base64Encode then Base64Decode gives the bytes back; a text that decodes
//   is the canonical encoding of what it decodes to;
// - Decrypt undoes Encrypt for any bytes;
// - DecryptPassword reads only 30 bytes: the password has at most 29 bytes
//   and holds no ':', the time stamp at most 19; a shorter value gives the
//   empty password;
// - ClearFromSettings is DecryptPassword of the decoded bytes when they are
//   30, else empty; ClearFromRegistry is DecryptPassword of the value;
// - a password of fewer than 30 bytes without ':' protected for the settings
//   file (40 characters) or the registry reads back unchanged.

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "FuzzSupport.h"
#include "settings/Base64.h"
#include "settings/Encrypt.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vireo::fuzz::FixSettings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string whole(reinterpret_cast<const char*>(bytes), size);

    const std::string encoded = vireo::Base64Encode(whole);
    FUZZ_CHECK(encoded.size() == (whole.size() + 2) / 3 * 4);
    const std::optional<std::string> decodedBack = vireo::Base64Decode(encoded);
    FUZZ_CHECK(decodedBack && *decodedBack == whole);

    const std::optional<std::string> decoded = vireo::Base64Decode(whole);
    if (decoded) FUZZ_CHECK(vireo::Base64Encode(*decoded) == whole);

    const vireo::TXEncrypt cipher;
    std::string enciphered(whole.size(), '\0'), deciphered(whole.size(), '\0');
    cipher.Encrypt(whole.data(), enciphered.data(), whole.size());
    cipher.Decrypt(enciphered.data(), deciphered.data(), whole.size());
    FUZZ_CHECK(deciphered == whole);

    const vireo::ProtectedPassword read = cipher.DecryptPassword(whole);
    FUZZ_CHECK(read.password.size() <= 29 && read.timestamp.size() <= 19);
    FUZZ_CHECK(read.password.find(':') == std::string::npos);
    if (whole.size() < vireo::TXEncrypt::kProtectedSize) FUZZ_CHECK(read.password.empty() && read.timestamp.empty());
    FUZZ_CHECK(vireo::ClearFromRegistry(whole) == read.password);

    const std::string fromSettings = vireo::ClearFromSettings(whole);
    if (decoded && decoded->size() == vireo::TXEncrypt::kProtectedSize)
        FUZZ_CHECK(fromSettings == cipher.DecryptPassword(*decoded).password);
    else
        FUZZ_CHECK(fromSettings.empty());

    std::string password = whole.substr(0, 29);
    std::erase(password, ':');
    const std::string form = vireo::ProtectForSettings(password);
    FUZZ_CHECK(form.size() == 40);
    FUZZ_CHECK(vireo::ClearFromSettings(form) == password);
    FUZZ_CHECK(vireo::ClearFromRegistry(cipher.EncryptPassword(password)) == password);
    return 0;
}
