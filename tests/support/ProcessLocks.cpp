#include "support/ProcessLocks.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vireo::testing {

int PosixLocksHeld(pid_t pid, const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        throw std::runtime_error("stat " + path + ": " + std::strerror(errno));
    }
    std::ifstream locks("/proc/locks");
    if (!locks) throw std::runtime_error("/proc/locks cannot be read");
    int held = 0;
    // "1: POSIX  ADVISORY  READ 4711 fd:01:1234567 1073741824 1073741825"; a
    // lock still waited for has "->" after its number and is not held.
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, owner, file;
        fields >> number >> kind;
        if (kind == "->") continue;
        fields >> mode >> access >> owner >> file;
        if (kind != "POSIX" || owner != std::to_string(pid)) continue;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(file.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
        if (major == ::major(info.st_dev) && minor == ::minor(info.st_dev) && inode == info.st_ino) ++held;
    }
    return held;
}

}  // namespace vireo::testing
