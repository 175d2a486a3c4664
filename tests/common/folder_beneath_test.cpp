// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/folder_beneath.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <iterator>

#include "common/file_io.h"
#include "test_paths.h"

namespace pictrova {
namespace {

namespace fs = std::filesystem;

// base/real/deep/ and base/real/file; base/linkdir -> base/real (a link that stays inside);
// base/real/linkfile -> outside/victim; base/outlink -> outside.
class FolderBeneathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(base / "real" / "deep");
        fs::create_directory(outside);
        std::ofstream(base / "real" / "file") << "file";
        std::ofstream(outside / "victim") << "keep me";
        fs::create_directory_symlink(base / "real", base / "linkdir");
        fs::create_directory_symlink(outside, base / "outlink");
        fs::create_symlink(outside / "victim", base / "real" / "linkfile");
        folder = FolderHandle::Open(base);
    }
    void ExpectOutsideUntouched() {
        EXPECT_EQ(std::distance(fs::directory_iterator(outside), {}), 1);
        std::ifstream victim(outside / "victim");
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victim), {}), "keep me");
    }

    testing::TempDir dir;
    fs::path base = dir / "base";
    fs::path outside = dir / "outside";
    FolderHandle folder;
};

enum class Operation { CreateFile, MakeFolder };

struct BeneathCase {
    Operation operation;
    const char* name;
    int error;          // 0: made
    bool namesTheLink;  // the report says which link was met
};

TEST_F(FolderBeneathTest, NamesAreMadeOnlyBeneathAndNeverThroughALink) {
    const BeneathCase cases[] = {
        {Operation::CreateFile, "new.png", 0, false},
        {Operation::CreateFile, "real/deep/new.png", 0, false},
        {Operation::CreateFile, "real//deep/other.png", 0, false},
        // A link as the last component, as a middle one (inside or out), as the only folder.
        {Operation::CreateFile, "real/linkfile", ELOOP, true},
        {Operation::CreateFile, "linkdir/new.png", ELOOP, true},
        {Operation::CreateFile, "outlink/new.png", ELOOP, true},
        {Operation::CreateFile, "real/../outlink/new.png", EINVAL, false},
        {Operation::CreateFile, "../outside/new.png", EINVAL, false},
        {Operation::CreateFile, "real/./new.png", EINVAL, false},
        {Operation::CreateFile, "/tmp/new.png", EINVAL, false},
        {Operation::CreateFile, "", EINVAL, false},
        {Operation::CreateFile, "missing/new.png", ENOENT, false},
        {Operation::CreateFile, "real/file/new.png", ENOTDIR, false},
        {Operation::MakeFolder, "made/one/two", 0, false},
        {Operation::MakeFolder, "real/deep", 0, false},
        {Operation::MakeFolder, "outlink/made", ELOOP, true},
        {Operation::MakeFolder, "real/linkfile/made", ELOOP, true},
        {Operation::MakeFolder, "../made", EINVAL, false},
        {Operation::MakeFolder, "/made", EINVAL, false},
        {Operation::MakeFolder, "real/file", ENOTDIR, false},
    };
    for (const BeneathCase& c : cases) {
        SCOPED_TRACE(c.name);
        int error = 0;
        std::string what;
        try {
            if (c.operation == Operation::CreateFile)
                EXPECT_TRUE(folder.OpenFileBeneath(c.name, O_WRONLY | O_CREAT));
            else
                EXPECT_TRUE(folder.MakeFolderBeneath(c.name).valid());
        } catch (const FileWriteError& e) {
            error = e.code();
            what = e.what();
        }
        EXPECT_EQ(error, c.error) << what;
        EXPECT_EQ(
            what.find("is a link, and nothing is written through a link") != std::string::npos,
            c.namesTheLink)
            << what;
        if (c.error == 0) {
            EXPECT_TRUE(fs::exists(fs::symlink_status(base / c.name)));
        }
    }
    ExpectOutsideUntouched();
    EXPECT_FALSE(fs::exists(base / "real" / "made"));
}

TEST_F(FolderBeneathTest, ExistenceRenameAndLinkStayInTheFolder) {
    EXPECT_TRUE(folder.ExistsBeneath("real/file"));
    EXPECT_TRUE(folder.ExistsBeneath("real/linkfile"));  // the link itself
    EXPECT_FALSE(folder.ExistsBeneath("linkdir/file"));
    EXPECT_FALSE(folder.ExistsBeneath("outlink/victim"));
    EXPECT_FALSE(folder.ExistsBeneath("../outside/victim"));
    EXPECT_FALSE(folder.ExistsBeneath("/etc"));

    const FolderHandle real = folder.OpenFolderBeneath("real");
    EXPECT_THROW(real.RenameBeneath("file", "../moved"), FileWriteError);
    EXPECT_THROW(folder.RenameBeneath("real/file", "moved"), FileWriteError);
    EXPECT_FALSE(real.LinkBeneath("file", "linkfile"));  // taken by the link: never followed
    real.RenameBeneath("file", "linkfile");              // replaces the link, not its target
    EXPECT_FALSE(fs::is_symlink(base / "real" / "linkfile"));
    ExpectOutsideUntouched();
}

// The atomic writer beneath a folder: the file's folder is walked without links, the
// temporary and the final name are made there, and a name in another folder is refused.
TEST_F(FolderBeneathTest, AtomicFileBeneathAFolder) {
    {
        AtomicFile file;
        try {
            file.Begin(folder, "outlink/x.png");
            ADD_FAILURE() << "began through a link";
        } catch (const FileWriteError& e) {
            EXPECT_EQ(e.file(), base / "outlink/x.png");
            EXPECT_NE(std::string(e.what()).find(base / "outlink"), std::string::npos) << e.what();
        }
    }
    AtomicFile file(folder, "real/deep/x.png");
    const std::uint8_t bytes[] = {1, 2, 3};
    file.Write(bytes);
    EXPECT_THROW(file.CommitWithoutReplacing(base / "real" / "x.png"), FileWriteError);
    EXPECT_TRUE(file.CommitWithoutReplacing(base / "real" / "deep" / "y.png"));
    EXPECT_EQ(fs::file_size(base / "real" / "deep" / "y.png"), 3u);
    EXPECT_EQ(std::distance(fs::directory_iterator(base / "real" / "deep"), {}), 1);
    ExpectOutsideUntouched();
}

}  // namespace
}  // namespace pictrova
