// Another kit while playing: the image is rebuilt from the new strokes at the
// same fraction of the cycle, and the ring plays on without a break.

#include "PlaybackTestSupport.h"

#include "audio/StrokeKit.h"

#include <algorithm>

using namespace lorvanta;
using namespace lorvanta::test;

using KitSwitchTest = PlaybackFixture;

TEST_F(KitSwitchTest, TheNewStrokesAreHeardFromTheSamePlace) {
    if (!HasBuiltInKit(BuiltInKit::Recorded))
        GTEST_SKIP() << "this build has one kit";
    ApplyKitChoice(bank, {BuiltInKit::Synthesised, {}}, sink);
    Open({1.0f, 0.5f, 0.5f, 1.0f});
    engine->OnAudioPlay();
    Step(150);
    const auto fraction = [this] {
        std::lock_guard lock(renderer->StreamLock());
        return static_cast<double>(renderer->Reader().Position()) /
               static_cast<double>(renderer->Reader().DataSize());
    };
    const double before = fraction();
    const auto old = Cycle();

    // What the grid does when the kit changes.
    ApplyKitChoice(bank, {BuiltInKit::Recorded, {}}, sink);
    renderer->RenderAllBols();
    engine->OnTaalEdited();
    EXPECT_NEAR(fraction(), before, 1e-4);
    const auto cycle = Cycle();
    ASSERT_EQ(cycle.size(), old.size());
    EXPECT_NE(cycle, old);

    // Playing goes on; once the ring has come round, it is the new cycle
    // from where the old one was.
    device->ClearCaptured();
    Step(60);
    EXPECT_TRUE(engine->IsPlaying());
    const auto heard = Heard();
    ASSERT_EQ(heard.size(), 60u * 220);
    const auto tail = std::vector<std::int16_t>(heard.end() - 20 * 220, heard.end());
    const auto start = static_cast<std::size_t>(before * static_cast<double>(cycle.size())) +
                       (heard.size() - tail.size());
    bool found = false;
    // The ring's lead (what was queued from the old image) shifts the start
    // by at most the ring's length.
    for (std::size_t lead = 0; lead <= 16 * 220 && !found; ++lead)
        found = Looped(cycle, start + lead, tail.size()) == tail ||
                (start >= lead && Looped(cycle, start - lead, tail.size()) == tail);
    EXPECT_TRUE(found);
    EXPECT_TRUE(sink.Messages().empty());
}
