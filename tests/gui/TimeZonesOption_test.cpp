#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "gui/MainTimeZones.h"
#include "support/AnsweringDialogs.h"

namespace vireo::gui {
namespace {

/// The dialogs, answering the texts asked for from a script.
class TextAnswers : public testing::AnsweringDialogs {
public:
    std::optional<std::string> AskText(const std::string&, const std::string&, const std::string& text) override {
        started.push_back(text);
        if (texts.empty()) return std::nullopt;
        const std::optional<std::string> answer = texts.front();
        texts.pop_front();
        return answer;
    }
    std::deque<std::optional<std::string>> texts;
    std::vector<std::string> started;
};

TEST(TimeZonesOption, KeepsZonesThatNameZonesAndShowsWhyNot) {
    struct Row {
        std::deque<std::optional<std::string>> answers;
        bool kept;
        std::string log, database;  // in the settings after
        std::vector<std::string> messages;
    };
    const std::vector<Row> rows = {
        {{"Europe/Berlin", "UTC"}, true, "Europe/Berlin", "UTC", {}},
        {{"as written", "as written"}, true, "", "", {}},
        {{"Europe/Berlin", std::nullopt}, false, "America/New_York", "UTC-05:00", {}},
        {{"Mars/Olympus", "UTC"}, false, "America/New_York", "UTC-05:00", {"unknown time zone: Mars/Olympus"}},
        {{"Europe/Berlin", "as written"},
         false,
         "America/New_York",
         "UTC-05:00",
         {"the log's time zone and the database's time base go together"}},
    };
    for (const Row& row : rows) {
        AppSettings settings;
        settings.FLogTimeZone = "America/New_York";
        settings.FDatabaseTimeZone = "UTC-05:00";
        TextAnswers dialogs;
        dialogs.texts = row.answers;
        EXPECT_EQ(AskTimeZones(settings, dialogs), row.kept);
        EXPECT_EQ(settings.FLogTimeZone, row.log);
        EXPECT_EQ(settings.FDatabaseTimeZone, row.database);
        EXPECT_EQ(dialogs.Texts(), row.messages);
        EXPECT_EQ(dialogs.started.front(), "America/New_York");
    }
    // What an import of the window then takes.
    AppSettings settings;
    TextAnswers dialogs;
    TimeZones zones;
    ASSERT_TRUE(SettingsZones(settings, dialogs, zones));
    EXPECT_FALSE(zones.Converts());
    settings.FLogTimeZone = "Europe/Berlin";
    EXPECT_FALSE(SettingsZones(settings, dialogs, zones));
    EXPECT_EQ(dialogs.Texts(),
              std::vector<std::string>{"the log's time zone and the database's time base go together"});
}

}  // namespace
}  // namespace vireo::gui
