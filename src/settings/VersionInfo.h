#pragma once

#include <string>

namespace vireo {

/// "Version " + product version + " (Build " + build + ")", where build is the
/// part of the file version after its third '.' (empty when it has fewer).
std::string VersionLine(const std::string& fileVersion, const std::string& productVersion);

/// The version line of this build.
std::string ThisVersionLine();

}  // namespace vireo
