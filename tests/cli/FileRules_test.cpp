// Every kind of file the program opens, in a folder other users can write
// to: a link planted by another user, a dangling one, a FIFO, a file of
// another user, a file too large. Run as root, with `nobody` as the other user.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "cli/CliRun.h"
#include "follow/FollowFile.h"
#include "follow/FollowPass.h"
#include "follow/FollowState.h"
#include "import/ImportSettingsFile.h"
#include "import/RejectsFile.h"
#include "settings/ProfileFile.h"
#include "status/StatusMessages.h"
#include "support/PlantedFiles.h"
#include "support/StatusRecorder.h"
#include "support/TempDir.h"

namespace vireo {
namespace {

namespace fs = std::filesystem;
using testing::NobodyUid;

/// What the program made of the file at a path: empty when it used it, else
/// why not (its message, or "refused" where the caller gets none).
using Use = std::function<std::string(const std::string& path)>;

template <class Error, class Action>
std::string ErrorOf(Action action) {
    try {
        action();
        return {};
    } catch (const Error& error) {
        return error.what();
    }
}

std::string Refused(bool used) { return used ? std::string() : std::string("refused"); }

struct Kind {
    const char* name;
    const char* file;         // its name in the folder
    const char* plantSuffix;  // the planted name: the file's name and this
    Use use;
    bool replacesFifo = false;  // a save renames over a FIFO, never opening it
};

const std::vector<Kind>& Kinds() {
    static const std::vector<Kind> kinds = {
        {"log file (values)", "x.log", "",
         [](const std::string& path) {
             const testing::CliRun run = testing::RunCommand("values", {path});
             return run.status == 0 ? std::string() : run.err;
         }},
        {"log file (head hash)", "x.log", "",
         [](const std::string& path) { return ErrorOf<LogFileError>([&] { HeadHash(path, 4); }); }},
        {"watched folder entry", "x.log", "",
         [](const std::string& path) {
             FollowTargets targets;
             targets.folders = {fs::path(path).parent_path().string()};
             std::vector<FileError> skipped;
             if (!FilesToFollow(targets, &skipped).empty() || skipped.size() != 1) return std::string();
             return skipped.front().path() + ": " + std::string(kLogFileSkipped) + skipped.front().reason();
         }},
        {"rejects file", "r.csv", "",
         [](const std::string& path) { return ErrorOf<RejectsFileError>([&] { RejectsFile rejects(path); }); }},
        {"positions file", "st.positions", "",
         [](const std::string& path) { return ErrorOf<FollowStateError>([&] { LoadFollowState(path); }); }},
        {"lock file", "st.positions.lock", "",
         [](const std::string& path) {
             return ErrorOf<FollowStateError>([&] { FollowStateLock lock(path.substr(0, path.size() - 5)); });
         }},
        {"temporary positions file", "st.positions", ".tmp",
         [](const std::string& path) { return ErrorOf<FollowStateError>([&] { SaveFollowState(path, {}); }); }},
        {"status log", "s.log", "", [](const std::string& path) { return Refused(AppendStatusLog(path, "line")); }},
        {"settings file (load)", "app.VFG", "",
         [](const std::string& path) { return ErrorOf<ProfileError>([&] { ProfileFile().Load(path); }); }},
        {"settings file (save)", "app.VFG", "",
         [](const std::string& path) {
             return ErrorOf<ProfileError>([&] {
                 ProfileFile file;
                 file.SetPath(path);
                 file.WriteString("DataBase", "Password", "x");
                 file.Save();
             });
         },
         true},
        {".sfg file (load)", "list.sfg", "",
         [](const std::string& path) {
             testing::StatusRecorder sink;
             std::vector<std::string> entries;
             return Refused(LoadImportSettings(path, entries, sink));
         }},
        {".sfg file (save)", "list.sfg", "",
         [](const std::string& path) {
             testing::StatusRecorder sink;
             return Refused(SaveImportSettings(path, {"TEMP||ST01.TEMP"}, sink));
         },
         true},
    };
    return kinds;
}

enum class Case { PlantedLink, DanglingLink, Fifo, OthersFile, TooLarge };

class FileRulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "files of another user need root";
        testing::MakeFolder(dir_.File("vault"), 0700, 0);
        secret_ = dir_.Write("vault/secret", "06/15/2005,12:00:00,ROOTONLY,42\r\n");
        ASSERT_EQ(::chmod(secret_.c_str(), 0600), 0);
    }

    /// A fresh folder of the shape asked for: root's with the sticky bit
    /// (as /tmp), or nobody's (where the kernel follows nobody's links).
    std::string Folder(bool nobodys) {
        const std::string folder = dir_.File("f" + std::to_string(++folders_));
        testing::MakeFolder(folder, nobodys ? 0755 : 01777, nobodys ? NobodyUid() : 0);
        return folder;
    }

    /// Plants what the case says at `planted`.
    void Plant(Case what, const std::string& planted) {
        switch (what) {
            case Case::PlantedLink:
                testing::PlantLink(secret_, planted, NobodyUid());
                break;
            case Case::DanglingLink:
                testing::PlantLink(dir_.File("vault/new"), planted, NobodyUid());
                break;
            case Case::Fifo:
                ASSERT_EQ(::mkfifo(planted.c_str(), 0666), 0);
                break;
            case Case::OthersFile:
                testing::WriteFile(planted, "vireo-import positions 1\n");
                ASSERT_EQ(::chown(planted.c_str(), NobodyUid(), NobodyUid()), 0);
                break;
            case Case::TooLarge:
                testing::WriteFile(planted, "vireo-import positions 1\n");
                ASSERT_EQ(::truncate(planted.c_str(), static_cast<off_t>(kMostPositionsBytes) + 1), 0);
                break;
        }
    }

    /// The secret and the vault as they were: nothing read into or written
    /// through a planted name.
    void ExpectVaultUntouched() {
        EXPECT_EQ(testing::ReadFile(secret_), "06/15/2005,12:00:00,ROOTONLY,42\r\n");
        EXPECT_EQ(fs::status(secret_).permissions(), fs::perms(0600));
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir_.File("vault/new"))));
    }

    testing::TempDir dir_{"vireo-file-rules"};
    std::string secret_;
    int folders_ = 0;
};

TEST_F(FileRulesTest, PlantedAndDanglingLinksOfAnotherUserAreNeverFollowed) {
    for (const Kind& kind : Kinds()) {
        for (Case what : {Case::PlantedLink, Case::DanglingLink}) {
            for (bool nobodys : {false, true}) {
                SCOPED_TRACE(std::string(kind.name) + (what == Case::PlantedLink ? ", planted" : ", dangling") +
                             (nobodys ? " link in nobody's folder" : " link in a sticky folder"));
                const std::string path = Folder(nobodys) + "/" + kind.file;
                const std::string planted =
                    path + (*kind.plantSuffix != '\0' ? kind.plantSuffix + std::to_string(::getpid()) : "");
                Plant(what, planted);
                const std::string outcome = kind.use(path);
                if (planted == path) {
                    EXPECT_NE(outcome, "");
                    // A dangling link may also read as no file at all ("Error 106").
                    if (outcome != "refused" && what == Case::PlantedLink) {
                        EXPECT_NE(outcome.find("the symbolic link " + path +
                                               " belongs to another user (nobody), it is not followed"),
                                  std::string::npos)
                            << outcome;
                    }
                } else {
                    EXPECT_EQ(outcome, "");  // the temporary file passes over the planted name
                }
                EXPECT_TRUE(fs::is_symlink(planted));
                ExpectVaultUntouched();
            }
        }
    }
}

TEST_F(FileRulesTest, AFifoIsRefusedAtOnceOrReplacedNeverWaitedOn) {
    for (const Kind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        const std::string path = Folder(false) + "/" + kind.file;
        const std::string planted =
            path + (*kind.plantSuffix != '\0' ? kind.plantSuffix + std::to_string(::getpid()) : "");
        Plant(Case::Fifo, planted);
        std::string outcome;
        {
            testing::FifoGuard guard(planted);
            outcome = kind.use(path);
            EXPECT_FALSE(guard.Freed()) << "waited on the FIFO";
        }
        if (kind.replacesFifo || planted != path) {
            EXPECT_EQ(outcome, "");
        } else {
            EXPECT_NE(outcome, "");
            if (outcome != "refused") {
                EXPECT_NE(outcome.find("not a regular file"), std::string::npos) << outcome;
            }
        }
    }
}

TEST_F(FileRulesTest, APositionsOrLockFileOfAnotherUserOrTooLargeIsRefusedWithItsReason) {
    const Kind& positions = Kinds()[4];
    const Kind& lock = Kinds()[5];
    struct Row {
        const Kind& kind;
        Case what;
        std::string why;
    };
    const Row rows[] = {
        {positions, Case::OthersFile,
         "belongs to another user (nobody), not to root or to the user running the program: not used as a "
         "positions file"},
        {lock, Case::OthersFile,
         "belongs to another user (nobody), not to root or to the user running the program: not used as a lock file"},
        {positions, Case::TooLarge, "too large for a positions file (more than 67108864 bytes)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        const std::string path = Folder(false) + "/" + row.kind.file;
        Plant(row.what, path);
        EXPECT_EQ(row.kind.use(path), path + ": " + row.why);
    }
}

}  // namespace
}  // namespace vireo
