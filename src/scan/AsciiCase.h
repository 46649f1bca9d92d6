#pragma once

#include <string_view>

namespace vireo {

/// True when the two names are equal without regard to the case of ASCII
/// letters, whatever the process locale: section, value, parameter, field and
/// data source names all compare this way.
bool SameName(std::string_view a, std::string_view b);

}  // namespace vireo
