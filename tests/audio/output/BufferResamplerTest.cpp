// Converting a buffer to the device's rate: the amount taken, a frequency
// step without a click, and no allocation per call.
#include "audio/output/device/BufferResampler.h"
#include "audio/output/VirtualOutput.h"

#ifdef LORVANTA_COUNT_ALLOCATIONS
#include "../support/AllocationCounter.h"
#endif

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace lorvanta {
namespace {

constexpr double kDeviceRate = 48000.0;

// A looping buffer holding a 441 Hz sine at 22050 samples per second: 100
// periods of 50 samples.
std::unique_ptr<OutputBuffer> Sine(VirtualOutputDevice& device) {
    BufferDesc desc;
    desc.flags = buffer_flags::kCtrlFrequency;
    desc.bytes = 5000 * 2;
    std::unique_ptr<OutputBuffer> buffer;
    EXPECT_EQ(device.CreateBuffer(desc, buffer), kHrOk);
    std::uint8_t* region = nullptr;
    std::uint32_t bytes = 0;
    EXPECT_EQ(buffer->Lock(0, desc.bytes, &region, &bytes, nullptr, nullptr), kHrOk);
    for (std::uint32_t i = 0; i < 5000; ++i) {
        const auto s = static_cast<std::int16_t>(
            std::lround(16000.0 * std::sin(2.0 * std::numbers::pi * i / 50.0)));
        std::memcpy(region + 2 * i, &s, 2);
    }
    EXPECT_EQ(buffer->Unlock(region, bytes, nullptr, 0), kHrOk);
    EXPECT_EQ(buffer->Play(true), kHrOk);
    return buffer;
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

TEST(BufferResamplerTest, TakesTheBuffersSamplesAtItsFrequencyAndStepsWithoutAJump) {
    VirtualOutputDevice device({.clock = VirtualOutputDevice::Clock::Manual});
    auto buffer = Sine(device);
    auto resampler = BufferResampler::Create();
    ASSERT_TRUE(resampler);
    std::vector<float> out;
    Mix(*resampler, *buffer, out, 2 * 48000);
    std::uint32_t write = 0;
    ASSERT_EQ(buffer->GetCurrentPosition(nullptr, &write), kHrOk);
    // Two seconds at 22050: the position went round the 5000-sample buffer
    // 8.82 times; what the converter holds comes on top.
    EXPECT_NEAR(write / 2 + 8 * 5000.0, 44100.0 + resampler->PendingFrames(), 2.0);
    EXPECT_LT(resampler->PendingFrames(), 200.0);
    EXPECT_NEAR(UpwardCrossings(out, 48000, 96000), 441, 1);

    ASSERT_EQ(buffer->SetFrequency(31183), kHrOk);
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
    std::vector<float> mix(256);
#ifdef LORVANTA_COUNT_ALLOCATIONS
    const std::uint64_t before = test::CountedAllocations();
    test::ArmAllocationCounter(true);
#endif
    const std::uint32_t rates[] = {22050, 31183, 15591, 23361};
    for (int i = 0; i < 2000; ++i) {
        if (i % 50 == 0)
            buffer->SetFrequency(rates[(i / 50) % 4]);
        if (i % 500 == 499)
            resampler->Reset();
        resampler->MixInto(*buffer, kDeviceRate, mix.data(), 256, 1.0f);
    }
#ifdef LORVANTA_COUNT_ALLOCATIONS
    test::ArmAllocationCounter(false);
    EXPECT_EQ(test::CountedAllocations(), before);
#endif
}

} // namespace
} // namespace lorvanta
