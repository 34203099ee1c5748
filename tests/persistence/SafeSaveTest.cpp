// Saving replaces a file whole or not at all, and only a regular file the user
// may write.
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
    // Saves, expecting failure; returns the message a caller shows. The
    // document stays modified.
    std::string Failure(const std::filesystem::path& path) {
        SaveFailure failure;
        EXPECT_FALSE(SaveTaalFile(m_doc, path, failure));
        EXPECT_TRUE(m_doc.IsModified());
        return failure.Message("%2", path.string());
    }

    test::TempDir m_dir;
    CLorvantaDoc m_doc;
};

TEST_F(SafeSave, WritesVersion4KeepingModeAndLinks) {
    m_doc.Header().version = 1; // as after reading a legacy file
    const auto path = m_dir / "a.tal";
    SaveFailure failure;
    ASSERT_TRUE(SaveTaalFile(m_doc, path, failure)) << failure.reason;
    EXPECT_EQ(test::TempDir::Read(path), WriteTaalDocument(m_doc));
    EXPECT_EQ(m_dir.Names(), std::vector<std::string>{"a.tal"});
    EXPECT_EQ(m_doc.Header().version, 4);
    EXPECT_FALSE(m_doc.IsModified());

    // Replacing a file keeps its mode; through a link, its target's.
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    std::filesystem::create_symlink("a.tal", m_dir / "link.tal");
    m_doc.Taal().SetName("Again");
    ASSERT_TRUE(SaveTaalFile(m_doc, m_dir / "link.tal", failure)) << failure.reason;
    EXPECT_TRUE(std::filesystem::is_symlink(m_dir / "link.tal"));
    EXPECT_EQ(test::TempDir::Read(path), WriteTaalDocument(m_doc));
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));
}

TEST_F(SafeSave, RefusesWhatIsNotARegularWritableFile) {
    std::filesystem::create_directory(m_dir / "folder.tal");
    ASSERT_EQ(::mkfifo((m_dir / "fifo.tal").c_str(), 0666), 0);
    std::filesystem::create_symlink("fifo.tal", m_dir / "to-fifo.tal");
    const auto readOnly = m_dir.Write("kept.tal", {9, 9});
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    const struct Case {
        std::string name;
        const char* message;
    } cases[] = {
        {"folder.tal", "%1 is not a regular file."},
        {"to-fifo.tal", "%1 is not a regular file."},
        {"kept.tal", "%1 is read-only."}, // even for root
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Failure(m_dir / c.name), FormatMessage(c.message, (m_dir / c.name).string()));
    }
    EXPECT_TRUE(std::filesystem::is_fifo(m_dir / "fifo.tal"));
    EXPECT_EQ(test::TempDir::Read(readOnly), (std::vector<std::uint8_t>{9, 9}));
    EXPECT_EQ(std::filesystem::status(readOnly).permissions(), std::filesystem::perms(0444));
    EXPECT_EQ(m_dir.Names().size(), 4u); // no temporary file left

    EXPECT_EQ(Failure(m_dir / "no/such/folder.tal"), "No such file or directory");
}

TEST_F(SafeSave, AFailedWriteLeavesTheOldFileAndNoTemporary) {
    const auto old = m_dir.Write("a.tal", {9, 9});
    SaveFailure failure;
    EXPECT_FALSE(WriteFileSafely(
        old,
        [](int fd) -> std::optional<std::string> {
            return ::write(fd, "half", 4) == 4 ? "No space left on device" : "";
        },
        failure));
    EXPECT_EQ(failure.Message("Cannot save file %1: %2.", "a.tal"),
              "Cannot save file a.tal: No space left on device.");
    EXPECT_EQ(test::TempDir::Read(old), (std::vector<std::uint8_t>{9, 9}));
    EXPECT_EQ(m_dir.Names(), std::vector<std::string>{"a.tal"});
}

} // namespace
} // namespace lorvanta
