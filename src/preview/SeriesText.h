#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "preview/LogSeries.h"
#include "scan/Chronos.h"

namespace vireo {

/// "YYYY-MM-DD HH:MM:SS": the time tag as the command line prints it.
std::string IsoTimeTagText(SecondStamp stamp);

/// A length of time as "HH:MM:SS", with whole days in front as "Nd " when
/// there are any ("2d 03:00:00"); a negative length gets a "-".
std::string DurationText(std::int64_t seconds);

/// The shortest text that reads back as the same double ("21.5", "1e+20").
std::string ShortestNumberText(double value);

/// The time tag in the regional short date and long time formats, always with
/// its time (midnight as 00:00:00 in the default format): the tables' text.
std::string RegionalTimeTagText(SecondStamp stamp);

/// The values of the series from..to as comma-separated text for a report:
/// a heading line "Name,Time tag,Value,Line,Refused", then for each series its
/// values in time order (ISO time tag, shortest number, log line) and its
/// kept refused values with a time tag in that span (the value's text and
/// why it was refused); lines end with CR LF, fields holding a comma or a
/// quote are quoted. Nothing when there are more than `most` lines to write.
std::optional<std::string> SeriesCsv(const std::vector<const NameSeries*>& series, SecondStamp from, SecondStamp to,
                                     std::size_t most);

}  // namespace vireo
