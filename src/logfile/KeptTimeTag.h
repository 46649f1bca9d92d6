#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#include "logfile/LogTimeTag.h"
#include "scan/Regional.h"

namespace vireo::logfile_detail {

/// ReadLogTimeTag of a record's date and time texts. Records of one file mostly
/// come in runs of one time, so each thread keeps the last texts read and their
/// time tag (with the separators they were read with): the result depends on
/// nothing but the texts and the regional settings.
/// Inline: it is called once a line and mostly answers from the kept texts.
inline LogTimeTag ReadKeptTimeTag(std::string_view dateText, std::string_view timeText) {
    constexpr std::size_t kLongestKept = 32;
    struct LastTimeTag {
        bool valid = false;
        char dateSeparator = 0;
        char timeSeparator = 0;
        LogTimeTag timeTag;
        std::size_t dateSize = 0;
        std::size_t timeSize = 0;
        char text[kLongestKept];
    };
    thread_local LastTimeTag last;
    const RegionalSettings& regional = Regional();
    const std::size_t size = dateText.size() + timeText.size();
    if (last.valid && last.dateSize == dateText.size() && last.timeSize == timeText.size() &&
        last.dateSeparator == regional.dateSeparator && last.timeSeparator == regional.timeSeparator &&
        (dateText.empty() || std::memcmp(last.text, dateText.data(), dateText.size()) == 0) &&
        (timeText.empty() || std::memcmp(last.text + dateText.size(), timeText.data(), timeText.size()) == 0)) {
        return last.timeTag;
    }
    const LogTimeTag timeTag = ReadLogTimeTag(dateText, timeText);
    last.valid = size <= kLongestKept;
    if (last.valid) {
        if (!dateText.empty()) std::memcpy(last.text, dateText.data(), dateText.size());
        if (!timeText.empty()) std::memcpy(last.text + dateText.size(), timeText.data(), timeText.size());
        last.dateSize = dateText.size();
        last.timeSize = timeText.size();
        last.dateSeparator = regional.dateSeparator;
        last.timeSeparator = regional.timeSeparator;
        last.timeTag = timeTag;
    }
    return timeTag;
}

}  // namespace vireo::logfile_detail
