// The sound buffer's contract: regions, refusals, notifications and underrun
// counting, driven by the hand-stepped virtual output.
#include "audio/output/OutputBuffer.h"
#include "audio/output/VirtualOutput.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace lorvanta {
namespace {

constexpr std::uint32_t kChunk = 440;
constexpr std::uint32_t kRing = 8 * kChunk;

BufferDesc RingDesc(std::uint32_t bytes = kRing) {
    BufferDesc desc;
    desc.flags = buffer_flags::kCtrlFrequency | buffer_flags::kCtrlPositionNotify |
                 buffer_flags::kCtrlVolume;
    desc.bytes = bytes;
    return desc;
}

// A locked region; the second piece only when asked for.
struct Region {
    HResult result;
    std::uint8_t* p1 = nullptr;
    std::uint8_t* p2 = nullptr;
    std::uint32_t n1 = 0, n2 = 0;
};
Region Lock(OutputBuffer& buffer, std::uint32_t offset, std::uint32_t bytes, bool two = true) {
    Region r{};
    r.result =
        buffer.Lock(offset, bytes, &r.p1, &r.n1, two ? &r.p2 : nullptr, two ? &r.n2 : nullptr);
    return r;
}

// Writes [offset, offset + bytes) as the engine does: lock, fill, unlock.
void Write(OutputBuffer& buffer, std::uint32_t offset, std::uint32_t bytes) {
    const Region r = Lock(buffer, offset, bytes);
    ASSERT_EQ(r.result, kHrOk);
    std::memset(r.p1, 1, r.n1);
    ASSERT_EQ(buffer.Unlock(r.p1, r.n1, r.p2, r.n2), kHrOk);
}

class OutputBufferTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(device.CreateBuffer(RingDesc(), ring), kHrOk); }

    VirtualOutputDevice device{{.clock = VirtualOutputDevice::Clock::Manual}};
    std::unique_ptr<OutputBuffer> ring;
    EventSet events;
};

TEST_F(OutputBufferTest, LocksAndBadRegionsAndCalls) {
    // A region crossing the end comes in two pieces.
    Region r = Lock(*ring, kRing - 100, 300);
    ASSERT_EQ(r.result, kHrOk);
    EXPECT_EQ(std::pair(r.n1, r.n2), std::pair(100u, 200u));
    EXPECT_EQ(Lock(*ring, 0, 2).result, kHrInvalidCall); // one lock at a time
    ASSERT_EQ(ring->Unlock(r.p1, r.n1, r.p2, r.n2), kHrOk);
    const std::pair<std::uint32_t, std::uint32_t> regions[] = {
        {kRing, 2}, {1, 2}, {0, 3}, {0, kRing + 2}, {0, 0}};
    for (const auto& [offset, bytes] : regions)
        EXPECT_EQ(Lock(*ring, offset, bytes, false).result, kHrInvalidArg)
            << offset << " " << bytes;
    EXPECT_EQ(ring->SetCurrentPosition(kRing), kHrInvalidArg);
    EXPECT_EQ(ring->SetFrequency(99), kHrInvalidArg);
    EXPECT_EQ(ring->SetVolume(1), kHrInvalidArg);
    EXPECT_EQ(ring->SetVolume(0), kHrOk);
}

TEST_F(OutputBufferTest, NotificationsSignalAndStaleChunksCountAsUnderruns) {
    std::array<NotifyPosition, 8> positions;
    for (std::uint32_t k = 0; k < 8; ++k)
        positions[k] = {(k + 1) * kChunk - 1, {&events, 0}};
    ASSERT_EQ(ring->SetNotificationPositions(positions), kHrOk);
    Write(*ring, 0, kRing);
    ASSERT_EQ(ring->Play(true), kHrOk);
    device.AdvanceFrames(219); // up to byte 437: short of the first position
    EXPECT_FALSE(events.TryTake(0));
    device.AdvanceFrames(1); // bytes 438 and 439: passes 439
    EXPECT_TRUE(events.TryTake(0));
    // Several passed before the waiter wakes: it wakes once, the count says all.
    device.AdvanceFrames(3 * 220);
    EXPECT_TRUE(events.TryTake(0));
    EXPECT_FALSE(events.TryTake(0));
    EXPECT_EQ(ring->NotificationsSignalled(), 4u);

    // A writer that keeps up: after each chunk, that chunk is written again.
    Write(*ring, 0, 4 * kChunk);
    std::uint32_t next = 4 * kChunk;
    for (int i = 0; i < 40; ++i) {
        device.AdvanceFrames(220);
        Write(*ring, next, kChunk);
        next = (next + kChunk) % kRing;
    }
    EXPECT_EQ(ring->Underruns(), 0u);
    // Nobody writes: the chunks written last round still play, then the chunk
    // the round began in, and from then on every chunk is stale.
    device.AdvanceFrames(kRing / 2);
    EXPECT_EQ(ring->Underruns(), 1u);
    device.AdvanceFrames(kRing / 2);
    EXPECT_EQ(ring->Underruns(), 9u);
}

} // namespace
} // namespace lorvanta
