#include "logfile/LogSensorName.h"

namespace vireo {
namespace {

unsigned char Lower(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

}  // namespace

bool LogSensorLess(std::string_view a, std::string_view b) noexcept {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = Lower(a[i]);
        const unsigned char y = Lower(b[i]);
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

bool SameLogSensor(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

std::size_t LogSensorHash::operator()(std::string_view name) const noexcept {
    // FNV-1a over the lowered bytes.
    std::size_t hash = 14695981039346656037ull;
    for (char c : name) {
        hash ^= Lower(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

}  // namespace vireo
