#pragma once

// Names are matched without regard to the case of ASCII letters, whatever the
// process locale: section, value, parameter, field, data source, station,
// sensor and log sensor names. Every byte that is not an ASCII letter stays as
// it is and compares as it is (unsigned).

#include <cstddef>
#include <string>
#include <string_view>

namespace vireo {

/// Upper case for ASCII letters only; every other byte stays as it is.
constexpr char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

/// `name` with its ASCII letters upper-cased: station identifiers and station
/// sensor names are listed and written this way.
std::string UpperCaseName(std::string_view name);

/// True when the two names are equal without regard to case.
bool SameName(std::string_view a, std::string_view b) noexcept;

/// The order of C's strcasecmp: letters lowered, bytes compared unsigned, a
/// prefix first. The sorted log sensor list is in this order.
bool NameLess(std::string_view a, std::string_view b) noexcept;

/// Hash and equality of names without regard to case, for hashed sets and
/// maps; both take a string_view, so a lookup needs no copy of the name.
struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const noexcept;
};
struct NameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept { return SameName(a, b); }
};

}  // namespace vireo
