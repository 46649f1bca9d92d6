// The time base and date expressions.
// Properties:
// - ParseDateExpression never crashes and never overflows (UBSan), and gives
//   the same stamp for the same text and base;
// - "NOW" gives any base above 0; an absolute date and time that "%j" prints reads
//   back as its stamp, whatever the base;
// - DateTimeToSeconds(SecondsToDateTime(s)) == s and
//   SplitDateTime(SecondsToDateTime(s)) == SplitStamp(s) for s in 0..INT32_MAX;
// - StampOf of what SplitStamp gives is the stamp again, from one day on.

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "FuzzSupport.h"
#include "scan/Chronos.h"
#include "scan/PScan.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vireo::fuzz::FixSettings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    const auto base = data.ConsumeIntegral<std::int32_t>();
    const auto stamp = data.ConsumeIntegralInRange<std::int32_t>(0, 2147483647);
    const std::string text = data.ConsumeRemainingBytesAsString();

    const vireo::SecondStamp first = vireo::ParseDateExpression(text, base);
    FUZZ_CHECK(vireo::ParseDateExpression(text, base) == first);
    (void)vireo::DateParts(text);
    if (base > 0) FUZZ_CHECK(vireo::ParseDateExpression("NOW", base) == base);

    const vireo::DateTime dateTime = vireo::SecondsToDateTime(stamp);
    FUZZ_CHECK(vireo::DateTimeToSeconds(dateTime) == stamp);
    FUZZ_CHECK(vireo::SplitDateTime(dateTime) == vireo::SplitStamp(stamp));
    if (stamp >= 86400) {
        const vireo::CalendarStamp s = vireo::SplitStamp(stamp);
        FUZZ_CHECK(vireo::StampOf(s.year, s.month, s.day, s.hours, s.minutes, s.seconds) == stamp);
        FUZZ_CHECK(vireo::ParseDateExpression(vireo::FormatPattern("%j", {stamp}), base) == stamp);
    }
    return 0;
}
