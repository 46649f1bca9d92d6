#pragma once

#include <string>
#include <vector>

#include "import/ImportList.h"

namespace vireo {

class Database;

/// An entry of an import list that no run may write, and why.
struct RefusedEntry {
    std::string entry;
    /// The whole message: "TEMP||ST09.TEMP: station ST09 is not an enabled
    /// station of the database", "TEMP||ST01.NOPE: sensor NOPE is not an enabled
    /// sensor of station ST01", "TEMP=ST01.TEMP: not an import entry
    /// (LOG||STATION.SENSOR)", or UnpairableSensorText.
    std::string text;
};

/// The entries of `importList` the window could not have paired: those that
/// are no import entry (IsImportEntry), and those whose station is not one of
/// the enabled stations or whose sensor is not one of that station's enabled
/// sensors as the catalogue lists them (case does not matter), or cannot be
/// paired. In list order; empty when every entry may be written. Throws
/// DbError when the catalogue cannot be read.
std::vector<RefusedEntry> RefusedImportEntries(Database& database, const std::vector<std::string>& importList);

/// One message naming every refused entry, one a line under "These import
/// entries cannot be imported:", for a message box.
std::string RefusedEntriesText(const std::vector<RefusedEntry>& refused);

}  // namespace vireo
