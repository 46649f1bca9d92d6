#include "settings/Encrypt.h"

#include <cstdint>

#include "scan/Chronos.h"
#include "scan/PScan.h"
#include "settings/Base64.h"

namespace vireo {

namespace {

constexpr std::size_t kStampSize = 19;

/// Only bits 8 to 15 of the key register reach the cipher byte.
unsigned char KeyByte(std::uint32_t k) { return static_cast<unsigned char>(k >> 8 & 0xFF); }

}  // namespace

void TEncrypt::Encrypt(const char* source, char* destination, std::size_t count) const {
    std::uint32_t k = static_cast<std::uint32_t>(key);
    for (std::size_t i = 0; i < count; ++i) {
        const auto out = static_cast<unsigned char>(static_cast<unsigned char>(source[i]) ^ KeyByte(k));
        destination[i] = static_cast<char>(out);
        k = (k + out) * static_cast<std::uint32_t>(const1) + static_cast<std::uint32_t>(const2);
    }
}

void TEncrypt::Decrypt(const char* source, char* destination, std::size_t count) const {
    std::uint32_t k = static_cast<std::uint32_t>(key);
    for (std::size_t i = 0; i < count; ++i) {
        const auto in = static_cast<unsigned char>(source[i]);
        destination[i] = static_cast<char>(in ^ KeyByte(k));
        k = (k + in) * static_cast<std::uint32_t>(const1) + static_cast<std::uint32_t>(const2);
    }
}

std::string TXEncrypt::EncryptPassword(std::string_view password) const {
    std::string plain(password);
    plain += ':';
    plain += FormatPattern("%j", {NowSeconds()});
    plain.resize(kProtectedSize, '\0');
    std::string stored(kProtectedSize, '\0');
    Encrypt(plain.data(), stored.data(), kProtectedSize);
    return stored;
}

ProtectedPassword TXEncrypt::DecryptPassword(std::string_view stored) const {
    if (stored.size() < kProtectedSize) return {};
    std::string plain(kProtectedSize, '\0');
    Decrypt(stored.data(), plain.data(), kProtectedSize);
    const std::size_t colon = plain.find(':');
    if (colon == std::string::npos) return {};
    return {plain.substr(0, colon), plain.substr(colon + 1, kStampSize)};
}

std::string ProtectForSettings(std::string_view clear) { return Base64Encode(TXEncrypt().EncryptPassword(clear)); }

std::string ClearFromSettings(std::string_view stored) {
    const std::optional<std::string> bytes = Base64Decode(stored);
    if (!bytes || bytes->size() != TXEncrypt::kProtectedSize) return {};
    return TXEncrypt().DecryptPassword(*bytes).password;
}

std::string ClearFromRegistry(std::string_view stored) { return TXEncrypt().DecryptPassword(stored).password; }

}  // namespace vireo
