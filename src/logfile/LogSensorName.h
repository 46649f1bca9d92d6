#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vireo {

/// Log sensor names keep their case but are matched without regard to it (ASCII
/// letters only; other bytes compare as they are).

/// The order of the sorted log sensor list: as C's strcasecmp orders texts
/// (letters lowered, bytes compared unsigned, a prefix first).
bool LogSensorLess(std::string_view a, std::string_view b) noexcept;

/// True when two names are equal without regard to case.
bool SameLogSensor(std::string_view a, std::string_view b) noexcept;

/// Hash and equality of names without regard to case, for hashed sets and maps.
struct LogSensorHash {
    using is_transparent = void;  // a name is looked up as a view, without a copy
    std::size_t operator()(std::string_view name) const noexcept;
};
struct LogSensorEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept { return SameLogSensor(a, b); }
};

}  // namespace vireo
