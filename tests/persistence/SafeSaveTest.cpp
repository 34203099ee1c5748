// Saving replaces a file whole or not at all.
#include "persistence/TaalFile.h"
#include "persistence/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace lorvanta {
namespace {

void FillTwoBols(CLorvantaDoc& doc) {
    doc.InsertBol(-1);
    doc.InsertBol(0);
    doc.Taal().SetName("Saved");
}

TEST(SafeSave, WritesVersion4AndLeavesNothingElse) {
    test::TempDir dir;
    CLorvantaDoc doc;
    FillTwoBols(doc);
    doc.Header().version = 1; // as after reading a legacy file
    std::string error;
    ASSERT_TRUE(SaveTaalFile(doc, dir / "a.tal", error)) << error;
    EXPECT_EQ(test::TempDir::Read(dir / "a.tal"), WriteTaalDocument(doc));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"a.tal"});
    EXPECT_EQ(doc.Header().version, 4);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.PathName(), (dir / "a.tal").string());
}

TEST(SafeSave, ReplacingKeepsThePermissions) {
    test::TempDir dir;
    const auto path = dir.Write("a.tal", {1, 2, 3});
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    CLorvantaDoc doc;
    FillTwoBols(doc);
    std::string error;
    ASSERT_TRUE(SaveTaalFile(doc, path, error)) << error;
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(test::TempDir::Read(path), WriteTaalDocument(doc));
}

TEST(SafeSave, SavingThroughALinkReplacesItsTarget) {
    test::TempDir dir;
    const auto target = dir.Write("real.tal", {1});
    std::filesystem::create_symlink(target, dir / "link.tal");
    CLorvantaDoc doc;
    FillTwoBols(doc);
    std::string error;
    ASSERT_TRUE(SaveTaalFile(doc, dir / "link.tal", error)) << error;
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.tal"));
    EXPECT_EQ(test::TempDir::Read(target), WriteTaalDocument(doc));
}

TEST(SafeSave, FailureReportsTheReasonAndKeepsTheOldFile) {
    test::TempDir dir;
    // The target is a folder: the final rename fails, after the data was written.
    std::filesystem::create_directory(dir / "taken.tal");
    dir.Write("taken.tal/inside", {7});
    CLorvantaDoc doc;
    FillTwoBols(doc);
    std::string error;
    EXPECT_FALSE(SaveTaalFile(doc, dir / "taken.tal", error));
    EXPECT_EQ(error, "Is a directory");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken.tal"));
    EXPECT_EQ(test::TempDir::Read(dir / "taken.tal/inside"), std::vector<std::uint8_t>{7});
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"taken.tal"});
    EXPECT_TRUE(doc.IsModified());
}

TEST(SafeSave, MissingFolderFails) {
    test::TempDir dir;
    CLorvantaDoc doc;
    FillTwoBols(doc);
    std::string error;
    EXPECT_FALSE(SaveTaalFile(doc, dir / "no/such/folder.tal", error));
    EXPECT_EQ(error, "No such file or directory");
}

TEST(SafeSave, ReadOnlyFolderFailsAndKeepsTheOldFile) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind this user";
    test::TempDir dir;
    const auto old = dir.Write("a.tal", {9, 9});
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
    CLorvantaDoc doc;
    FillTwoBols(doc);
    std::string error;
    EXPECT_FALSE(SaveTaalFile(doc, old, error));
    EXPECT_EQ(error, "Permission denied");
    EXPECT_EQ(test::TempDir::Read(old), (std::vector<std::uint8_t>{9, 9}));
}

} // namespace
} // namespace lorvanta
