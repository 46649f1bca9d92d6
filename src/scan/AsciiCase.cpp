#include "scan/AsciiCase.h"

namespace vireo {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

unsigned char LowerByte(char c) { return static_cast<unsigned char>(LowerAscii(c)); }

}  // namespace

std::string UpperCaseName(std::string_view name) {
    std::string upper(name);
    for (char& c : upper) c = UpperAscii(c);
    return upper;
}

bool SameName(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

bool NameLess(std::string_view a, std::string_view b) noexcept {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = LowerByte(a[i]);
        const unsigned char y = LowerByte(b[i]);
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

std::size_t NameHash::operator()(std::string_view name) const noexcept {
    // FNV-1a over the lowered bytes.
    std::size_t hash = 14695981039346656037ull;
    for (char c : name) {
        hash ^= LowerByte(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

}  // namespace vireo
