#pragma once

#include <string_view>

#include "logfile/LogTimeTag.h"

namespace vireo::logfile_detail {

/// ReadLogTimeTag of a record's date and time texts. Records of one file mostly
/// come in runs of one time, so each thread keeps the last texts read and their
/// time tag (with the separators they were read with): the result depends on
/// nothing but the texts and the regional settings.
LogTimeTag ReadKeptTimeTag(std::string_view dateText, std::string_view timeText);

}  // namespace vireo::logfile_detail
