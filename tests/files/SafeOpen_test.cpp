#include "files/SafeOpen.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/PlantedFiles.h"
#include "support/TempDir.h"

namespace vireo {
namespace {

namespace fs = std::filesystem;
using testing::MakeFolder;
using testing::NobodyUid;
using testing::PlantLink;
using testing::ReadFile;

std::string ReadAll(int fd) {
    std::string text(64, '\0');
    const ssize_t got = ::pread(fd, text.data(), text.size(), 0);
    text.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
    return text;
}

/// A root-only secret in a root-only folder, and folders of every shape a
/// link may lie in.
class SafeOpenTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "links and folders of another user need root";
        MakeFolder(dir_.File("vault"), 0700, 0);
        secret_ = dir_.Write("vault/secret", "secret\n");
        ASSERT_EQ(::chmod(secret_.c_str(), 0600), 0);
        MakeFolder(dir_.File("sticky"), 01777, 0);
        MakeFolder(dir_.File("nobodys"), 0755, NobodyUid());
        MakeFolder(dir_.File("shared"), 0777, 0);
    }

    testing::TempDir dir_{"vireo-safe-open"};
    std::string secret_;
};

TEST_F(SafeOpenTest, ALinkIsFollowedOnlyWhenItAndItsFolderAreTheUsersOrRoots) {
    struct Row {
        const char* link;  // planted to the secret (a folder link: to the vault)
        uid_t owner;
        const char* opened;   // the path opened
        std::string refusal;  // empty: followed
    };
    const std::string d = dir_.path().string();
    const Row rows[] = {
        {"own-link", 0, "own-link", ""},
        {"sticky/root-link", 0, "sticky/root-link", ""},
        {"sticky/planted", NobodyUid(), "sticky/planted",
         "the symbolic link " + d + "/sticky/planted belongs to another user (nobody), it is not followed"},
        {"nobodys/root-link", 0, "nobodys/root-link",
         "the symbolic link " + d + "/nobodys/root-link lies in a folder of another user (nobody), it is not followed"},
        {"shared/root-link", 0, "shared/root-link",
         "the symbolic link " + d + "/shared/root-link lies in a folder others may write to, it is not followed"},
        {"sticky/folder", NobodyUid(), "sticky/folder/secret",
         "the symbolic link " + d + "/sticky/folder belongs to another user (nobody), it is not followed"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.link);
        const bool folderLink = std::string(row.link).ends_with("folder");
        PlantLink(folderLink ? dir_.File("vault") : secret_, dir_.File(row.link), row.owner);
        const std::string path = dir_.File(row.opened);
        try {
            OpenedFile file = OpenToRead(path);
            EXPECT_EQ(row.refusal, "");
            EXPECT_EQ(ReadAll(file.fd.get()), "secret\n");
        } catch (const FileError& error) {
            EXPECT_EQ(std::string(error.what()), path + ": " + row.refusal);
            EXPECT_EQ(error.error(), 0);
        }
        // Writing is judged alike; nothing is written through a refused link.
        try {
            OpenToWrite(path, WriteUse::Append, NewFile::Private);
            EXPECT_EQ(row.refusal, "");
        } catch (const FileError& error) {
            EXPECT_EQ(error.reason(), row.refusal);
        }
    }
    EXPECT_EQ(ReadFile(secret_), "secret\n");
}

TEST_F(SafeOpenTest, ANewFileIsMadeAtTheNameOnlyWithTheModeAskedForAndLeftBlocking) {
    const mode_t savedMask = ::umask(022);
    OpenedFile shared = OpenToWrite(dir_.File("shared.txt"), WriteUse::Truncate, NewFile::Shared);
    EXPECT_TRUE(shared.created);
    ::umask(0);
    OpenedFile own = OpenToWrite(dir_.File("own.txt"), WriteUse::Append, NewFile::Private);
    ::umask(savedMask);
    EXPECT_EQ(fs::status(dir_.File("shared.txt")).permissions(), fs::perms(0644));
    EXPECT_EQ(fs::status(dir_.File("own.txt")).permissions(), fs::perms(0600));
    EXPECT_EQ(::fcntl(own.fd.get(), F_GETFL) & O_NONBLOCK, 0);  // opened without blocking, then blocking again
    EXPECT_THROW(OpenToRead("/dev/null"), FileError);           // not a regular file

    // Even the user's own dangling link creates nothing.
    PlantLink(dir_.File("vault/new"), dir_.File("dangling"), 0);
    try {
        OpenToWrite(dir_.File("dangling"), WriteUse::Append, NewFile::Private);
        ADD_FAILURE() << "created through a dangling link";
    } catch (const FileError& error) {
        EXPECT_EQ(error.error(), ENOENT);
    }
    EXPECT_FALSE(fs::exists(dir_.File("vault/new")));
    EXPECT_FALSE(LookAtPath(dir_.File("dangling")).has_value());
}

TEST_F(SafeOpenTest, ATemporaryFileIsNewAndPassesOverANamePlantedBeforeIt) {
    const std::string target = dir_.Write("sticky/state", "old\n");
    const std::string planted = target + ".tmp" + std::to_string(::getpid());
    PlantLink(secret_, planted, NobodyUid());
    {
        ReplacementFile file(target, NewFile::Private);
        EXPECT_EQ(file.TemporaryPath(), planted + "-1");
        file.Write("new\n");
        file.Finish();
        file.Commit();
    }
    EXPECT_EQ(ReadFile(target), "new\n");
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0600));
    EXPECT_EQ(ReadFile(secret_), "secret\n");
    EXPECT_TRUE(fs::is_symlink(planted));
    {
        ReplacementFile abandoned(target, NewFile::Private);  // not committed: removed
    }
    EXPECT_FALSE(fs::exists(planted + "-1"));
    EXPECT_EQ(ReadFile(target), "new\n");
}

}  // namespace
}  // namespace vireo
