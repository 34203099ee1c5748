// The sound buffer's contract: regions, cursors, looping, notifications,
// underrun counting and loss, driven by the hand-stepped virtual output.
#include "audio/output/OutputBuffer.h"
#include "audio/output/VirtualOutput.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <numeric>
#include <vector>

namespace lorvanta {
namespace {

constexpr std::uint32_t kChunk = 440;
constexpr std::uint32_t kRing = 8 * kChunk;

VirtualOutputDevice::Options Manual() {
    VirtualOutputDevice::Options options;
    options.clock = VirtualOutputDevice::Clock::Manual;
    options.capture = true;
    return options;
}

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

// Samples first, first + 1, ...; then more runs of that kind, {first, count}.
std::vector<std::int16_t>
Ramp(std::int16_t first, std::size_t count,
     std::initializer_list<std::pair<std::int16_t, std::size_t>> more = {}) {
    std::vector<std::int16_t> ramp(count);
    std::iota(ramp.begin(), ramp.end(), first);
    for (const auto& [start, n] : more) {
        const auto run = Ramp(start, n);
        ramp.insert(ramp.end(), run.begin(), run.end());
    }
    return ramp;
}

// Writes Ramp(first, bytes / 2) into [offset, offset + bytes).
void WriteRamp(OutputBuffer& buffer, std::uint32_t offset, std::uint32_t bytes,
               std::int16_t first) {
    const Region r = Lock(buffer, offset, bytes);
    ASSERT_EQ(r.result, kHrOk);
    const auto ramp = Ramp(first, bytes / 2);
    std::memcpy(r.p1, ramp.data(), r.n1);
    if (r.n2 != 0)
        std::memcpy(r.p2, reinterpret_cast<const std::uint8_t*>(ramp.data()) + r.n1, r.n2);
    ASSERT_EQ(buffer.Unlock(r.p1, r.n1, r.p2, r.n2), kHrOk);
}

// {play, write} cursors.
std::pair<std::uint32_t, std::uint32_t> Cursors(const OutputBuffer& buffer) {
    std::pair<std::uint32_t, std::uint32_t> cursors;
    EXPECT_EQ(buffer.GetCurrentPosition(&cursors.first, &cursors.second), kHrOk);
    return cursors;
}

std::uint32_t Status(const OutputBuffer& buffer) {
    std::uint32_t status = 0;
    EXPECT_EQ(buffer.GetStatus(&status), kHrOk);
    return status;
}

class OutputBufferTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(device.CreateBuffer(RingDesc(), ring), kHrOk); }
    void TearDown() override { ring.reset(); }

    void SetEightNotifications() {
        std::array<NotifyPosition, 8> positions;
        for (std::uint32_t k = 0; k < 8; ++k)
            positions[k] = {(k + 1) * kChunk - 1, {&events, 0}};
        ASSERT_EQ(ring->SetNotificationPositions(positions), kHrOk);
    }

    VirtualOutputDevice device{Manual()};
    std::unique_ptr<OutputBuffer> ring;
    EventSet events;
};

TEST_F(OutputBufferTest, LockCrossingTheEndComesBackInTwoPieces) {
    Region r = Lock(*ring, kRing - 100, 300);
    ASSERT_EQ(r.result, kHrOk);
    EXPECT_EQ(r.n1, 100u);
    EXPECT_EQ(r.n2, 200u);
    EXPECT_NE(r.p2, nullptr);
    EXPECT_EQ(Lock(*ring, 0, 2).result, kHrInvalidCall); // one lock at a time
    ASSERT_EQ(ring->Unlock(r.p1, r.n1, r.p2, r.n2), kHrOk);
    EXPECT_EQ(ring->Unlock(r.p1, 2, nullptr, 0), kHrInvalidCall);

    // Without room for a second piece the region stops at the end.
    r = Lock(*ring, kRing - 100, 300, false);
    EXPECT_EQ(r.n1, 100u);
    ASSERT_EQ(ring->Unlock(r.p1, r.n1, nullptr, 0), kHrOk);
}

TEST_F(OutputBufferTest, BadRegionsAndCallsAreRefused) {
    const std::pair<std::uint32_t, std::uint32_t> regions[] = {
        {kRing, 2}, {1, 2}, {0, 3}, {0, kRing + 2}, {0, 0}};
    for (const auto& [offset, bytes] : regions)
        EXPECT_EQ(Lock(*ring, offset, bytes, false).result, kHrInvalidArg)
            << offset << " " << bytes;
    EXPECT_EQ(ring->SetCurrentPosition(kRing), kHrInvalidArg);
    EXPECT_EQ(ring->SetFrequency(99), kHrInvalidArg);
    EXPECT_EQ(ring->SetVolume(1), kHrInvalidArg);

    std::unique_ptr<OutputBuffer> plain;
    BufferDesc desc = RingDesc();
    desc.flags = 0;
    ASSERT_EQ(device.CreateBuffer(desc, plain), kHrOk);
    EXPECT_EQ(plain->SetVolume(0), kHrControlUnavailable);
    EXPECT_EQ(device.CreateBuffer(RingDesc(kRing + 1), plain), kHrInvalidArg);

    // Notifications: in range, distinct, only while stopped.
    std::array<NotifyPosition, 2> positions{NotifyPosition{10, {&events, 0}},
                                            NotifyPosition{10, {&events, 0}}};
    EXPECT_EQ(ring->SetNotificationPositions(positions), kHrInvalidArg);
    positions[1].offset = kRing;
    EXPECT_EQ(ring->SetNotificationPositions(positions), kHrInvalidArg);
    ASSERT_EQ(ring->Play(true), kHrOk);
    positions[1].offset = 20;
    EXPECT_EQ(ring->SetNotificationPositions(positions), kHrInvalidCall);
}

TEST_F(OutputBufferTest, StopKeepsThePositionAndSetCurrentPositionMovesIt) {
    WriteRamp(*ring, 0, kRing, 0);
    ASSERT_EQ(ring->Play(true), kHrOk);
    device.AdvanceFrames(100);
    ASSERT_EQ(ring->Stop(), kHrOk);
    device.AdvanceFrames(100); // stopped: nothing taken
    EXPECT_EQ(Status(*ring), 0u);
    ASSERT_EQ(ring->Play(true), kHrOk);
    EXPECT_EQ(Status(*ring), buffer_status::kPlaying | buffer_status::kLooping);
    device.AdvanceFrames(5);
    ASSERT_EQ(ring->SetCurrentPosition(2000), kHrOk);
    device.AdvanceFrames(5);
    EXPECT_EQ(device.Captured(ring->Serial()), Ramp(0, 105, {{1000, 5}}));
}

TEST_F(OutputBufferTest, AOneShotBufferStopsAtItsEndAndRewinds) {
    std::unique_ptr<OutputBuffer> once;
    ASSERT_EQ(device.CreateBuffer(RingDesc(1000), once), kHrOk);
    WriteRamp(*once, 0, 1000, 7);
    ASSERT_EQ(once->Play(false), kHrOk);
    device.AdvanceFrames(2000);
    EXPECT_EQ(device.Captured(once->Serial()), Ramp(7, 500));
    EXPECT_FALSE(once->IsPlaying());
    EXPECT_EQ(Cursors(*once).second, 0u);
}

TEST_F(OutputBufferTest, EachNotificationPositionPassedSignalsTheEvent) {
    SetEightNotifications();
    WriteRamp(*ring, 0, kRing, 0);
    ASSERT_EQ(ring->Play(true), kHrOk);
    device.AdvanceFrames(219); // up to byte 437: short of the first position
    EXPECT_FALSE(events.TryTake(0));
    device.AdvanceFrames(1); // bytes 438 and 439: passes 439
    EXPECT_TRUE(events.TryTake(0));
    EXPECT_EQ(ring->NotificationsSignalled(), 1u);
    // Several passed before the waiter wakes: it wakes once, the count says all.
    device.AdvanceFrames(3 * 220);
    EXPECT_TRUE(events.TryTake(0));
    EXPECT_FALSE(events.TryTake(0));
    EXPECT_EQ(ring->NotificationsSignalled(), 4u);
}

TEST_F(OutputBufferTest, ChunksPlayedBeforeTheyWereWrittenAgainCountAsUnderruns) {
    SetEightNotifications();
    WriteRamp(*ring, 0, kRing, 0);
    ASSERT_EQ(ring->Play(true), kHrOk);
    // A writer that keeps up: after each chunk, that chunk is written again.
    std::uint32_t next = 0;
    for (int i = 0; i < 40; ++i) {
        device.AdvanceFrames(220);
        WriteRamp(*ring, next, kChunk, 0);
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

TEST_F(OutputBufferTest, PlayCursorTrailsTheWriteCursorByTheLatency) {
    VirtualOutputDevice::Options options = Manual();
    options.latencyFrames = 100;
    VirtualOutputDevice late(options);
    std::unique_ptr<OutputBuffer> buffer;
    ASSERT_EQ(late.CreateBuffer(RingDesc(), buffer), kHrOk);
    ASSERT_EQ(buffer->Play(true), kHrOk);
    late.AdvanceFrames(30); // less than the latency since the start
    EXPECT_EQ(Cursors(*buffer), std::pair(0u, 60u));
    late.AdvanceFrames(kRing / 2 - 30 + 10); // wrapped: write at 20
    EXPECT_EQ(Cursors(*buffer), std::pair(kRing - 180, 20u));
}

TEST_F(OutputBufferTest, TimeIsPlayedAtTheBuffersFrequency) {
    WriteRamp(*ring, 0, kRing, 0);
    ASSERT_EQ(ring->SetFrequency(31183), kHrOk);
    ASSERT_EQ(ring->Play(true), kHrOk);
    for (int i = 0; i < 1000; ++i)
        device.AdvanceTime(std::chrono::milliseconds(1));
    // One second at 31183 Hz, give or take the last fraction of a sample.
    const auto heard = device.Captured(ring->Serial()).size();
    EXPECT_GE(heard, 31182u);
    EXPECT_LE(heard, 31183u);
}

TEST_F(OutputBufferTest, ALostBufferPlaysSilenceUntilRestored) {
    SetEightNotifications();
    WriteRamp(*ring, 0, kRing, 1);
    ASSERT_EQ(ring->Play(true), kHrOk);
    device.SimulateLoss(2);
    EXPECT_NE(Status(*ring) & buffer_status::kLost, 0u);
    device.AdvanceFrames(220);
    EXPECT_EQ(device.Captured(ring->Serial()), std::vector<std::int16_t>(220, 0));
    EXPECT_TRUE(events.TryTake(0)); // the writer is still woken
    EXPECT_EQ(Lock(*ring, 0, kChunk).result, kHrBufferLost);

    EXPECT_EQ(ring->Restore(), kHrBufferLost);
    EXPECT_EQ(ring->Restore(), kHrBufferLost);
    EXPECT_EQ(ring->Restore(), kHrOk);
    EXPECT_EQ(Status(*ring) & buffer_status::kLost, 0u);
    // Its memory came back empty.
    device.ClearCaptured();
    device.AdvanceFrames(10);
    EXPECT_EQ(device.Captured(ring->Serial()), std::vector<std::int16_t>(10, 0));
    EXPECT_EQ(ring->Restore(), kHrOk); // not lost: nothing to do
}

TEST(EventSetTest, WaitTakesTheLowestSetEventAndResetsIt) {
    EventSet events;
    events.Set(1);
    events.Set(0);
    events.Set(0);
    EXPECT_EQ(events.WaitAny(), 0u);
    EXPECT_EQ(events.WaitAny(), 1u);
    EXPECT_FALSE(events.TryTake(0));
    // With a limit: nothing set gives up; a set event comes at once.
    EXPECT_EQ(events.WaitAny(std::chrono::milliseconds(1)), EventSet::kTimedOut);
    events.Set(3);
    EXPECT_EQ(events.WaitAny(std::chrono::milliseconds(1)), 3u);
    std::thread late([&] { events.Set(2); });
    EXPECT_EQ(events.WaitAny(std::chrono::seconds(10)), 2u);
    late.join();
}

TEST(VirtualOutputTest, BuffersComeAndGoWhileTheRealTimeClockTakesFromThem) {
    VirtualOutputDevice device;
    for (int round = 0; round < 200; ++round) {
        std::unique_ptr<OutputBuffer> buffer;
        ASSERT_EQ(device.CreateBuffer(RingDesc(), buffer), kHrOk);
        WriteRamp(*buffer, 0, kRing, 0);
        ASSERT_EQ(buffer->Play(true), kHrOk);
        if (round % 16 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(6));
    }
    EXPECT_GT(device.Passes(), 0u);
}

TEST(VirtualOutputTest, ASlotIsFreedWithItsBufferAndTheDeviceHoldsEight) {
    VirtualOutputDevice device(Manual());
    std::vector<std::unique_ptr<OutputBuffer>> buffers(OutputDevice::kMaxBuffers);
    for (auto& buffer : buffers)
        ASSERT_EQ(device.CreateBuffer(RingDesc(), buffer), kHrOk);
    std::unique_ptr<OutputBuffer> extra;
    EXPECT_EQ(device.CreateBuffer(RingDesc(), extra), kHrOutOfMemory);
    buffers[3].reset();
    EXPECT_EQ(device.CreateBuffer(RingDesc(), extra), kHrOk);
    EXPECT_NE(extra->Serial(), buffers[2]->Serial());
}

} // namespace
} // namespace lorvanta
