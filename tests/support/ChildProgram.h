#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vireo::testing {

/// The built `vireo-import` of this tree.
inline std::string VireoImportProgram() { return std::string(VIREO_BINARY_DIR) + "/bin/vireo-import"; }

/// Starts `program` with `arguments` as a child process, its standard output
/// and error appended to the file `output` ("/dev/null" drops them).
pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments, const std::string& output);

/// Waits for the child to end: its exit status, or minus the signal that ended it.
int WaitFor(pid_t child);

}  // namespace vireo::testing
