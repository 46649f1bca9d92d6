#pragma once

#include <cstdint>
#include <string>

#include "scan/Chronos.h"

namespace vireo {

/// "YYYY-MM-DD HH:MM:SS": the time tag as the command line prints it.
std::string IsoTimeTagText(SecondStamp stamp);

/// A length of time as "HH:MM:SS", with whole days in front as "Nd " when
/// there are any ("2d 03:00:00"); a negative length gets a "-".
std::string DurationText(std::int64_t seconds);

/// The shortest text that reads back as the same double ("21.5", "1e+20").
std::string ShortestNumberText(double value);

}  // namespace vireo
