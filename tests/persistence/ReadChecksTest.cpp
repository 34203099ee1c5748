// The range checks of the reader, its repairs, result codes and the messages
// shown after reading.
#include "persistence/TaalBytes.h"
#include "persistence/TaalFile.h"

#include <gtest/gtest.h>

#include <bit>
#include <functional>
#include <limits>

namespace lorvanta {
namespace {

using test::Bytes;
using test::OneBolFile;

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

void Check(const Case& c, const std::function<std::string(const CTaal&)>& describe) {
    for (const auto& file : c.files) {
        SCOPED_TRACE(c.after);
        CLorvantaDoc doc;
        const ReadOutcome outcome = ReadTaalDocument(file, "/t.tal", doc);
        ASSERT_FALSE(outcome.structuralError) << outcome.errorDetail;
        const auto box = PostReadMessage(outcome, "/t.tal");
        EXPECT_EQ(std::to_string(outcome.result) + (outcome.valid ? "" : " invalid") +
                      (outcome.repaired ? " repaired" : "") +
                      (!box                              ? ""
                       : box->kind == MessageKind::Error ? " error"
                                                         : " warning"),
                  c.outcome);
        EXPECT_EQ(describe(doc.Taal()), c.after);
        EXPECT_EQ(doc.IsEmpty(), doc.Taal().Count() == 0);
    }
}

std::vector<std::uint8_t> Bol(std::uint32_t index, float duration, float reserved) {
    return OneBolFile(Bytes().Bol("X", index, duration, reserved));
}

std::vector<std::uint8_t> Sounds(const Bytes& bass, const Bytes& pitch, float duration = 1.0f) {
    return OneBolFile(Bytes().BolHead("B", 0, duration).Append(bass).Append(pitch));
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
    };
    for (const Case& c : cases)
        Check(c, [](const CTaal& taal) { return test::Describe(*taal.BolAt(0)); });
}

TEST(ReadChecks, TempoIsReadAsStoredAndReplacedOnOpen) {
    struct Case {
        float stored;
        bool replaced;
    };
    for (const Case c : {Case{10.0f, false}, Case{1000.0f, false}, Case{9.99f, true},
                         Case{1000.5f, true}, Case{kNaN, true}}) {
        SCOPED_TRACE(c.stored);
        CLorvantaDoc doc;
        const auto file = Bytes().Header().Params(c.stored).TaalHead("T", 0, 0.0f, 0);
        EXPECT_EQ(ReadTaalDocument(file, "/t.tal", doc).result, 0u); // no check of its own
        EXPECT_EQ(std::bit_cast<std::uint32_t>(doc.DefaultTempo()),
                  std::bit_cast<std::uint32_t>(c.stored));
        EXPECT_EQ(ApplyOpenedTempoRule(doc), c.replaced);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(doc.DefaultTempo()),
                  c.replaced ? 0x42C7FFFFu : std::bit_cast<std::uint32_t>(c.stored));
    }
}

} // namespace
} // namespace lorvanta
