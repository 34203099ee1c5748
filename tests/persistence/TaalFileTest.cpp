// Taal files read and written: the reader's checks, repairs and messages,
// malformed and legacy files, the bytes written, the archive encoding, the
// clipboard payload and the safe save.
#include "persistence/TaalFile.h"
#include "model/Vibhags.h"
#include "persistence/Archive.h"
#include "persistence/BolClipboard.h"
#include "persistence/TaalBytes.h"
#include "persistence/TaalRecords.h"
#include "persistence/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <functional>
#include <limits>
#include <sys/stat.h>
#include <tuple>

namespace lorvanta {
namespace {

using test::Bytes;
using test::LegacyRecord;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Files all read the same way: the outcome (result, "invalid", "repaired" and
// the kind of box shown), and what the reader kept.
struct Case {
    std::vector<std::vector<std::uint8_t>> files;
    std::string outcome;
    std::string after;
};

const std::string kClean = "0", kFailed = "38 invalid error",
                  kRepaired = "38 invalid repaired warning", kRepairedValid = "38 repaired warning";

void Check(const Case& c) {
    for (const auto& file : c.files) {
        SCOPED_TRACE(c.after);
        CLorvantaDoc doc;
        const ReadOutcome outcome = ReadTaalDocument(file, "/t.tal", doc);
        ASSERT_FALSE(outcome.structuralError) << outcome.errorDetail;
        const auto box = PostReadMessage(outcome, "/t.tal");
        EXPECT_EQ(std::to_string(StatusNumber(outcome.result)) + (outcome.valid ? "" : " invalid") +
                      (outcome.repaired ? " repaired" : "") +
                      (!box                              ? ""
                       : box->kind == MessageKind::Error ? " error"
                                                         : " warning"),
                  c.outcome);
        EXPECT_EQ(test::Describe(*doc.Taal().BolAt(0)), c.after);
    }
}

std::vector<std::uint8_t> Bol(std::uint32_t index, float duration, float reserved) {
    return test::OneBolFile(Bytes().Bol("X", index, duration, reserved));
}

std::vector<std::uint8_t> Sounds(const Bytes& bass, const Bytes& pitch, float duration = 1.0f) {
    return test::OneBolFile(Bytes().BolHead("B", 0, duration).Append(bass).Append(pitch));
}

TEST(ReadChecks, BolsAndSounds) {
    const std::string silent = " / Silence 0 0 0 / Silence 0 0 0";
    auto emphasis = [](float e) {
        return Sounds(Bytes().Sound("Open Ge", 3, 1, e), Bytes().Sound("Na", 12));
    };
    auto soundId = [](std::uint32_t id) {
        return Sounds(Bytes().Sound(), Bytes().Sound("Odd", id, 1, 3.0f));
    };
    const Case cases[] = {
        // Bol values out of range fail and stay as read...
        {{Bol(50001, 1.0f, 0.0f)}, kFailed, "X 50001 1 0" + silent},
        {{Bol(0, 1.0f, 6.5f)}, kFailed, "X 0 1 6.5" + silent},
        // ...except the duration, which is brought into range (no number: one beat).
        {{Bol(0, 12.0f, 0.0f), Bol(0, 1.8e28f, 0.0f)}, kFailed, "X 0 10 0" + silent},
        {{Bol(0, 0.0009f, 0.0f), Bol(0, 0.0f, 0.0f), Bol(0, -4.05e18f, 0.0f)},
         kFailed,
         "X 0 0.001 0" + silent},
        {{Bol(0, kNaN, 0.0f), Bol(0, kInf, 0.0f), Bol(0, -kInf, 0.0f)},
         kFailed,
         "X 0 1 0" + silent},
        // The limits pass; the index is taken as stored.
        {{Bol(50000, 0.001f, 6.0f)}, kClean, "X 50000 0.001 6" + silent},
        // An emphasis out of range silences the sound: an error, not a repair.
        {{emphasis(20.5f), emphasis(-20.5f), emphasis(kNaN)},
         kFailed,
         "B 0 1 0 / Silence 0 0 0 / Na 12 0 0"},
        {{Sounds(Bytes().Sound("Open Ge", 3, 1, 20.0f), Bytes().Sound("Na", 12, 0, -20.0f))},
         kClean,
         "B 0 1 0 / Open Ge 3 1 20 / Na 12 0 -20"},
        // An unknown sound id becomes silence on the Tabla, the name kept.
        {{soundId(30), soundId(0xFFFFFFFF)}, kRepaired, "B 0 1 0 / Silence 0 0 0 / Odd 0 0 3"},
        // An unknown instrument becomes the Tabla and keeps the file valid.
        {{Sounds(Bytes().Sound("Silence", 0, 2), Bytes().Sound("Na", 12, 1))},
         kRepairedValid,
         "B 0 1 0 / Silence 0 0 0 / Na 12 1 0"},
        // Legacy records get the checks of a version 4 bol.
        {{LegacyRecord("A", "Open Ge", "Na", kNaN)},
         kFailed,
         "A 0 1 0 / Open Ge 3 0 0 / Na 12 0 0"},
        {{LegacyRecord("A", "Open Ge", "Na", 1.0f, 21, -21)},
         kFailed,
         "A 0 1 0 / Silence 0 0 0 / Silence 0 0 0"},
    };
    for (const Case& c : cases)
        Check(c);
}

// The tempo is read as stored; opening replaces one outside 10 to 1000 bpm.
TEST(ReadChecks, TempoIsReadAsStoredAndReplacedOnOpen) {
    for (const auto& [stored, replaced] : {std::pair{10.0f, false},
                                           {1000.0f, false},
                                           {9.99f, true},
                                           {1000.5f, true},
                                           {kNaN, true}}) {
        CLorvantaDoc doc;
        const auto file = Bytes().Header().Params(stored).TaalHead("T", 0, 0.0f, 0);
        EXPECT_EQ(ReadTaalDocument(file, "/t.tal", doc).result, ReadResult::Ok);
        EXPECT_EQ(ApplyOpenedTempoRule(doc), replaced) << stored;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(doc.DefaultTempo()),
                  replaced ? 0x42C7FFFFu : std::bit_cast<std::uint32_t>(stored));
    }
}

// A file that ends early leaves a fresh empty Taal and says where it ended;
// huge counts end with the data, never with a huge allocation.
TEST(MalformedFile, DetailSaysWhere) {
    const std::pair<std::vector<std::uint8_t>, std::string> cases[] = {
        {{0xAA}, "it holds no Taal"},
        {Bytes().Header().Params().TaalHead("T", 3, 3.0f, 0xFFFF).U32(0xFFFFFFFF).ClassTag().Bol(),
         "the file ends inside the object tag of list element 2 (byte 345)"},
    };
    for (const auto& [bytes, detail] : cases) {
        CLorvantaDoc doc;
        doc.InsertBol(-1);
        const ReadOutcome outcome = ReadTaalDocument(bytes, "/x.tal", doc);
        EXPECT_EQ(outcome.structuralError ? outcome.errorDetail : "", detail);
        EXPECT_TRUE(doc.IsEmpty() && doc.Taal().Count() == 0 && doc.Taal().Name() == "New Taal");
        EXPECT_FALSE(PostReadMessage(outcome, "/x.tal").has_value());
    }
}

TEST(LegacyFile, RecordsBecomeBols) {
    const auto file = Bytes()
                          .Append(LegacyRecord("Dha", "Normal Ge", "Na 2", 1.0f, -3, 4))
                          .Append(LegacyRecord(std::string(30, 'p'),
                                               std::string("Open Ge  \0junk", 14), "Na \t ", 0.5f))
                          .Append(LegacyRecord("Ge", "Sliding Ge", "Mystery", 2.0f, 20, -20))
                          .Append(LegacyRecord("Ti", "Normal Ti, Te", "Normal Ti, Te"))
                          .Zeros(105); // less than a record more: not read
    const std::string expected[] = {
        // Sound names normalised.
        "Dha 0 1 0 / Pressed Ge 1 0 -3 / Na 12 0 4",
        // Texts stop at a NUL and lose trailing blanks; a full field has no NUL.
        std::string(30, 'p') + " 1 0.5 0 / Open Ge 3 0 0 / Na 12 0 0",
        // Unknown names keep id 30; the emphasis limits pass.
        "Ge 2 2 0 / Fast Sliding Ge 4 0 20 / Mystery 30 0 -20",
        "Ti 3 1 0 / Normal Ti, Te 15 0 0 / Ti 15 0 0", // by the table of each
    };
    CLorvantaDoc doc;
    const ReadOutcome outcome = ReadTaalDocument(file, "/old/Kaherva.tal", doc);
    EXPECT_TRUE(outcome.result == ReadResult::Ok && doc.Header().version == 1);
    EXPECT_EQ(doc.Taal().Name(), "Kaherva.tal");
    EXPECT_EQ(doc.Taal().Total(), 4.5f);
    ASSERT_EQ(doc.Taal().Count(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(test::Describe(*doc.Taal().BolAt(i)), expected[i]);
}

// A file without the magic is a Taal only when it holds whole records (the
// bytes after them ignored) and no more than a Taal may hold; one with it, at
// most 64 MB. Those refused are sparse files, never loaded.
TEST(LegacyFile, RecordCountOutsideATaalIsAStructuralError) {
    const auto record = LegacyRecord("Dha", "Open Ge", "Na");
    std::vector<std::uint8_t> file;
    for (std::size_t i = 0; i < 106 * 50000 + 105; ++i)
        file.push_back(record[i % 106]);
    CLorvantaDoc doc;
    EXPECT_TRUE(ReadTaalDocument(file, "/old/a.tal", doc).result == ReadResult::Ok &&
                doc.Taal().Count() == 50000);

    test::TempDir dir;
    RecordingMessageSink sink;
    const auto huge = dir.Write("huge.tal", {'D', 'h', 'a', 0});
    std::filesystem::resize_file(huge, 106 * 50001);
    const auto big = dir.Write("big.tal", {0xAA, 0xAA, 4, 0});
    std::filesystem::resize_file(big, (64 << 20) + 1);
    for (const auto& path : {huge, big})
        EXPECT_TRUE(OpenTaalFile(doc, path, sink).structuralError);
    ASSERT_EQ(sink.Messages().size(), 2u);
    EXPECT_EQ(sink.Messages()[0].text,
              "Cannot read file " + huge.string() + ": it holds more than 50,000 bols.");
    EXPECT_EQ(sink.Messages()[1].text, "Cannot read file " + big.string() +
                                           ": it is larger than 64 MB, more than any Taal file.");
}

TEST(TaalFileLayout, ANewTaalByteForByte) {
    CLorvantaDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(WriteTaalDocument(doc),
              Bytes().Header().Params().TaalHead("New Taal", 0, 0.0f, 0).Data());
}

// The parameters' reserved block is written back byte for byte, after an
// edit too: our record, a block of another writer, a tagged record that does
// not read (opened without vibhags, with a warning) and a version 3 file's
// missing block (zero).
TEST(VibhagRecord, BlocksCarriedThroughOpenEditAndSave) {
    CTaalParams ours, foreign, malformed;
    ASSERT_EQ(WriteVibhagRecord(ours, {{2, 'X'}, {1, '0'}}), VibhagStatus::Ok);
    for (std::size_t i = 0; i < foreign.reserved.size(); ++i)
        foreign.reserved[i] = static_cast<std::uint8_t>(255 - i);
    malformed = ours;
    malformed.reserved[kVibhagRecordHeader + 2] = '?'; // no mark
    // The block; the display and the vibhags shown when opened and after an edit.
    const std::tuple<CTaalParams, std::string, std::string> cases[] = {
        {ours, "1 X:2 0:1", "2 "}, {foreign, "0 ", "0 "}, {malformed, "3 ", "3 "}};
    const auto describe = [](const CLorvantaDoc& doc) {
        const ShownVibhags shown = VibhagsToShow(doc.Params(), doc.Taal().Total());
        return std::to_string(static_cast<int>(shown.display)) + " " + FormatVibhags(shown.vibhags);
    };
    test::TempDir dir;
    for (const auto& [params, opened, edited] : cases) {
        CLorvantaDoc written;
        for (int i = 0; i < 3; ++i)
            written.InsertBol(i - 1);
        written.Params() = params;
        const auto bytes = WriteTaalDocument(written);
        CLorvantaDoc doc;
        RecordingMessageSink sink; // the warning's text: CliCommands
        EXPECT_FALSE(OpenTaalFile(doc, dir.Write("v.tal", bytes), sink).structuralError);
        EXPECT_EQ(describe(doc), opened);
        EXPECT_EQ(sink.Messages().size(), opened == "3 " ? 1u : 0u) << opened;
        EXPECT_EQ(WriteTaalDocument(doc), bytes);
        doc.InsertBol(0);
        EXPECT_EQ(describe(doc), edited);
        const auto saved = WriteTaalDocument(doc);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 264, saved.begin()));
    }

    // Only the document's reading is warned of: a merge wants the bols alone.
    CLorvantaDoc merged;
    RecordingMessageSink sink;
    OpenTaalFile(merged, dir.Path() / "v.tal", sink, OpenedFor::BolsOnly);
    EXPECT_TRUE(sink.Messages().empty());

    CLorvantaDoc old;
    const auto version3 = Bytes().Header(3).TaalHead("T", 1, 1.0f, 1).ClassTag().Bol();
    ASSERT_EQ(ReadTaalDocument(version3, "/t.tal", old).result, ReadResult::Ok);
    EXPECT_EQ(WriteTaalDocument(old),
              Bytes().Header().Params().TaalHead("T", 1, 1.0f, 1).ClassTag().Bol().Data());
}

TEST(ArchiveString, WrittenInTheShortestLengthForm) {
    struct LengthCase {
        std::size_t length;
        std::vector<std::uint8_t> prefix;
    };
    const LengthCase cases[] = {{254, {0xFE}},
                                {255, {0xFF, 0xFF, 0x00}},
                                {0xFFFE, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}}};
    for (const LengthCase& c : cases) {
        SCOPED_TRACE(c.length);
        std::string text(c.length, '\0');
        for (std::size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char>(i); // every byte value
        ArchiveWriter writer;
        writer.WriteString(text);
        const auto& bytes = writer.Bytes();
        ASSERT_EQ(bytes.size(), c.prefix.size() + c.length);
        EXPECT_TRUE(std::equal(c.prefix.begin(), c.prefix.end(), bytes.begin()));
        ArchiveReader reader(bytes, "file");
        EXPECT_EQ(reader.ReadString("name"), text);
        EXPECT_EQ(reader.Remaining(), 0u);
    }
}

TEST(ArchiveCount, FormsAroundFFFF) {
    for (const std::uint32_t count : {0u, 0xFFFEu, 0xFFFFu, 0x10000u, 0xFFFFFFFFu}) {
        ArchiveWriter writer;
        writer.WriteCount(count);
        const auto bytes = writer.Take();
        EXPECT_EQ(bytes.size(), count < 0xFFFF ? 2u : 6u) << count;
        if (count == 0xFFFF) {
            EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}));
        }
        ArchiveReader reader(bytes);
        EXPECT_EQ(reader.ReadCount("list count"), count);
    }
}

// Reads tags until the data ends; the first error's detail, or "".
std::string TagError(const std::vector<std::uint8_t>& bytes) {
    ObjectTagReader tagReader("CBol2", {"CBol2", "CSound", "CTaal"});
    ArchiveReader reader(bytes, "file");
    try {
        for (int i = 1; reader.Remaining() > 0; ++i)
            tagReader.ReadTag(reader, "list element " + std::to_string(i));
    } catch (const ArchiveError& error) {
        return error.Detail();
    }
    return {};
}

TEST(ObjectTags, ReaderAcceptsOnlyBols) {
    const std::pair<std::vector<std::uint8_t>, std::string> cases[] = {
        {Bytes().ClassTag().U16(0x8001).U16(0x8001), ""},
        {Bytes().U16(0xFFFF).U16(0).U16(6).Raw("CSound"),
         "list element 1 is a CSound, not a CBol2 (byte 0)"},
        {Bytes().U16(0xFFFF).U16(1).U16(5).Raw("CBol2"),
         "list element 1 is a CBol2 of schema 1, which Lorvanta cannot read (byte 0)"},
        {Bytes().U16(0x8001),
         "list element 1 refers to class number 1, which was never described (byte 0)"},
        {Bytes().ClassTag().U16(0x8002),
         "list element 2 refers to number 2, which is not a class (byte 11)"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(TagError(cases[i].first), cases[i].second) << "case " << i;
}

// The class is described before the first bol; the others refer back to it.
TEST(BolPayload, ThreeBolsCarryOneClassDescriptionAndTwoReferences) {
    const CBol2 a("Silence", 0, 1.0f);
    CBol2 b("Silence", 4, 0.5f);
    b.bass.emphasis = -3.5f;
    b.pitch.instrument = Pakhawaj;
    const std::vector<std::uint8_t> payload =
        WriteBolPayload(std::vector<const CBol2*>{&a, &b, &a});
    const auto record =
        Bytes().BolHead("Silence", 4, 0.5f).Sound("Silence", 0, 0, -3.5f).Sound("Silence", 0, 1);
    EXPECT_EQ(payload,
              Bytes().U32(3).ClassTag().Bol().U16(0x8001).Append(record).U16(0x8001).Bol().Data());
    std::vector<std::unique_ptr<CBol2>> read;
    std::string error;
    ASSERT_TRUE(ReadBolPayload(payload, read, error)) << error;
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(*read[1], b);
}

// Saving replaces a file whole (version 4, its mode kept, through a link its
// target's) or not at all, and only a regular writable one.
TEST(SafeSave, ReplacesOnlyARegularWritableFileWhole) {
    test::TempDir dir;
    CLorvantaDoc doc;
    doc.InsertBol(-1);
    doc.Header().version = 1; // as after reading a legacy file
    const auto path = dir / "a.tal";
    SaveFailure failure;
    ASSERT_TRUE(SaveTaalFile(doc, path, failure)) << failure.reason;
    EXPECT_TRUE(doc.Header().version == 4 && !doc.IsModified());
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    std::filesystem::create_symlink("a.tal", dir / "link.tal");
    doc.Taal().SetName("Again");
    ASSERT_TRUE(SaveTaalFile(doc, dir / "link.tal", failure)) << failure.reason;
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.tal"));
    EXPECT_EQ(test::TempDir::Read(path), WriteTaalDocument(doc));
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));

    std::filesystem::create_directory(dir / "folder.tal");
    ASSERT_EQ(::mkfifo((dir / "fifo.tal").c_str(), 0666), 0);
    std::filesystem::create_symlink("fifo.tal", dir / "to-fifo.tal");
    const auto readOnly = dir.Write("kept.tal", {9, 9});
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    doc.InsertBol(0);
    for (const auto& [name, message] :
         {std::pair<std::string, const char*>{"folder.tal", "%1 is not a regular file."},
          {"to-fifo.tal", "%1 is not a regular file."},
          {"kept.tal", "%1 is read-only."}, // even for root
          {"no/such/folder.tal", "No such file or directory"}}) {
        EXPECT_FALSE(SaveTaalFile(doc, dir / name, failure)) << name;
        EXPECT_EQ(failure.Message("%2", (dir / name).string()),
                  FormatMessage(message, (dir / name).string()));
    }
    EXPECT_TRUE(doc.IsModified());
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "fifo.tal"));
    EXPECT_EQ(test::TempDir::Read(readOnly), (std::vector<std::uint8_t>{9, 9}));
    EXPECT_EQ(dir.Names().size(), 6u); // no temporary file left

    // A write failing half way leaves the old file.
    const auto saved = test::TempDir::Read(path);
    EXPECT_FALSE(WriteFileSafely(
        path,
        [](int fd) -> std::optional<std::string> {
            return ::write(fd, "half", 4) == 4 ? "No space left on device" : "";
        },
        failure));
    EXPECT_EQ(failure.Message("Cannot save file %1: %2.", "a.tal"),
              "Cannot save file a.tal: No space left on device.");
    EXPECT_EQ(test::TempDir::Read(path), saved);
    EXPECT_EQ(dir.Names().size(), 6u);
}

// The target may change while the content is written: a file made read-only
// or replaced by a folder meanwhile is refused at the rename, and stays.
TEST(SafeSave, TargetIsCheckedAgainAfterWriting) {
    test::TempDir dir;
    const auto path = dir.Write("a.tal", {1, 2});
    const std::pair<std::function<void()>, const char*> changes[] = {
        {[&] { ::chmod(path.c_str(), 0444); }, "%1 is read-only."},
        {[&] {
             std::filesystem::remove(path);
             std::filesystem::create_directory(path);
         },
         "%1 is not a regular file."}};
    for (const auto& [changeTarget, message] : changes) {
        const std::function<void()>& change = changeTarget;
        std::filesystem::remove_all(path);
        dir.Write("a.tal", {1, 2});
        SaveFailure failure;
        EXPECT_FALSE(WriteFileSafely(
            path,
            [&](int fd) -> std::optional<std::string> {
                change();
                return ::write(fd, "new", 3) == 3 ? std::nullopt
                                                  : std::optional<std::string>("short");
            },
            failure));
        EXPECT_EQ(failure.Message("%2", "a"), FormatMessage(message, "a"));
        EXPECT_EQ(dir.Names().size(), 1u);
    }
}

// A save killed while writing leaves nothing: the content has no name in the
// folder until it is complete. Temporaries of the target left by a killed
// program go at the next save; others' files, and those of a live program,
// stay.
TEST(SafeSave, KilledSavesLeaveNothingBehindForLong) {
    test::TempDir dir;
    const auto path = dir.Write("out.tal", {1});
    const std::string live = ".out.tal." + std::to_string(::getpid()) + ".7.tmp";
    const std::vector<std::string> kept = {"out.tal", live, ".other.tal.999999999.1.tmp",
                                           ".out.tal.x.1.tmp", "out.tal.999999999.1.tmp"};
    for (const std::string& name : kept)
        dir.Write(name, {2});
    dir.Write(".out.tal.999999999.4002602556.tmp", {3}); // no such process
    std::vector<std::string> whileWriting;
    SaveFailure failure;
    ASSERT_TRUE(WriteFileSafely(
        path,
        [&](int fd) -> std::optional<std::string> {
            whileWriting = dir.Names();
            return ::write(fd, "new", 3) == 3 ? std::nullopt : std::optional<std::string>("short");
        },
        failure))
        << failure.reason;
    std::ranges::sort(whileWriting);
    auto expected = kept;
    std::ranges::sort(expected);
    EXPECT_EQ(whileWriting, expected);
    auto after = dir.Names();
    std::ranges::sort(after);
    EXPECT_EQ(after, expected);
    EXPECT_EQ(test::TempDir::Read(path), (std::vector<std::uint8_t>{'n', 'e', 'w'}));
}

} // namespace
} // namespace lorvanta
