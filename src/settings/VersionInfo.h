#pragma once

#include <string>

namespace vireo {

/// The version line of this build: "Version " + product version + " (Build "
/// + build + ")", where build is the part of the file version after its third
/// '.' (empty when it has fewer).
std::string ThisVersionLine();

}  // namespace vireo
