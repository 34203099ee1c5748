// The Taal and the document: new documents, inserting and deleting bols, and
// the invariants those keep.
#include "model/LorvantaDoc.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>

namespace lorvanta {
namespace {

// count matches the list, total is the running sum in list order, and every
// index is its position.
void ExpectInvariants(const CLorvantaDoc& doc) {
    const CTaal& taal = doc.Taal();
    ASSERT_EQ(taal.Count(), static_cast<std::int32_t>(taal.Bols().size()));
    float sum = 0.0f;
    for (std::size_t i = 0; i < taal.Bols().size(); ++i) {
        sum += taal.Bols()[i]->duration;
        ASSERT_EQ(taal.Bols()[i]->index, i);
    }
    EXPECT_EQ(taal.Total(), sum);
    EXPECT_EQ(doc.IsEmpty(), taal.Count() == 0);
}

CBol2 Named(const std::string& name, float duration) {
    CBol2 bol;
    bol.name = name;
    bol.duration = duration;
    return bol;
}

void InsertNamed(CLorvantaDoc& doc, int after, const std::string& name, float duration) {
    const CBol2 bol = Named(name, duration);
    doc.InsertBol(after, &bol);
}

TEST(TaalDocument, NewDocument) {
    CLorvantaDoc doc;
    EXPECT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(doc.Taal().Name(), "New Taal");
    EXPECT_EQ(doc.Taal().Count(), 0);
    EXPECT_EQ(doc.Taal().Total(), 0.0f);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(doc.DefaultTempo()), 0x42C7FFFFu);
    EXPECT_EQ(doc.DefaultTempo(), 99.99999237060547f);
    EXPECT_TRUE(doc.IsEmpty());
    EXPECT_EQ(doc.Header().magic, 0xAAAA);
    EXPECT_EQ(doc.Header().version, 4);
}

TEST(TaalDocument, InsertIntoEmptyTaal) {
    CLorvantaDoc doc;
    int notified = 0;
    doc.SetTextChangedHandler([&] { ++notified; });
    doc.InsertBol(-1);
    ASSERT_EQ(doc.Taal().Count(), 1);
    const CBol2& bol = *doc.Taal().BolAt(0);
    EXPECT_EQ(bol.name, "Silence");
    EXPECT_EQ(bol.duration, 1.0f);
    EXPECT_EQ(bol.index, 0u);
    EXPECT_EQ(bol.pitch.name, "Silence");
    EXPECT_EQ(bol.pitch.soundId, 0u);
    EXPECT_EQ(bol.bass.name, "Silence");
    EXPECT_EQ(bol.bass.soundId, 0u);
    EXPECT_FALSE(doc.IsEmpty());
    EXPECT_EQ(doc.Taal().Total(), 1.0f);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(notified, 1);
}

TEST(TaalDocument, InsertInTheMiddleRenumbersTheRest) {
    CLorvantaDoc doc;
    for (int i = 0; i < 4; ++i)
        InsertNamed(doc, i - 1, "b" + std::to_string(i), 1.0f);
    InsertNamed(doc, 1, "new", 0.5f);
    EXPECT_EQ(doc.Taal().BolAt(2)->name, "new");
    EXPECT_EQ(doc.Taal().BolAt(2)->index, 2u);
    EXPECT_EQ(doc.Taal().BolAt(3)->name, "b2");
    EXPECT_EQ(doc.Taal().BolAt(3)->index, 3u);
    EXPECT_EQ(doc.Taal().BolAt(4)->index, 4u);
    EXPECT_EQ(doc.Taal().Total(), 4.5f);
}

TEST(TaalDocument, InsertPastTheEndAppends) {
    CLorvantaDoc doc;
    doc.InsertBol(-1);
    InsertNamed(doc, 40, "last", 2.0f);
    EXPECT_EQ(doc.Taal().BolAt(1)->name, "last");
    EXPECT_EQ(doc.Taal().BolAt(1)->index, 1u);
    ExpectInvariants(doc);
}

TEST(TaalDocument, InsertCopiesEverythingButTheIndex) {
    CBol2 source;
    source.name = "Dha";
    source.duration = 0.25f;
    source.reserved = 3.0f;
    source.index = 77;
    source.pitch = CSound("Na", SoundTable::Pitch, Pakhawaj);
    source.pitch.emphasis = -4.0f;
    source.bass = CSound("Open Ge", SoundTable::Bass, Tabla);
    CLorvantaDoc doc;
    doc.InsertBol(-1, &source);
    CBol2 expected = source;
    expected.index = 0;
    EXPECT_EQ(*doc.Taal().BolAt(0), expected);
}

TEST(TaalDocument, DeletingTheOnlyBolEmptiesTheTaal) {
    CLorvantaDoc doc;
    InsertNamed(doc, -1, "only", 2.0f);
    doc.SetModified(false);
    CBol2 out;
    EXPECT_TRUE(doc.DeleteBol(0, &out));
    EXPECT_EQ(out.name, "only");
    EXPECT_EQ(doc.Taal().Count(), 0);
    EXPECT_EQ(doc.Taal().Total(), 0.0f);
    EXPECT_TRUE(doc.IsEmpty());
    EXPECT_TRUE(doc.IsModified());
    EXPECT_FALSE(doc.DeleteBol(0));
}

TEST(TaalDocument, AssignLeavesExactlyTheCopies) {
    CTaal three("Three");
    for (int i = 0; i < 3; ++i) {
        auto bol = std::make_unique<CBol2>(Named("t" + std::to_string(i), 1.5f));
        bol->index = static_cast<std::uint32_t>(i);
        three.Append(std::move(bol));
    }
    CTaal five("Five");
    for (int i = 0; i < 5; ++i)
        five.Append(std::make_unique<CBol2>());
    five.Assign(three);
    EXPECT_EQ(five.Name(), "Three");
    ASSERT_EQ(five.Count(), 3);
    EXPECT_EQ(five.Total(), 4.5f);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(*five.BolAt(i), *three.BolAt(i));
        EXPECT_NE(five.BolAt(i), three.BolAt(i));
    }
}

TEST(TaalDocument, DeleteContentsKeepsTheName) {
    CLorvantaDoc doc;
    doc.InsertBol(-1);
    doc.Taal().SetName("Kept");
    doc.Params().defaultTempo = 60.0f;
    doc.Params().reserved[5] = 1;
    doc.Header().version = 3;
    doc.DeleteContents();
    EXPECT_EQ(doc.Taal().Name(), "Kept");
    EXPECT_EQ(doc.Taal().Count(), 0);
    EXPECT_TRUE(doc.IsEmpty());
    EXPECT_EQ(doc.Header().version, 4);
    EXPECT_EQ(doc.DefaultTempo(), DefaultTempo());
    EXPECT_EQ(doc.Params().reserved[5], 0);
    EXPECT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(doc.Taal().Name(), "New Taal");
}

TEST(TaalDocument, BolFromNameLooksUpBothTables) {
    const CBol2 bol("Ki", 2, 0.5f);
    EXPECT_EQ(bol.pitch.soundId, 7u);
    EXPECT_EQ(bol.bass.soundId, 7u);
    const CBol2 dha("Dha", 0, 1.0f);
    EXPECT_EQ(dha.pitch.soundId, 30u); // a bol name, not a sound name
    EXPECT_EQ(dha.bass.soundId, 30u);
}

TEST(TaalDocument, InvariantsHoldUnderRandomEdits) {
    std::mt19937 random(7);
    CLorvantaDoc doc;
    std::vector<std::string> expected; // the names, in order
    for (int step = 0; step < 3000; ++step) {
        const int count = doc.Taal().Count();
        if (count == 0 || random() % 5 < 3) {
            const int after = static_cast<int>(random() % (count + 3)) - 1;
            const std::string name = "b" + std::to_string(step);
            const float duration = 0.125f * static_cast<float>(1 + random() % 16);
            InsertNamed(doc, after, name, duration);
            const auto at = static_cast<std::size_t>(std::min(after + 1, count));
            expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(at), name);
        } else {
            const int position = static_cast<int>(random() % count);
            CBol2 out;
            ASSERT_TRUE(doc.DeleteBol(position, &out));
            EXPECT_EQ(out.name, expected[static_cast<std::size_t>(position)]);
            expected.erase(expected.begin() + position);
        }
        ASSERT_EQ(doc.Taal().Count(), static_cast<int>(expected.size()));
        if (step % 50 == 0 || doc.Taal().Count() < 3) {
            ExpectInvariants(doc);
            for (std::size_t i = 0; i < expected.size(); ++i)
                ASSERT_EQ(doc.Taal().BolAt(static_cast<int>(i))->name, expected[i]);
        }
    }
    ExpectInvariants(doc);
}

} // namespace
} // namespace lorvanta
