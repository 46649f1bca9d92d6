#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "scan/Chronos.h"

namespace date {
class time_zone;
}

namespace vireo {

/// The words that stand for no time zone: time tags are taken and stored as
/// the log writes them.
inline constexpr std::string_view kAsWritten = "as written";

/// A time zone as an option names it: "as written", a fixed offset from UTC
/// ("UTC", "UTC+01:00", "UTC-05:00", "UTC+5") or a zone of the system's time
/// zone database ("Europe/Berlin").
struct TimeZone {
    std::string name;                       ///< as given; empty for "as written"
    int offset = 0;                         ///< seconds east of UTC, for a fixed offset
    const date::time_zone* zone = nullptr;  ///< the named zone; null for a fixed offset

    bool AsWritten() const { return name.empty(); }
    /// The option's text: the name, or "as written".
    std::string Text() const { return AsWritten() ? std::string(kAsWritten) : name; }
    bool operator==(const TimeZone& other) const { return name == other.name; }
};

/// Reads a zone option. Nothing, with why in `error`, when the text names no
/// zone the system's time zone database knows and is no fixed offset.
std::optional<TimeZone> ParseTimeZone(std::string_view text, std::string& error);

/// The log's time zone and the database's time base of a reading. Time tags
/// are converted only when both are zones; otherwise they are stored as written.
struct TimeZones {
    TimeZone log;
    TimeZone database;
    bool Converts() const { return !log.AsWritten() && !database.AsWritten(); }
};

/// The two zones of their texts (empty: as written). Nothing, with why in
/// `error`, when a text names no zone, or when only one of them is a zone:
/// "the log's time zone and the database's time base go together".
std::optional<TimeZones> ParseTimeZones(std::string_view log, std::string_view database, std::string& error);

/// What a local time tag of a zone is: one instant, none (the clock jumped
/// over it), or two (the clock went back over it).
struct LocalTime {
    enum class Kind { Unique, Missing, Repeated };
    Kind kind = Kind::Unique;
    std::int64_t earliest = 0;  ///< seconds since 1970 UTC (the only one when Unique)
    std::int64_t latest = 0;    ///< the second pass's instant when Repeated
    std::int64_t shift = 0;     ///< when the clock went back (seconds since 1970 UTC), when Repeated
};

/// The instants of the local time `local` (seconds since 1970 on the zone's clock).
LocalTime LookUpLocal(const TimeZone& zone, std::int64_t local);
/// The zone's clock (seconds since 1970) at the instant `utc`.
std::int64_t LocalAt(const TimeZone& zone, std::int64_t utc);

/// Seconds since 1970 of a stamp, and the stamp of seconds since 1970 (none
/// when the time base does not hold it).
std::int64_t UnixSecondsOf(SecondStamp stamp);
std::optional<SecondStamp> StampOfUnixSeconds(std::int64_t seconds);

/// Where a conversion stands after a time tag: what the next one is compared
/// with. A reading that goes on from the middle of a log starts from it.
struct ConversionState {
    bool started = false;    ///< a time tag has been converted
    SecondStamp last = 0;    ///< the last time tag, as written
    std::int64_t shift = 0;  ///< the repeat it lay in (LocalTime::shift); 0 when none
    bool secondPass = false;
    bool operator==(const ConversionState&) const = default;
};

/// Converts the time tags of one log, in the order the log writes them, from
/// the log's zone to the database's time base. The hour the clock repeats when
/// it goes back (at the end of daylight saving time) is taken as its first pass
/// until the time tags step back within it: from there on they are its second
/// pass, until a time tag lies outside it. A step back anywhere else (a clock
/// set by hand) is not guessed at: each time tag is taken as its first pass.
class TimeTagConversion {
public:
    explicit TimeTagConversion(TimeZones zones) : zones_(std::move(zones)) {}

    struct Result {
        enum class State { Stored, DoesNotExist, OutsideTimeBase };
        State state = State::Stored;
        SecondStamp stamp = 0;  ///< in the database's time base, when Stored
        bool repeated = false;  ///< the log's time lies in an hour its clock writes twice
        bool secondPass = false;
    };

    /// The next time tag of the log, as the log writes it.
    Result Convert(SecondStamp written);
    const TimeZones& Zones() const { return zones_; }
    const ConversionState& State() const { return state_; }
    /// Goes on from where another conversion of the same log stood.
    void Resume(const ConversionState& state) {
        state_ = state;
        cached_ = false;
    }

private:
    TimeZones zones_;
    ConversionState state_;
    bool cached_ = false;  // lastResult_ is that of state_.last
    Result lastResult_;
};

}  // namespace vireo
