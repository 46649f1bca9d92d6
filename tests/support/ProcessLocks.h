#pragma once

#include <sys/types.h>

#include <string>

namespace vireo::testing {

/// The POSIX record locks that process `pid` holds on the file at `path`, as
/// the kernel lists them in /proc/locks (matched by device and inode). The
/// file must exist.
int PosixLocksHeld(pid_t pid, const std::string& path);

}  // namespace vireo::testing
