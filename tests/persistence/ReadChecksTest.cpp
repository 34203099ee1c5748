// The range checks of the reader, its repairs, result codes and the messages
// shown after reading.
#include "persistence/TaalBytes.h"
#include "persistence/TaalFile.h"
#include "persistence/TempDir.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

namespace lorvanta {
namespace {

using test::Bytes;
using test::OneBolFile;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
const std::string kPath = "/taals/check.tal";

struct Read {
    ReadOutcome outcome;
    CLorvantaDoc doc;
    std::optional<UserMessage> message;
};

std::unique_ptr<Read> ReadFile(const std::vector<std::uint8_t>& bytes) {
    auto read = std::make_unique<Read>();
    read->outcome = ReadTaalDocument(bytes, kPath, read->doc);
    EXPECT_FALSE(read->outcome.structuralError) << read->outcome.errorDetail;
    read->message = PostReadMessage(read->outcome, kPath);
    return read;
}

const std::string kErrorText =
    "Error 38 occurred while reading file /taals/check.tal. Invalid Lorvanta file.";
const std::string kRepairText =
    "Lorvanta encountered error 38 while reading file /taals/check.tal, but tried to repair the "
    "file. If the Taal plays properly, please save it before closing.";

void ExpectCheckFailed(const Read& read) {
    EXPECT_EQ(read.outcome.result, 38u);
    EXPECT_FALSE(read.outcome.valid);
    EXPECT_FALSE(read.outcome.repaired);
    ASSERT_TRUE(read.message.has_value());
    EXPECT_EQ(read.message->kind, MessageKind::Error);
    EXPECT_EQ(read.message->text, kErrorText);
}

void ExpectRepaired(const Read& read) {
    EXPECT_EQ(read.outcome.result, 38u);
    EXPECT_TRUE(read.outcome.repaired);
    ASSERT_TRUE(read.message.has_value());
    EXPECT_EQ(read.message->kind, MessageKind::Warning);
    EXPECT_EQ(read.message->text, kRepairText);
}

void ExpectClean(const Read& read) {
    EXPECT_EQ(read.outcome.result, 0u);
    EXPECT_TRUE(read.outcome.valid);
    EXPECT_FALSE(read.outcome.repaired);
    EXPECT_FALSE(read.message.has_value());
}

const CBol2& FirstBol(const Read& read) {
    return *read.doc.Taal().BolAt(0);
}

TEST(BolChecks, OutOfRangeValuesFailAndStayAsRead) {
    struct Case {
        std::uint32_t index;
        float duration;
        float reserved;
    };
    const Case failing[] = {{50001, 1.0f, 0.0f}, {0xFFFFFFFF, 1.0f, 0.0f}, {0, 12.0f, 0.0f},
                            {0, 0.0009f, 0.0f},  {0, -1.0f, 0.0f},         {0, 1.0f, 6.5f},
                            {0, 1.0f, -6.5f},    {0, 1.0f, kInf}};
    for (const Case& c : failing) {
        SCOPED_TRACE(testing::Message() << c.index << " " << c.duration << " " << c.reserved);
        const auto read = ReadFile(OneBolFile(Bytes().Bol("X", c.index, c.duration, c.reserved)));
        ExpectCheckFailed(*read);
        EXPECT_EQ(FirstBol(*read).index, c.index);
        EXPECT_EQ(FirstBol(*read).duration, c.duration);
        EXPECT_EQ(FirstBol(*read).reserved, c.reserved);
    }
}

TEST(BolChecks, BoundariesPass) {
    for (const float duration : {0.001f, 10.0f})
        ExpectClean(*ReadFile(OneBolFile(Bytes().Bol("X", 50000, duration, 6.0f), duration)));
    ExpectClean(*ReadFile(OneBolFile(Bytes().Bol("X", 0, 1.0f, -6.0f))));
}

TEST(BolChecks, IndexIsTakenAsStored) {
    const auto read = ReadFile(OneBolFile(Bytes().Bol("X", 7, 1.0f)));
    ExpectClean(*read);
    EXPECT_EQ(FirstBol(*read).index, 7u);
}

TEST(BolChecks, DurationThatIsNoNumberBecomesOneBeat) {
    for (const float duration : {kNaN, kInf, -kInf}) {
        const auto read = ReadFile(OneBolFile(Bytes().Bol("X", 0, duration)));
        ExpectCheckFailed(*read);
        EXPECT_EQ(FirstBol(*read).duration, 1.0f);
    }
}

TEST(BolChecks, ReservedValueThatIsNoNumberFailsAndStays) {
    const auto read = ReadFile(OneBolFile(Bytes().Bol("X", 0, 1.0f, kNaN)));
    ExpectCheckFailed(*read);
    EXPECT_TRUE(std::isnan(FirstBol(*read).reserved));
}

Bytes BolWithSounds(const Bytes& bass, const Bytes& pitch) {
    Bytes bol;
    bol.Str("B").U32(0).F32(1.0f).F32(0.0f).Append(bass.Data()).Append(pitch.Data());
    return bol;
}

TEST(SoundRepairs, EmphasisOutOfRangeSilencesTheSound) {
    for (const float emphasis : {25.0f, 20.5f, -20.5f, kInf, -kInf, kNaN}) {
        SCOPED_TRACE(emphasis);
        const auto read = ReadFile(OneBolFile(
            BolWithSounds(Bytes().Sound("Open Ge", 3, 1, emphasis), Bytes().Sound("Na", 12))));
        ExpectCheckFailed(*read); // an error box: this repair does not count as one
        const CSound& bass = FirstBol(*read).bass;
        EXPECT_EQ(bass.name, "Silence");
        EXPECT_EQ(bass.soundId, 0u);
        EXPECT_EQ(bass.instrument, Tabla);
        EXPECT_EQ(bass.emphasis, 0.0f);
        EXPECT_EQ(FirstBol(*read).pitch.name, "Na");
    }
}

TEST(SoundRepairs, EmphasisAtTheLimitsPasses) {
    const auto read = ReadFile(OneBolFile(
        BolWithSounds(Bytes().Sound("Open Ge", 3, 1, 20.0f), Bytes().Sound("Na", 12, 0, -20.0f))));
    ExpectClean(*read);
    EXPECT_EQ(FirstBol(*read).bass.emphasis, 20.0f);
    EXPECT_EQ(FirstBol(*read).pitch.emphasis, -20.0f);
}

TEST(SoundRepairs, UnknownSoundIdBecomesSilenceOnTabla) {
    for (const std::uint32_t id : {30u, 31u, 0xFFFFFFFFu}) {
        const auto read = ReadFile(
            OneBolFile(BolWithSounds(Bytes().Sound("Silence"), Bytes().Sound("Odd", id, 1, 3.0f))));
        ExpectRepaired(*read);
        EXPECT_FALSE(read->outcome.valid);
        const CSound& pitch = FirstBol(*read).pitch;
        EXPECT_EQ(pitch.soundId, 0u);
        EXPECT_EQ(pitch.instrument, Tabla);
        EXPECT_EQ(pitch.name, "Odd");
        EXPECT_EQ(pitch.emphasis, 3.0f);
    }
    ExpectClean(*ReadFile(OneBolFile(BolWithSounds(Bytes().Sound("Dhin", 29), Bytes().Sound()))));
}

TEST(SoundRepairs, UnknownInstrumentBecomesTablaAndKeepsTheFileValid) {
    const auto read = ReadFile(
        OneBolFile(BolWithSounds(Bytes().Sound("Silence", 0, 2), Bytes().Sound("Na", 12, 1))));
    ExpectRepaired(*read);
    EXPECT_TRUE(read->outcome.valid);
    EXPECT_EQ(FirstBol(*read).bass.instrument, Tabla);
    EXPECT_EQ(FirstBol(*read).pitch.instrument, Pakhawaj);
}

TEST(SoundRepairs, RepairWarningWinsOverAFailedCheck) {
    // Duration out of range (error) and an unknown id (repair): the warning shows.
    Bytes bol;
    bol.Str("B").U32(0).F32(12.0f).F32(0.0f).Sound().Sound("x", 40);
    ExpectRepaired(*ReadFile(OneBolFile(bol, 12.0f)));
}

TEST(TaalChecks, CountOrTotalOutOfRangeGivesAnEmptyInvalidTaal) {
    struct Case {
        std::int32_t count;
        float total;
    };
    for (const Case c :
         {Case{50001, 1.0f}, Case{INT32_MAX, 1.0f}, Case{1, 100001.0f}, Case{1, kInf}}) {
        // Nothing after the total is read, so the list may be missing.
        const auto file = Bytes().Header().Params().Str("Big").I32(c.count).F32(c.total);
        const auto read = ReadFile(file);
        ExpectCheckFailed(*read);
        EXPECT_EQ(read->doc.Taal().Name(), "Invalid Taal");
        EXPECT_EQ(read->doc.Taal().Count(), 0);
        EXPECT_EQ(read->doc.Taal().Total(), 0.0f);
        EXPECT_TRUE(read->doc.IsEmpty());
    }
}

TEST(TaalChecks, LimitsPass) {
    Bytes file;
    file.Header().Params().TaalHead("Edge", 1, 100000.0f, 1).ClassTag().Bol();
    const auto read = ReadFile(file);
    ExpectClean(*read);
    EXPECT_EQ(read->doc.Taal().Total(), 100000.0f); // the stated length is kept
}

TEST(TaalChecks, CountDisagreeingWithTheListTakesTheList) {
    for (const std::int32_t count : {-1, 0, 2, 50000}) {
        Bytes file;
        file.Header().Params().TaalHead("T", count, 1.0f, 1).ClassTag().Bol();
        const auto read = ReadFile(file);
        ExpectCheckFailed(*read);
        EXPECT_EQ(read->doc.Taal().Count(), 1);
        EXPECT_FALSE(read->doc.IsEmpty());
    }
}

TEST(TaalChecks, TotalThatIsNoNumberBecomesTheSumOfDurations) {
    for (const float total : {kNaN, -kInf}) {
        Bytes file;
        file.Header().Params().TaalHead("T", 2, total, 2).ClassTag().Bol("A", 0, 1.5f);
        file.U16(0x8001).Bol("B", 1, 2.25f);
        const auto read = ReadFile(file);
        ExpectCheckFailed(*read);
        EXPECT_EQ(read->doc.Taal().Total(), 3.75f);
    }
}

TEST(TempoRule, TempoIsReadAsStoredAndReplacedOnOpen) {
    struct Case {
        float stored;
        bool replaced;
    };
    for (const Case c :
         {Case{10.0f, false}, Case{1000.0f, false}, Case{120.0f, false}, Case{9.99f, true},
          Case{1000.5f, true}, Case{-5.0f, true}, Case{kNaN, true}, Case{kInf, true}}) {
        SCOPED_TRACE(c.stored);
        Bytes file;
        file.Header().Params(c.stored).TaalHead("T", 0, 0.0f, 0);
        const auto read = ReadFile(file);
        ExpectClean(*read); // the tempo has no check of its own in the reader
        EXPECT_EQ(std::bit_cast<std::uint32_t>(read->doc.DefaultTempo()),
                  std::bit_cast<std::uint32_t>(c.stored));
        EXPECT_EQ(ApplyOpenedTempoRule(read->doc), c.replaced);
        if (c.replaced)
            EXPECT_EQ(std::bit_cast<std::uint32_t>(read->doc.DefaultTempo()), 0x42C7FFFFu);
        else
            EXPECT_EQ(read->doc.DefaultTempo(), c.stored);
    }
}

TEST(OpenTaalFile, ShowsTheMessageWithTheFullPathAndKeepsWhatWasRead) {
    test::TempDir dir;
    std::filesystem::create_directory(dir / "sub");
    dir.Write("bad.tal", OneBolFile(Bytes().Bol("Long", 0, 12.0f), 12.0f));
    CLorvantaDoc doc;
    RecordingMessageSink sink;
    const auto outcome = OpenTaalFile(doc, dir / "sub/../bad.tal", sink);
    const std::string full = (dir / "bad.tal").string();
    EXPECT_EQ(outcome.result, 38u);
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0].kind, MessageKind::Error);
    EXPECT_EQ(sink.Messages()[0].text,
              "Error 38 occurred while reading file " + full + ". Invalid Lorvanta file.");
    EXPECT_EQ(doc.Taal().BolAt(0)->duration, 12.0f);
    EXPECT_EQ(doc.PathName(), full);
    EXPECT_EQ(doc.Title(), "bad.tal");
    EXPECT_FALSE(doc.IsEmpty());
    EXPECT_FALSE(doc.IsModified());
}

TEST(OpenTaalFile, CleanFileShowsNothing) {
    test::TempDir dir;
    dir.Write("good.tal", OneBolFile(Bytes().Bol()));
    CLorvantaDoc doc;
    RecordingMessageSink sink;
    EXPECT_EQ(OpenTaalFile(doc, dir / "good.tal", sink).result, 0u);
    EXPECT_TRUE(sink.Messages().empty());
}

} // namespace
} // namespace lorvanta
