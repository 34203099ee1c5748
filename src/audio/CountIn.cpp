#include "audio/CountIn.h"

#include "audio/AudioStatus.h"
#include "audio/WaveFormat.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lorvanta {

namespace {

constexpr double kClickSeconds = 0.04;
constexpr double kClickHz = 1760.0;      // A6: apart from every drum stroke
constexpr double kFirstClickHz = 2349.3; // D7
constexpr double kClickLevel = 0.22;     // of full scale: soft beside the drums
constexpr double kFirstClickLevel = 0.3;
constexpr double kDecaySeconds = 0.008;

} // namespace

std::vector<std::int16_t> CountInClick(std::uint32_t rate, bool first) {
    const auto length = static_cast<std::size_t>(kClickSeconds * rate);
    std::vector<std::int16_t> samples(length);
    const double hz = first ? kFirstClickHz : kClickHz;
    const double level = (first ? kFirstClickLevel : kClickLevel) * 32767.0;
    for (std::size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / rate;
        // A 1 ms rise, so the click has no crack, then an exponential fall.
        const double envelope = std::min(1.0, t / 0.001) * std::exp(-t / kDecaySeconds);
        samples[i] = static_cast<std::int16_t>(
            std::lround(level * envelope * std::sin(2.0 * std::numbers::pi * hz * t)));
    }
    return samples;
}

std::unique_ptr<TaalImage> MakeCountInImage(const WaveHeader& header, std::uint32_t rate,
                                            float secondsPerBeat, int beats) {
    beats = std::clamp(beats, 0, kMaxCountInBeats);
    if (beats == 0 || rate == 0)
        return nullptr;
    // As the renderer sizes a bol of one beat.
    const std::uint32_t slot = TruncateToU32(secondsPerBeat * static_cast<float>(rate));
    if (slot == 0)
        return nullptr;
    const auto block = [rate](bool first) {
        return std::make_shared<const BolBlock>(CountInClick(rate, first), nullptr);
    };
    const std::shared_ptr<const BolBlock> firstClick = block(true);
    const std::shared_ptr<const BolBlock> click = block(false);
    const auto count = static_cast<std::size_t>(beats);
    std::vector<std::uint32_t> slots(count, slot);
    std::vector<std::uint64_t> starts(count + 1);
    std::vector<TaalImage::Segment> segments(count);
    for (std::size_t i = 0; i < count; ++i) {
        starts[i + 1] = starts[i] + slot;
        segments[i].block = i == 0 ? firstClick : click;
        segments[i].valid = std::min(slot, segments[i].block->Length());
    }
    WaveHeader sized = header;
    const std::uint64_t data = 2 * starts.back();
    PutLe32(sized, kDataSizeOffset,
            static_cast<std::uint32_t>(std::min<std::uint64_t>(data, 0xFFFFFFFFu)));
    PutLe32(sized, kRiffSizeOffset,
            static_cast<std::uint32_t>(
                std::min<std::uint64_t>(data + kWaveHeaderSize - 8, 0xFFFFFFFFu)));
    auto image = std::make_unique<TaalImage>(sized, std::move(slots), std::move(starts),
                                             std::move(segments));
    image->SetBeats(static_cast<float>(beats));
    return image;
}

} // namespace lorvanta
