// The embedded stroke recordings: format and levels, and that the generator is
// deterministic and writes what is compiled in (so any change to the
// generator's sound shows up here).

#include "audio/StrokeData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace lorvanta {
namespace {

constexpr std::array<std::size_t, kEmbeddedWaveCount> kFrames{
    10,    36095, 12831, 66786, 4231,  16863, 40576, 6016,  4252, 5919,
    7280,  3535,  50815, 40659, 41822, 3328,  3554,  3912,  2927, 3247,
    54529, 474,   7488,  5687,  5774,  3247,  56480, 70826, 7198, 43091};

bool IsSoft(int id) {
    return id == 17 || id == 21 || id == 27 || id == 28;
}

std::uint32_t U32(const unsigned char* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t U16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::vector<std::int16_t> Samples(int id) {
    const EmbeddedWave& wave = EmbeddedWaves()[static_cast<std::size_t>(id)];
    std::vector<std::int16_t> samples((wave.size - 44) / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(U16(wave.bytes + 44 + 2 * i));
    return samples;
}

TEST(StrokeBank, EveryResourceIsACanonicalWavOfTheReferenceLength) {
    const auto waves = EmbeddedWaves();
    ASSERT_EQ(waves.size(), kEmbeddedWaveCount);
    for (int id = 0; id < static_cast<int>(kEmbeddedWaveCount); ++id) {
        SCOPED_TRACE(id);
        const EmbeddedWave& wave = waves[static_cast<std::size_t>(id)];
        EXPECT_EQ(wave.resourceId, id == 0 ? 131 : 132 + id);
        const std::uint32_t dataSize = static_cast<std::uint32_t>(2 * kFrames[id]);
        ASSERT_EQ(wave.size, 44 + dataSize);
        const unsigned char* p = wave.bytes;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), 4), "RIFF");
        EXPECT_EQ(U32(p + 4), 36 + dataSize);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(p + 8), 8), "WAVEfmt ");
        EXPECT_EQ(U32(p + 16), 16u);
        EXPECT_EQ(U16(p + 20), 1); // PCM
        EXPECT_EQ(U16(p + 22), 1); // mono
        EXPECT_EQ(U32(p + 24), 22050u);
        EXPECT_EQ(U32(p + 28), 44100u);
        EXPECT_EQ(U16(p + 32), 2);
        EXPECT_EQ(U16(p + 34), 16);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(p + 36), 4), "data");
        EXPECT_EQ(U32(p + 40), dataSize);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 2, 0u);
    }
    const auto silence = Samples(0);
    EXPECT_TRUE(std::all_of(silence.begin(), silence.end(), [](auto s) { return s == 0; }));
}

TEST(StrokeBank, LevelsEndsAndOffset) {
    for (int id = 1; id < static_cast<int>(kEmbeddedWaveCount); ++id) {
        SCOPED_TRACE(id);
        const std::vector<std::int16_t> x = Samples(id);
        int peak = 0;
        double sum = 0.0;
        for (std::int16_t s : x) {
            peak = std::max(peak, std::abs(static_cast<int>(s)));
            sum += s;
        }
        EXPECT_LE(peak, 16383);
        EXPECT_GE(peak, IsSoft(id) ? 5000 : 14000);
        EXPECT_EQ(x.front(), 0);
        EXPECT_EQ(x.back(), 0);
        const std::size_t tail = std::max<std::size_t>(32, x.size() / 100);
        for (std::size_t n = x.size() - tail; n < x.size(); ++n)
            ASSERT_LE(std::abs(static_cast<int>(x[n])), 16) << "frame " << n;
        EXPECT_LE(std::abs(sum / static_cast<double>(x.size())), 1.0);
    }
}

// The generator writes the same bytes on every run, and they are what the
// library carries.
TEST(StrokeGenerator, IsDeterministicAndMatchesTheEmbeddedData) {
    const std::filesystem::path base =
        std::filesystem::temp_directory_path() /
        ("lorvanta-strokegen-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::remove_all(base);
    auto run = [&](const std::string& dir) {
        const std::string command = std::string("\"") + LORVANTA_STROKEGEN + "\" --wav-dir \"" +
                                    (base / dir).string() + "\"";
        return std::system(command.c_str());
    };
    ASSERT_EQ(run("a"), 0);
    ASSERT_EQ(run("b"), 0);
    auto read = [](const std::filesystem::path& path) {
        std::ifstream file(path, std::ios::binary);
        return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), {});
    };
    for (int id = 0; id < static_cast<int>(kEmbeddedWaveCount); ++id) {
        SCOPED_TRACE(id);
        const std::string name = std::to_string(id) + ".wav";
        const std::vector<unsigned char> a = read(base / "a" / name);
        const EmbeddedWave& wave = EmbeddedWaves()[static_cast<std::size_t>(id)];
        EXPECT_EQ(a, read(base / "b" / name));
        EXPECT_EQ(a, std::vector<unsigned char>(wave.bytes, wave.bytes + wave.size));
    }
    std::filesystem::remove_all(base);

    const std::string bad = std::string("\"") + LORVANTA_STROKEGEN + "\" --bogus 2>/dev/null";
    EXPECT_NE(std::system(bad.c_str()), 0);
}

} // namespace
} // namespace lorvanta
