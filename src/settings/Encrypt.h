#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vireo {

/// A byte-wise stream cipher whose key register feeds back every cipher byte.
/// The utility never changes the three parameters: a stored password written
/// with other values cannot be read back.
class TEncrypt {
public:
    /// Starting value of the key register.
    int key = 47159;
    /// Multiplier of the key register.
    int const1 = 20861;
    /// Increment of the key register.
    int const2 = 61375;

    /// Enciphers `count` bytes of `source` into `destination` (distinct buffers).
    void Encrypt(const char* source, char* destination, std::size_t count) const;
    /// Deciphers `count` bytes of `source` into `destination` (distinct buffers).
    void Decrypt(const char* source, char* destination, std::size_t count) const;
};

/// The password and the time stamp read from a protected form.
struct ProtectedPassword {
    std::string password;
    std::string timestamp;
};

/// The protected form of a password: exactly 30 bytes holding the password,
/// ":" and the current date and time, enciphered.
class TXEncrypt : public TEncrypt {
public:
    static constexpr std::size_t kProtectedSize = 30;

    /// The 30 protected bytes of `password`. A password of 30 bytes or more
    /// leaves no room for the ":" and reads back as the empty password.
    std::string EncryptPassword(std::string_view password) const;

    /// The password (the bytes before the first ":") and the time stamp (up to
    /// 19 bytes after it) of the first 30 bytes of `stored`. A value shorter
    /// than 30 bytes, or without ":", gives the empty password.
    ProtectedPassword DecryptPassword(std::string_view stored) const;
};

/// The settings-file form ("Password"): Base64 of the 30 protected bytes,
/// always 40 characters.
std::string ProtectForSettings(std::string_view clear);

/// The password of a settings-file form; empty when the value is not Base64
/// of 30 bytes.
std::string ClearFromSettings(std::string_view stored);

/// The password of the registry form ("ODBC_Pass"): the 30 protected bytes as
/// they are; empty when the value is shorter.
std::string ClearFromRegistry(std::string_view stored);

}  // namespace vireo
