#pragma once

#include <functional>
#include <string>
#include <vector>

#include "status/StatusSink.h"

namespace vireo {

/// Writes the import list as key "Sensors" of section "Import" of `fileName`.
/// On failure reports "Error 101: Unable to save file " + fileName and returns false.
bool SaveImportSettings(const std::string& fileName, const std::vector<std::string>& entries, StatusSink& sink);

/// Reads the import list of `fileName` into `entries` (emptied first, whatever
/// was read). `processEvents` is called before each entry. On failure reports
/// "Error 101: Unable to read file " + fileName and returns false; `entries`
/// then holds what was read before the failure.
bool LoadImportSettings(const std::string& fileName, std::vector<std::string>& entries, StatusSink& sink,
                        const std::function<void()>& processEvents = {});

}  // namespace vireo
