// The profile (settings) file reader and writer on fuzzed text.
// Properties:
// - Parse, Text, Parse again gives the same sections, names and values, and
//   the same text again (a rewrite loses nothing it kept);
// - a value stored with WriteString (when it accepts the names and value) is
//   read back unchanged after Text() and Parse(); an integer stored with
//   WriteInteger reads back with ReadInteger.

#include <fuzzer/FuzzedDataProvider.h>

#include <stdexcept>
#include <string>

#include "FuzzSupport.h"
#include "settings/ProfileFile.h"

namespace {

void CheckSameValues(const vireo::ProfileFile& a, const vireo::ProfileFile& b) {
    FUZZ_CHECK(a.Sections() == b.Sections());
    for (const std::string& section : a.Sections()) {
        FUZZ_CHECK(a.ValueNames(section) == b.ValueNames(section));
        for (const std::string& name : a.ValueNames(section))
            FUZZ_CHECK(a.ReadString(section, name, "\x01") == b.ReadString(section, name, "\x02"));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    const std::string section = data.ConsumeRandomLengthString(16);
    const std::string name = data.ConsumeRandomLengthString(16);
    const std::string value = data.ConsumeRandomLengthString(64);
    const auto integer = data.ConsumeIntegral<std::int64_t>();
    const std::string text = data.ConsumeRemainingBytesAsString();

    vireo::ProfileFile profile;
    profile.Parse(text);
    const std::string written = profile.Text();
    vireo::ProfileFile again;
    again.Parse(written);
    CheckSameValues(profile, again);
    FUZZ_CHECK(again.Text() == written);
    FUZZ_CHECK(again.LineEnd() == profile.LineEnd() || written.empty());

    bool stored = true;
    try {
        profile.WriteString(section, name, value);
    } catch (const std::invalid_argument&) {
        stored = false;
    }
    if (stored) {
        FUZZ_CHECK(profile.ReadString(section, name, "") == value);
        vireo::ProfileFile reread;
        reread.Parse(profile.Text());
        FUZZ_CHECK(reread.ReadString(section, name, "\x01") == value);
        CheckSameValues(profile, reread);

        profile.WriteInteger(section, name, integer);
        reread.Parse(profile.Text());
        FUZZ_CHECK(reread.ReadInteger(section, name, integer == 0 ? 1 : 0) == integer);
    }
    return 0;
}
