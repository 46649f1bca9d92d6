#include "support/TempDir.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace vireo::testing {

TempDir::TempDir(const std::string& prefix) : owner_(::getpid()) {
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("Cannot create a folder " + pattern + ": " + std::strerror(errno));
    }
    path_ = buffer.data();
}

TempDir::~TempDir() {
    if (::getpid() != owner_) return;  // a forked child leaves the folder to its parent
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& name, const std::string& bytes) const {
    const std::string path = File(name);
    WriteFile(path, bytes);
    return path;
}

std::string TempDir::WriteLines(const std::string& name, const std::vector<std::string>& lines) const {
    std::string bytes;
    for (const std::string& line : lines) bytes += line + "\r\n";
    return Write(name, bytes);
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    if (!out) throw std::runtime_error("Cannot write " + path + ": " + std::strerror(errno));
}

void AppendFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << content;
    out.close();
    if (!out) throw std::runtime_error("Cannot append to " + path + ": " + std::strerror(errno));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("Cannot read " + path + ": " + std::strerror(errno));
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace vireo::testing
