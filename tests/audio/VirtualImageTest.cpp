// The image the renderer hands out, through the reader and through Save
// Sound's byte copy, is byte for byte the image built the literal way: whole
// blocks of 6 seconds per beat, the slots copied out one after the other.

#include "AudioTestSupport.h"

#include "audio/TaalRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <ranges>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

float Ceiling(const CTaal& taal) {
    return std::ranges::max(taal.Bols() | std::views::transform([](const auto& bol) {
                                return bol->pitch.emphasis + bol->bass.emphasis;
                            }));
}

// A bol block exactly as the program makes it: count samples for 6 seconds per
// beat at the rate, cleared, then both sounds mixed at their emphases lowered
// by half the ceiling.
inline std::vector<std::int16_t> LiteralBlock(const CBol2& bol, float ceiling, std::uint32_t rate,
                                              const CSampleBank& bank, MessageSink& sink) {
    const std::uint32_t count = TruncateToU32(static_cast<float>(rate) * (bol.duration * 6.0f));
    std::vector<std::int16_t> block(count);
    CBol2 copy = bol;
    copy.bass.emphasis -= 0.5f * ceiling;
    copy.pitch.emphasis -= 0.5f * ceiling;
    if (copy.RenderInto(block.data(), count, bank, sink) != kStatusOk)
        block.clear();
    return block;
}

// The image made the literal way: header, then for each bol the first slot
// samples of its whole block, zeros where the slot passes the block's end.
inline std::vector<unsigned char> LiteralImage(const CTaal& taal,
                                               const std::vector<std::vector<std::int16_t>>& blocks,
                                               float secondsPerBeat, std::uint32_t rate) {
    std::vector<std::int16_t> samples;
    std::size_t i = 0;
    for (const auto& bol : taal.Bols()) {
        const std::uint32_t slot = TruncateToU32(
            static_cast<float>(bol->duration * secondsPerBeat) * static_cast<float>(rate));
        const auto& block = blocks[i++];
        for (std::uint32_t j = 0; j < slot; ++j)
            samples.push_back(j < block.size() ? block[j] : 0);
    }
    auto image = StrokeImage(samples);
    PutLe32(image, 24, rate);
    PutLe32(image, 28, 2 * rate);
    return image;
}

// The parameter is the seed; it also picks the stored-sample budget.
class VirtualImage : public ::testing::TestWithParam<std::uint32_t> {};

float Pick(std::mt19937& random, std::initializer_list<float> values) {
    return *(values.begin() + random() % values.size());
}

std::vector<BolSpec> RandomBols(std::mt19937& random) {
    std::uniform_int_distribution<int> count(1, 9);
    std::uniform_int_distribution<SoundId> sound(0, 31);
    std::uniform_real_distribution<float> emphasis(-20.0f, 20.0f);
    std::uniform_real_distribution<float> duration(0.001f, 2.0f);
    std::bernoulli_distribution often(0.6);
    std::vector<BolSpec> bols(static_cast<std::size_t>(count(random)));
    for (BolSpec& bol : bols) {
        bol.pitch = sound(random);
        bol.bass = sound(random);
        // Mostly the values people use, so that some bols share blocks.
        bol.duration = often(random) ? Pick(random, {0.25f, 0.5f, 1.0f, 2.0f}) : duration(random);
        bol.pitchEmphasis = often(random) ? Pick(random, {0.0f, -3.0f, 6.0f}) : emphasis(random);
        bol.bassEmphasis = often(random) ? 0.0f : emphasis(random);
    }
    return bols;
}

} // namespace

TEST_P(VirtualImage, EqualsTheLiteralImage) {
    std::mt19937 random(GetParam());
    std::uniform_real_distribution<double> logBpm(1.0, 3.0); // 10 to 1000 bpm
    std::uniform_int_distribution<int> semitones(-6, 6);
    std::uniform_int_distribution<std::size_t> chunk(1, 5000);

    CTaal taal;
    CSampleBank bank;
    RecordingMessageSink sink;
    // A replaced stroke takes part like the built-in ones.
    bank.ReplaceStroke(22, StrokeImage(std::vector<std::int16_t>(3000, -1234)));
    CTaalRenderer renderer(taal, bank, sink);
    // 0 makes every block compute its samples.
    const std::size_t budgets[] = {0, CTaalRenderer::kDefaultStoredSampleBudget, 100000};
    renderer.SetStoredSampleBudget(budgets[GetParam() % 3]);
    FillTaal(taal, RandomBols(random));

    // Rendered at one pitch, built at another: blocks are not rendered again
    // for a pitch change, so slots may outrun them.
    const float renderFactor = static_cast<float>(std::pow(2.0, semitones(random) / 12.0));
    renderer.SetPitch(renderFactor);
    ASSERT_EQ(renderer.InitialUpdate(), 0u);
    const std::uint32_t renderRate = renderer.PlaybackRate();
    std::vector<std::vector<std::int16_t>> blocks;
    for (const auto& bol : taal.Bols())
        blocks.push_back(LiteralBlock(*bol, Ceiling(taal), renderRate, bank, sink));

    // Some bols stretched afterwards, as Expand does, without rendering.
    std::bernoulli_distribution stretch(0.2);
    for (const auto& bol : taal.Bols())
        if (stretch(random))
            bol->duration *= 3.0f;

    const float buildFactor = static_cast<float>(std::pow(2.0, semitones(random) / 12.0));
    const float secondsPerBeat = static_cast<float>(60.0 / std::pow(10.0, logBpm(random)));
    renderer.SetPitch(buildFactor);
    renderer.SetTempo(secondsPerBeat);
    ASSERT_EQ(renderer.BuildTaalImage(), 0u);

    const auto literal = LiteralImage(taal, blocks, secondsPerBeat, renderer.PlaybackRate());
    ASSERT_EQ(renderer.ImageSize(), literal.size());
    EXPECT_TRUE(sink.Messages().empty());

    // Every byte, as Save Sound copies them.
    std::vector<unsigned char> whole(literal.size());
    ASSERT_EQ(renderer.Image().CopyBytes(0, whole), whole.size());
    ASSERT_EQ(whole, literal);

    // As playback reads them: odd chunk sizes from a random start, twice round
    // the cycle.
    const std::size_t dataSize = literal.size() - 44;
    if (dataSize == 0)
        return;
    std::lock_guard lock(renderer.StreamLock());
    CWaveReader& reader = renderer.Reader();
    std::uniform_int_distribution<std::size_t> start(0, dataSize - 1);
    std::size_t position = start(random);
    reader.Reset(position);
    std::vector<unsigned char> buffer(5000);
    for (std::size_t done = 0; done < 2 * dataSize;) {
        std::size_t read = 0;
        ASSERT_EQ(reader.Read(buffer.data(), chunk(random), &read), kSOk);
        ASSERT_TRUE(std::equal(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(read),
                               literal.begin() + 44 + static_cast<std::ptrdiff_t>(position)))
            << "at data byte " << position;
        position = (position + read) % dataSize;
        ASSERT_EQ(reader.Position(), position);
        done += read;
    }
}

// Seeds of each stored-sample budget (the seed modulo 3).
INSTANTIATE_TEST_SUITE_P(RandomTaals, VirtualImage, ::testing::Values(1u, 2u, 3u, 8u, 15u, 16u));
