// The sound buffer's contract (regions, refusals, notifications and underrun
// counting) on the hand-stepped virtual output, and the sound card backend's
// conversion of a buffer to the device's rate.
#include "audio/output/OutputBuffer.h"
#include "audio/output/VirtualOutput.h"
#include "audiodevice/BufferResampler.h"

#ifdef LORVANTA_COUNT_ALLOCATIONS
#include "../support/AllocationCounter.h"
#endif

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace lorvanta {
namespace {

constexpr std::uint32_t kChunk = 440;
constexpr std::uint32_t kRing = 8 * kChunk;
constexpr double kDeviceRate = 48000.0;

// A locked region, in one or two pieces.
struct Region {
    HResult result;
    std::uint8_t* p1 = nullptr;
    std::uint8_t* p2 = nullptr;
    std::uint32_t n1 = 0, n2 = 0;
};
Region Lock(OutputBuffer& buffer, std::uint32_t offset, std::uint32_t bytes) {
    Region r{};
    r.result = buffer.Lock(offset, bytes, &r.p1, &r.n1, &r.p2, &r.n2);
    return r;
}

// Writes [offset, offset + bytes) as the engine does: lock, fill, unlock.
void Write(
    OutputBuffer& buffer, std::uint32_t offset, std::uint32_t bytes,
    double (*sample)(std::uint32_t) = [](std::uint32_t) { return 257.0; }) {
    const Region r = Lock(buffer, offset, bytes);
    ASSERT_EQ(r.result, HResult::Ok);
    for (std::uint32_t i = 0; i < r.n1 / 2; ++i)
        reinterpret_cast<std::int16_t*>(r.p1)[i] = static_cast<std::int16_t>(sample(i));
    ASSERT_EQ(buffer.Unlock(r.p1, r.n1, r.p2, r.n2), HResult::Ok);
}

struct OutputBufferTest : ::testing::Test {
    std::unique_ptr<OutputBuffer> Create(std::uint32_t bytes, std::uint32_t flags) {
        BufferDesc desc;
        desc.flags = buffer_flags::kCtrlFrequency | flags;
        desc.bytes = bytes;
        std::unique_ptr<OutputBuffer> buffer;
        EXPECT_EQ(device.CreateBuffer(desc, buffer), HResult::Ok);
        return buffer;
    }

    VirtualOutputDevice device{{.clock = VirtualOutputDevice::Clock::Manual}};
    std::unique_ptr<OutputBuffer> ring =
        Create(kRing, buffer_flags::kCtrlPositionNotify | buffer_flags::kCtrlVolume);
    EventSet events;
};

TEST_F(OutputBufferTest, LocksAndBadRegionsAndCalls) {
    // A region crossing the end comes in two pieces.
    Region r = Lock(*ring, kRing - 100, 300);
    ASSERT_EQ(r.result, HResult::Ok);
    EXPECT_EQ(std::pair(r.n1, r.n2), std::pair(100u, 200u));
    EXPECT_EQ(Lock(*ring, 0, 2).result, HResult::InvalidCall); // one lock at a time
    ASSERT_EQ(ring->Unlock(r.p1, r.n1, r.p2, r.n2), HResult::Ok);
    const std::pair<std::uint32_t, std::uint32_t> regions[] = {
        {kRing, 2}, {1, 2}, {0, 3}, {0, kRing + 2}, {0, 0}};
    for (const auto& [offset, bytes] : regions)
        EXPECT_EQ(Lock(*ring, offset, bytes).result, HResult::InvalidArg) << offset << " " << bytes;
    EXPECT_EQ(ring->SetCurrentPosition(kRing), HResult::InvalidArg);
    EXPECT_EQ(ring->SetFrequency(99), HResult::InvalidArg);
    EXPECT_EQ(ring->SetVolume(1), HResult::InvalidArg);
    EXPECT_EQ(ring->SetVolume(0), HResult::Ok);
}

TEST_F(OutputBufferTest, NotificationsSignalAndStaleChunksCountAsUnderruns) {
    std::array<NotifyPosition, 8> positions;
    for (std::uint32_t k = 0; k < 8; ++k)
        positions[k] = {(k + 1) * kChunk - 1, {&events, 0}};
    ASSERT_EQ(ring->SetNotificationPositions(positions), HResult::Ok);
    Write(*ring, 0, kRing);
    ASSERT_EQ(ring->Play(true), HResult::Ok);
    device.AdvanceFrames(219); // up to byte 437: short of the first position
    EXPECT_FALSE(events.TryTake(0));
    device.AdvanceFrames(1); // bytes 438 and 439: passes 439
    EXPECT_TRUE(events.TryTake(0));
    device.AdvanceFrames(3 * 220);
    EXPECT_EQ(ring->NotificationsSignalled(), 4u);

    // A writer that keeps up: after each chunk, that chunk is written again.
    Write(*ring, 0, 4 * kChunk);
    for (std::uint32_t i = 0, next = 4 * kChunk; i < 40; ++i, next = (next + kChunk) % kRing) {
        device.AdvanceFrames(220);
        Write(*ring, next, kChunk);
    }
    EXPECT_EQ(ring->Underruns(), 0u);
    // Nobody writes: the chunks written last round still play, then the chunk
    // the round began in, and from then on every chunk is stale.
    device.AdvanceFrames(kRing / 2);
    EXPECT_EQ(ring->Underruns(), 1u);
    device.AdvanceFrames(kRing / 2);
    EXPECT_EQ(ring->Underruns(), 9u);
}

// `frames` device frames, mixed 256 at a time.
void Mix(BufferResampler& resampler, OutputBuffer& buffer, std::vector<float>& out,
         std::uint32_t frames) {
    const std::size_t start = out.size();
    out.resize(start + frames, 0.0f);
    for (std::uint32_t done = 0; done < frames; done += 256)
        resampler.MixInto(buffer, kDeviceRate, out.data() + start + done,
                          std::min(256u, frames - done), 1.0f);
}

int UpwardCrossings(const std::vector<float>& signal, std::size_t from, std::size_t to) {
    int crossings = 0;
    for (std::size_t i = from + 1; i < to; ++i)
        crossings += signal[i - 1] < 0.0f && signal[i] >= 0.0f ? 1 : 0;
    return crossings;
}

TEST_F(OutputBufferTest, TheResamplerTakesTheBuffersSamplesAtItsFrequencyWithoutAJump) {
    // A looping buffer holding a 441 Hz sine at 22050 samples per second: 100
    // periods of 50 samples.
    const auto buffer = Create(5000 * 2, 0);
    Write(*buffer, 0, 5000 * 2, [](std::uint32_t i) {
        return std::round(16000.0 * std::sin(2.0 * std::numbers::pi * i / 50.0));
    });
    ASSERT_EQ(buffer->Play(true), HResult::Ok);
    auto resampler = BufferResampler::Create();
    ASSERT_TRUE(resampler);
    std::vector<float> out;
    Mix(*resampler, *buffer, out, 2 * 48000);
    std::uint32_t write = 0;
    ASSERT_EQ(buffer->GetCurrentPosition(nullptr, &write), HResult::Ok);
    // Two seconds at 22050: the position went round the 5000-sample buffer
    // 8.82 times; what the converter holds comes on top.
    EXPECT_NEAR(write / 2 + 8 * 5000.0, 44100.0 + resampler->PendingFrames(), 2.0);
    EXPECT_LT(resampler->PendingFrames(), 200.0);
    EXPECT_NEAR(UpwardCrossings(out, 48000, 96000), 441, 1);

    ASSERT_EQ(buffer->SetFrequency(31183), HResult::Ok);
    Mix(*resampler, *buffer, out, 9600);
    // No step larger than the faster sine's steepest slope (with margin).
    const double slope =
        2.0 * std::numbers::pi * 441.0 * 31183.0 / 22050.0 * (16000.0 / 32768.0) / kDeviceRate;
    float largest = 0.0f;
    for (std::size_t i = 95000; i < 97200; ++i)
        largest = std::max(largest, std::fabs(out[i] - out[i - 1]));
    EXPECT_LT(largest, 1.2 * slope);
    // The first 100 ms after the change already has the new pitch: 62.4 periods.
    EXPECT_NEAR(UpwardCrossings(out, 96000, 96000 + 4800), 62, 1);

    // Converting never allocates, whatever the frequency.
#ifdef LORVANTA_COUNT_ALLOCATIONS
    const std::uint64_t before = test::CountedAllocations();
    test::ArmAllocationCounter(true);
#endif
    const std::uint32_t rates[] = {22050, 31183, 15591, 23361};
    for (int i = 0; i < 2000; ++i) {
        buffer->SetFrequency(rates[(i / 50) % 4]);
        if (i % 500 == 499)
            resampler->Reset();
        resampler->MixInto(*buffer, kDeviceRate, out.data(), 256, 1.0f);
    }
#ifdef LORVANTA_COUNT_ALLOCATIONS
    test::ArmAllocationCounter(false);
    EXPECT_EQ(test::CountedAllocations(), before);
#endif
}

} // namespace
} // namespace lorvanta
