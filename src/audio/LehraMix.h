#pragma once

// The lehra's loop mixed into the Taal's samples. Unlike the drone, the lehra
// keeps the Taal's time: its loop is rendered for the image's cycle length
// (one or two cycles of it), and each stretch read from the image gets the
// lehra's samples from the same place of the cycle (none while the loop is
// for another cycle length, until its new loop comes), so that it starts on sam
// with the Taal, follows Play from Selected, Pause and every rebuild, and
// switches with a tempo ramp's next cycle at the wrap.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace lorvanta {

// One rendering of a lehra: `cycles` Taal cycles of `cycleSamples` samples
// each, at the image's own rate.
struct LehraLoop {
    std::vector<std::int16_t> samples;
    std::size_t cycleSamples = 0;
    int cycles = 1;
};
using LehraLoopPtr = std::shared_ptr<const LehraLoop>;

inline constexpr float kMinLehraLevelDb = -60.0f;
inline constexpr float kMaxLehraLevelDb = 12.0f;
inline constexpr float kDefaultLehraLevelDb = -6.0f;

// The lehra as the feeding thread plays it. The loops are the caller's, who
// keeps them alive while the feed holds them; everything but the on/off switch
// and the gain is guarded by the engine's stream lock. Never allocates.
class LehraFeed {
public:
    // The loop in step with the image read now, and the one for the next
    // cycle's image (null: none), taken at the wrap into that image.
    void SetLoops(const LehraLoop* current, const LehraLoop* next) {
        m_current = current;
        m_next = next;
    }
    const LehraLoop* Current() const { return m_current; }

    void SetOn(bool on) { m_on.store(on, std::memory_order_release); }
    bool IsOn() const { return m_on.load(std::memory_order_acquire); }
    void SetLevelDb(float levelDb);
    float Gain() const { return m_gain.load(std::memory_order_acquire); }

    // n bytes were just read from an image of dataSize bytes, from
    // imageOffset on: adds the lehra's samples for that place (while on) and
    // counts the cycle when the read reached the image's end.
    void MixSegment(unsigned char* bytes, std::size_t n, std::uint64_t imageOffset,
                    std::uint64_t dataSize);
    // Playing from the start of the first cycle (a rewound stream): the lehra
    // starts at its full level, as the tabla does.
    void Rewind() {
        m_cycle = 0;
        m_level = 1.0f;
        m_sounding = false;
    }
    // The reader crossed `wraps` cycle ends (back when negative) without
    // reading the bytes between.
    void MoveCycles(std::int64_t wraps);
    // Which of a two-cycle lehra's cycles plays now: 0 or 1.
    int Cycle() const { return m_cycle; }

    // The level's step a sample when the lehra leaves or enters: 5 ms at the
    // image's rate.
    static constexpr float kFadeStep = 1.0f / 110.0f;

private:
    const LehraLoop* m_current = nullptr;
    const LehraLoop* m_next = nullptr;
    int m_cycle = 0;
    float m_level = 0.0f;           // of the fade, 0 to 1
    bool m_sounding = false;        // heard in the last stretch (or dying away)
    std::size_t m_fadePosition = 0; // where in the loop it goes on while dying away
    std::atomic<bool> m_on{false};
    std::atomic<float> m_gain{0.5f};
};

} // namespace lorvanta
