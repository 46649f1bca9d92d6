// The installation's registry file on fuzzed text.
// Properties:
// - RegistryStore::Parse either reads the text or throws RegistryError, whose
//   text names the source;
// - UnescapeRegistryValue(EscapeRegistryValue(b)) == b for any bytes, and a
//   value written escaped into a key reads back as the same bytes, whatever
//   the fuzzed text around it holds.

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "FuzzSupport.h"
#include "settings/Registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    const std::string value = data.ConsumeRandomLengthString(48);
    const std::string text = data.ConsumeRemainingBytesAsString();

    bool readable = true;
    try {
        const vireo::RegistryStore store = vireo::RegistryStore::Parse(text, "fuzz.ini");
        (void)store.ReadValue(vireo::kTarnfoldSettingsKey, "ODBC_Pass");
    } catch (const vireo::RegistryError& e) {
        readable = false;
        FUZZ_CHECK(std::string_view(e.what()).starts_with("fuzz.ini"));
    }
    (void)vireo::UnescapeRegistryValue(text);

    const std::string escaped = vireo::EscapeRegistryValue(value);
    const std::optional<std::string> unescaped = vireo::UnescapeRegistryValue(escaped);
    FUZZ_CHECK(unescaped && *unescaped == value);

    // The value in its own key behind the fuzzed text: readable exactly when the
    // text was (a line break first, so the text's last line stays its own).
    const std::string file = text + "\n[HKEY_LOCAL_MACHINE\\Fuzz]\nValue=" + escaped + "\n";
    try {
        const vireo::RegistryStore store = vireo::RegistryStore::Parse(file, "fuzz.ini");
        FUZZ_CHECK(readable);
        // (Unless the text itself holds a key of that name, whose value comes first.)
        std::string lower = text;
        for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        if (lower.find("fuzz") == std::string::npos)
            FUZZ_CHECK(store.ReadValue("HKEY_LOCAL_MACHINE\\Fuzz", "value") == value);
    } catch (const vireo::RegistryError&) {
        FUZZ_CHECK(!readable);
    }
    return 0;
}
