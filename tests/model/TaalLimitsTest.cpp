// Every edit keeps a Taal within what the reader accepts: what would leave it is
// refused whole; what is made reads back with result 0 and undoes byte for byte.
#include "model/TaalLimits.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "notation/Notation.h"
#include "persistence/TaalFile.h"
#include "persistence/TaalRecords.h"
#include "session/TaalEditor.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace lorvanta {
namespace {

// The editor keeps the limits the reader checks.
static_assert(limits::kMaxBols == kMaxTaalCount && limits::kMaxBeats == kMaxTaalTotal &&
              limits::kMinBolBeats == kMinBolDuration && limits::kMaxBolBeats == kMaxBolDuration);

struct Editing {
    // The bols appended without renumbering bol by bol.
    Editing(int bols, float beats) {
        for (int i = 0; i < bols; ++i)
            doc.Taal().Append(std::make_unique<CBol2>("Silence", i, beats));
        doc.SetEmpty(bols == 0);
        editor.Reset();
    }
    CLorvantaDoc doc;
    RecordingMessageSink sink;
    MemoryClipboard clip;
    CTaalEditor editor{doc, sink, &clip};
};

TEST(TaalLimits, EditsThatWouldLeaveThemAreRefusedWhole) {
    struct Case {
        const char* what;
        int bols;
        float beats;
        std::function<LimitStatus(CTaalEditor&)> edit;
        LimitStatus status;
    };
    const Case cases[] = {
        {"insert, 50,000 bols", 50000, 1.0f, [](CTaalEditor& e) { return e.Insert(); },
         LimitStatus::TaalTooLarge},
        {"paste, 30,000 bols twice", 30000, 1.0f,
         [](CTaalEditor& e) { return e.SelectAll(), e.Copy(), e.Paste(); },
         LimitStatus::TaalTooLarge},
        {"merge a bol of 12 beats", 3, 1.0f,
         [](CTaalEditor& e) {
             return e.InsertBols({std::make_unique<CBol2>("Na", 0, 12.0f).get()});
         },
         LimitStatus::BolDurationOutOfRange},
        {"expand 10x to 100", 2, 10.0f,
         [](CTaalEditor& e) { return e.SelectAll(), e.ExpandSelected(10.0f); },
         LimitStatus::BolDurationOutOfRange},
        {"bol apply, 10.5 beats", 2, 1.0f,
         [](CTaalEditor& e) { return e.Click(0, {}), e.ApplyBolProperties(CBol2("Na", 0, 10.5f)); },
         LimitStatus::BolDurationOutOfRange},
        {"notation, 50,001 bols", 2, 1.0f,
         [](CTaalEditor& e) { return e.ReplaceTaal(Editing(50001, 1.0f).doc.Taal()); },
         LimitStatus::TaalTooLarge},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Editing f(c.bols, c.beats);
        const std::vector<std::uint8_t> before = WriteTaalDocument(f.doc);
        EXPECT_EQ(c.edit(f.editor), c.status);
        EXPECT_EQ(WriteTaalDocument(f.doc), before);
        EXPECT_FALSE(f.editor.CanUndo() || f.doc.IsModified());
    }
}

// Random notation: a few bols of any duration and emphasis, now and then
// thousands of them near the limits.
std::string RandomNotation(std::mt19937& random) {
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const char* names[] = {"Na", "Dha: Open Ge", "Tin", "xyz", ""};
    const char* durations[] = {"0.5", "10", "10.5", "0", "0.001", "0.0011", "0.125", "abc", "3.3"};
    std::string text = pick(2) ? "Tabla: " : "";
    const int big[] = {9999, 10000, 10001, 49999, 50001};
    const int count = pick(8) == 0 ? big[pick(5)] : 1 + pick(12);
    const bool heavy = count > 12 && pick(2) == 0; // ten beats each
    for (int i = 0; i < count; ++i) {
        text += i ? " | " : "";
        text += names[pick(5)];
        if (heavy && i == 0)
            text += " [10]";
        else if (!heavy && pick(3) == 0)
            text += std::string(" [") + durations[pick(9)] + "]";
        text += std::string(static_cast<std::size_t>(pick(4) == 0 ? pick(12) : 0), '+');
    }
    return text;
}

// Each refusal is a warning (their texts: CliCommands).
TEST(TaalLimits, EachRefusalIsAWarning) {
    EXPECT_FALSE(LimitMessage(LimitStatus::Ok).has_value());
    for (const auto status : {LimitStatus::TaalTooLarge, LimitStatus::BolDurationOutOfRange})
        EXPECT_EQ(LimitMessage(status).value_or(UserMessage{}).kind, MessageKind::Warning);
}

TEST(TaalLimits, WhatEditsAndNotationMakeReadsBackWithResultZero) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 random(seed);
        const auto pick = [&](int n) {
            return static_cast<int>(random() % static_cast<unsigned>(n));
        };
        // Most scripts start small; some near the count or the length limit.
        const int start = seed % 10 == 0 ? 49990 : seed % 10 == 1 ? 9990 : 1 + pick(6);
        Editing f(start, seed % 10 == 1 ? 10.0f : 1.0f);
        CTaalEditor& e = f.editor;
        const std::vector<std::uint8_t> original = WriteTaalDocument(f.doc);
        const float factors[] = {0.5f, 2.0f, 10.0f, 0.1f, 3.7f, 0.25f};
        const float lengths[] = {0.0f, 0.0005f, 0.001f, 0.0011f, 1.0f, 9.99f, 10.0f, 10.5f};
        const std::vector<std::function<void()>> commands = {
            [&] {
                e.Click(pick(f.doc.Taal().Count() + 1) - 1, {false, pick(2) == 0});
            },
            [&] { e.SelectAll(); },
            [&] { e.Insert(); },
            [&] { e.Append(); },
            [&] { e.Delete(); },
            [&] { e.Cut(); },
            [&] { e.Copy(), e.Paste(); },
            [&] { pick(4) == 0 ? e.ClearAll() : e.KeyRight(true); },
            [&] { e.SetTaalProperties("T" + std::to_string(pick(3)), 60.0f + pick(3)); },
            [&] { e.CommitName("N" + std::to_string(pick(3))); },
            [&] { e.ExpandSelected(factors[pick(6)]); },
            [&] {
                if (const CBol2* bol = e.GetFirstSelectedBol()) {
                    CBol2 edited = *bol;
                    edited.duration = lengths[pick(8)];
                    edited.pitch.emphasis = static_cast<float>(pick(7) - 3);
                    e.ApplyBolProperties(edited);
                }
            },
            [&] {
                CTaal parsed;
                if (ParseTaalTextStatus(RandomNotation(random), parsed).status ==
                    NotationStatus::Ok)
                    e.ReplaceTaal(parsed);
            },
            [&] { e.Undo(); },
            [&] { e.Redo(); },
        };
        for (int step = 0; step < (start > 1000 ? 12 : 40); ++step) {
            commands[static_cast<std::size_t>(pick(static_cast<int>(commands.size())))]();
            if (start > 1000 && step % 4 != 3)
                continue; // large Taals are read back now and then
            CLorvantaDoc read;
            const ReadOutcome outcome = ReadTaalDocument(WriteTaalDocument(f.doc), "/l.tal", read);
            ASSERT_EQ(outcome.result, ReadResult::Ok) << "seed " << seed << " step " << step;
            ASSERT_TRUE(outcome.valid && !outcome.structuralError);
            ASSERT_EQ(read.Taal().Count(), f.doc.Taal().Count());
        }
        // Undo all gives back the original bytes, redo all the edited ones.
        const std::vector<std::uint8_t> edited = WriteTaalDocument(f.doc);
        const std::size_t steps = e.Lists().UndoList().size();
        while (e.CanUndo())
            e.Undo();
        EXPECT_EQ(WriteTaalDocument(f.doc), original) << "seed " << seed;
        for (std::size_t i = 0; i < steps; ++i)
            e.Redo();
        EXPECT_EQ(WriteTaalDocument(f.doc), edited) << "seed " << seed;
    }
}

} // namespace
} // namespace lorvanta
