// The import settings file (.sfg): LoadImportSettings on a fuzzed file, and a
// fuzzed list stored with SaveImportSettings and loaded again.
// Properties:
// - loading never hangs and never fails silently: it succeeds unless the file
//   is no text (a zero byte), and then reports exactly
//   "Error 101: Unable to read file <name>";
// - the entries are the comma fields of the stored value up to its first line
//   end, a comma at the very end adding none; a UTF-8 byte-order mark at the
//   start of the file is no part of its text;
// - a list saved and loaded again is the same list, when its entries hold no
//   ',', no line break, no zero byte, and are not empty (as import entries,
//   which always hold "||"); blanks at either end of the list are kept;
// - an entry with a line break or a zero byte is refused with
//   "Error 101: Unable to save file <name>".

#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "import/ImportSettingsFile.h"
#include "settings/ProfileFile.h"
#include "status/StatusSink.h"

namespace {

class Recorder : public vireo::StatusSink {
public:
    void AddStatusMessage(const std::string& text) override { messages.push_back(text); }
    bool ShowDetails() const override { return false; }
    std::vector<std::string> messages;
};

std::vector<std::string> ModelEntries(std::string_view value) {
    value = value.substr(0, value.find_first_of("\r\n"));
    std::vector<std::string> entries;
    while (!value.empty()) {
        const std::size_t comma = value.find(',');
        entries.emplace_back(value.substr(0, comma));
        value.remove_prefix(comma == std::string_view::npos ? value.size() : comma + 1);
    }
    return entries;
}

void CheckLoad(const vireo::fuzz::ScratchFile& file, const std::string& content) {
    file.Write(content);
    Recorder sink;
    std::vector<std::string> entries = {"old"};
    std::size_t calls = 0;
    const bool loaded = vireo::LoadImportSettings(file.Path(), entries, sink, [&] {
        FUZZ_CHECK(++calls <= content.size() + 1);  // one call per entry, never endless
    });
    if (content.find('\0') != std::string::npos) {
        FUZZ_CHECK(!loaded);
        FUZZ_CHECK(sink.messages == std::vector<std::string>{"Error 101: Unable to read file " + file.Path()});
        return;
    }
    FUZZ_CHECK(loaded);
    FUZZ_CHECK(sink.messages.empty());
    std::string_view text = content;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    vireo::ProfileFile profile;
    profile.Parse(text);
    FUZZ_CHECK(entries == ModelEntries(profile.ReadString("Import", "Sensors", "")));
}

void CheckSaveAndLoad(const vireo::fuzz::ScratchFile& file, FuzzedDataProvider& data) {
    const bool keepBreaks = data.ConsumeBool();
    std::vector<std::string> entries;
    const std::size_t count = data.ConsumeIntegralInRange<std::size_t>(0, 6);
    for (std::size_t k = 0; k < count; ++k) {
        std::string entry = data.ConsumeRandomLengthString(24);
        if (!keepBreaks) std::erase_if(entry, [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
        if (entry.empty()) entry = "A||S.T";
        entries.push_back(entry);
    }
    std::string joined;
    for (const std::string& entry : entries) joined += (joined.empty() ? "" : ",") + entry;
    file.Write("[Import]\nSensors=before\n");
    Recorder sink;
    const bool saved = vireo::SaveImportSettings(file.Path(), entries, sink);
    std::vector<std::string> back;
    if (joined.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        FUZZ_CHECK(!saved);
        FUZZ_CHECK(sink.messages == std::vector<std::string>{"Error 101: Unable to save file " + file.Path()});
        FUZZ_CHECK(vireo::LoadImportSettings(file.Path(), back, sink));
        FUZZ_CHECK(back == std::vector<std::string>{"before"});  // the old file is intact
        return;
    }
    FUZZ_CHECK(saved);
    FUZZ_CHECK(sink.messages.empty());
    FUZZ_CHECK(vireo::LoadImportSettings(file.Path(), back, sink));
    FUZZ_CHECK(sink.messages.empty());
    if (joined.find(',') == std::string::npos) FUZZ_CHECK(back == entries);
    FUZZ_CHECK(back == ModelEntries(joined));  // an entry holding ',' comes back as two
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vireo::fuzz::FixSettings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static const vireo::fuzz::ScratchFile file(".sfg");
    FuzzedDataProvider data(bytes, size);
    if (data.ConsumeBool()) {
        CheckSaveAndLoad(file, data);
    } else {
        CheckLoad(file, data.ConsumeRemainingBytesAsString());
    }
    return 0;
}
