#include "settings/VersionInfo.h"

#include "Version.h"

namespace vireo {
namespace {

std::string VersionLine(const std::string& fileVersion, const std::string& productVersion) {
    std::string build;
    std::size_t dot = std::string::npos;
    int dots = 0;
    for (std::size_t i = 0; i < fileVersion.size() && dots < 3; ++i) {
        if (fileVersion[i] == '.' && ++dots == 3) dot = i;
    }
    if (dot != std::string::npos) build = fileVersion.substr(dot + 1);
    return "Version " + productVersion + " (Build " + build + ")";
}

}  // namespace

std::string ThisVersionLine() { return VersionLine(VIREO_FILE_VERSION, VIREO_PRODUCT_VERSION); }

}  // namespace vireo
