#pragma once

#include <optional>
#include <string>
#include <vector>

#include "import/ImportList.h"

namespace vireo {

class Database;

/// The first entry of `importList` that names a station sensor which cannot be
/// paired: its station lists it under a name that Windows-1252 cannot hold,
/// and the entry gives that name's '?' form. Only entries whose station sensor
/// holds a '?' are looked up, so every other entry costs nothing; a station
/// whose sensors cannot be read is passed over. Nothing when there is none.
std::optional<ImportEntryParts> FindUnpairableEntry(Database& database, const std::vector<std::string>& importList);

}  // namespace vireo
