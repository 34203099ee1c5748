// The renderer: what an edit renders again, failures, and the audition (the
// random Taals of VirtualImageTest check the slots and images byte for byte).

#include "AudioTestSupport.h"

#include "audio/BolAudition.h"
#include "audio/TaalRenderer.h"

#include <gtest/gtest.h>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

class Renderer : public ::testing::Test {
protected:
    void Load(const std::vector<BolSpec>& specs) {
        FillTaal(taal, specs);
        ASSERT_EQ(renderer.InitialUpdate(), 0u);
    }
    // Renders since the last call.
    std::size_t Renders() {
        const std::size_t count = renderer.RenderCount() - m_counted;
        m_counted = renderer.RenderCount();
        return count;
    }

    CTaal taal;
    FaultyBank bank; // fails nothing until told to
    RecordingMessageSink sink;
    CTaalRenderer renderer{taal, bank, sink};
    std::size_t m_counted = 0;
};

} // namespace

TEST_F(Renderer, TheCeilingDecidesWhatIsRenderedAgain) {
    Load({{1.0f, 12, 3, 2.0f, 2.0f}, {1.0f, 7, 0}, {1.0f, 14, 1}});
    ASSERT_EQ(renderer.EmphasisCeiling(), 4.0f);
    Renders();

    taal.BolAt(1)->pitch.emphasis = 4.0f; // up to the ceiling: that bol only
    ASSERT_EQ(renderer.ApplyBolEdit(1), 0u);
    EXPECT_EQ(Renders(), 1u);
    taal.BolAt(2)->bass.emphasis = 5.0f; // above it: every bol
    ASSERT_EQ(renderer.ApplyBolEdit(2), 0u);
    EXPECT_EQ(Renders(), 3u);
    EXPECT_EQ(renderer.EmphasisCeiling(), 5.0f);

    // A quiet new bol, at the head or the tail: itself only, in its place.
    taal.Insert(0, MakeBol({0.5f, 20}));
    ASSERT_EQ(renderer.InsertBolView(0), 0u);
    taal.Insert(-1, MakeBol({0.25f, 20}));
    ASSERT_EQ(renderer.InsertBolView(-1), 0u);
    EXPECT_EQ(Renders(), 2u);
    ASSERT_EQ(renderer.Cells().size(), 5u);
    EXPECT_EQ(renderer.Cells()[0].sampleCount, 33075u);
    EXPECT_EQ(renderer.Cells()[2].sampleCount, 66150u);

    // Removing a quiet bol renders nothing; removing the loudest, everything.
    taal.Remove(2);
    std::optional<BolCell> removed = renderer.RemoveBolView(2);
    ASSERT_TRUE(removed.has_value());
    EXPECT_EQ(Renders(), 0u);
    taal.Remove(3);
    renderer.RemoveBolView(3);
    EXPECT_EQ(Renders(), 3u);
    EXPECT_EQ(renderer.EmphasisCeiling(), 4.0f);

    // A cell coming back (undo) keeps its block and renders nothing.
    taal.Insert(0, MakeBol({0.5f, 20}));
    ASSERT_EQ(renderer.InsertBolView(0, removed), 0u);
    EXPECT_EQ(Renders(), 0u);
    EXPECT_EQ(renderer.Cells()[1].block, removed->block);
}

TEST_F(Renderer, AFailedBolIsSilentAndTheLastBolsStatusIsShown) {
    FillTaal(taal, {{1.0f, 7}, {1.0f, 12}});
    bank.failing = FaultyBank::Step::Find;
    bank.resource = LookupSampleResource(12);
    EXPECT_EQ(renderer.InitialUpdate(), 8u);
    EXPECT_EQ(Texts(sink), (std::vector<std::string>{"Error 0x716: Cannot find sound pitch 12",
                                                     "Cannot load bol Bol 1 into memory.",
                                                     "Error 0x8 occured while loading Taal"}));
    EXPECT_EQ(renderer.Cells()[1].block, nullptr);
    ASSERT_EQ(renderer.BuildTaalImage(), 0u);
    std::vector<unsigned char> image(static_cast<std::size_t>(renderer.ImageSize()));
    renderer.Image().CopyBytes(0, image);
    EXPECT_TRUE(std::all_of(image.begin() + 44 + 2 * 13230, image.end(), [](int b) { return !b; }));
}

TEST(Audition, LevelIsLoweredOnlyAboveZeroDecibelsAndAFailureReleasesTheBuffer) {
    FaultyBank bank;
    RecordingMessageSink sink;
    CBolAudition audition(bank, sink);
    // Pitch and bass emphases, and how far both are lowered.
    for (const auto& [pitch, bass, lowered] :
         {std::tuple(-3.0f, -3.0f, 0.0f), {3.0f, 3.0f, 3.0f}, {5.0f, -1.0f, 2.0f}}) {
        ASSERT_EQ(audition.Render(*MakeBol({7.5f, 12, 3, pitch, bass})), 0u);
        const auto image = audition.Image();
        ASSERT_EQ(image.size(), 88244u); // two seconds, whatever the duration
        std::vector<std::int16_t> block(44100);
        MakeBol({1.0f, 12, 3, pitch - lowered, bass - lowered})
            ->RenderInto(block.data(), 44100, bank, sink);
        EXPECT_EQ(SamplesOf(image.subspan(44)), block) << pitch << " " << bass;
    }
    bank.failing = FaultyBank::Step::Load;
    bank.resource = LookupSampleResource(3);
    EXPECT_EQ(audition.Render(*MakeBol({1.0f, 12, 3})), 9u);
    EXPECT_FALSE(audition.HasBuffer());
    EXPECT_TRUE(audition.Image().empty());
}
