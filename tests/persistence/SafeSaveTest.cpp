// Saving replaces a file whole or not at all.
#include "persistence/TaalFile.h"
#include "persistence/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace lorvanta {
namespace {

class SafeSave : public testing::Test {
protected:
    SafeSave() {
        m_doc.InsertBol(-1);
        m_doc.InsertBol(0);
        m_doc.Taal().SetName("Saved");
    }
    // Saves, expecting failure with the given reason; the document stays modified.
    void ExpectFailure(const std::filesystem::path& path, const std::string& reason) {
        std::string error;
        EXPECT_FALSE(SaveTaalFile(m_doc, path, error));
        EXPECT_EQ(error, reason);
        EXPECT_TRUE(m_doc.IsModified());
    }

    test::TempDir m_dir;
    CLorvantaDoc m_doc;
};

TEST_F(SafeSave, WritesVersion4KeepingPermissionsAndLinks) {
    m_doc.Header().version = 1; // as after reading a legacy file
    const auto path = m_dir / "a.tal";
    std::string error;
    ASSERT_TRUE(SaveTaalFile(m_doc, path, error)) << error;
    EXPECT_EQ(test::TempDir::Read(path), WriteTaalDocument(m_doc));
    EXPECT_EQ(m_dir.Names(), std::vector<std::string>{"a.tal"});
    EXPECT_EQ(m_doc.Header().version, 4);
    EXPECT_FALSE(m_doc.IsModified());
    EXPECT_EQ(m_doc.PathName(), path.string());

    // Replacing a file keeps its permissions; through a link, its target.
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    std::filesystem::create_symlink(path, m_dir / "link.tal");
    m_doc.Taal().SetName("Again");
    ASSERT_TRUE(SaveTaalFile(m_doc, m_dir / "link.tal", error)) << error;
    EXPECT_TRUE(std::filesystem::is_symlink(m_dir / "link.tal"));
    EXPECT_EQ(test::TempDir::Read(path), WriteTaalDocument(m_doc));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(SafeSave, FailureReportsTheReasonAndKeepsTheOldFile) {
    // The target is a folder: the final rename fails, after the data was written.
    std::filesystem::create_directory(m_dir / "taken.tal");
    m_dir.Write("taken.tal/inside", {7});
    ExpectFailure(m_dir / "taken.tal", "Is a directory");
    EXPECT_EQ(test::TempDir::Read(m_dir / "taken.tal/inside"), std::vector<std::uint8_t>{7});
    EXPECT_EQ(m_dir.Names(), std::vector<std::string>{"taken.tal"});

    ExpectFailure(m_dir / "no/such/folder.tal", "No such file or directory");

    if (::geteuid() != 0) { // permissions do not bind root
        const auto old = m_dir.Write("a.tal", {9, 9});
        ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0555), 0);
        ExpectFailure(old, "Permission denied");
        EXPECT_EQ(test::TempDir::Read(old), (std::vector<std::uint8_t>{9, 9}));
    }
}

} // namespace
} // namespace lorvanta
