#pragma once

// The drone's loop mixed into the Taal's samples: the loop's samples, times the
// drone's gain, added with the same saturation as the bols' mixing. The drone
// runs at its own position round its loop, apart from the Taal's cycle.

#include "audio/Gain.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace lorvanta {

using DroneLoop = std::shared_ptr<const std::vector<std::int16_t>>;

// The drone level's range in dB and the level a drone starts at: a tanpura
// sits under the tabla, so its loop is heard 6 dB down.
inline constexpr float kMinDroneLevelDb = -60.0f;
inline constexpr float kMaxDroneLevelDb = 12.0f;
inline constexpr float kDefaultDroneLevelDb = -6.0f;

// Adds the loop from sample `position` on, times gain, to n bytes of
// little-endian 16-bit samples (a trailing odd byte is left alone); returns
// the position after them, round the loop. An empty loop adds nothing.
// Never allocates.
std::size_t MixDroneInto(std::span<const std::int16_t> loop, std::size_t position, float gain,
                         unsigned char* bytes, std::size_t n);

// The drone as the feeding thread plays it: the loop, where it is in it, and
// the on/off switch and gain the window sets at any time. The loop and the
// position are guarded by the engine's stream lock; the loop is swapped there
// and the old one released by the caller, never by the feeding thread.
class DroneFeed {
public:
    // Under the stream lock: the loop to play from now on (null: none); the
    // position stays, round the new loop. Returns the old loop.
    DroneLoop Exchange(DroneLoop loop);

    void SetOn(bool on) { m_on.store(on, std::memory_order_release); }
    bool IsOn() const { return m_on.load(std::memory_order_acquire); }
    // The drone heard alone: the Taal's samples are left out.
    void SetAlone(bool alone) { m_alone.store(alone, std::memory_order_release); }
    bool IsAlone() const { return m_alone.load(std::memory_order_acquire); }
    void SetLevelDb(float levelDb) { m_gain.store(DbToGain(levelDb), std::memory_order_release); }
    float Gain() const { return m_gain.load(std::memory_order_acquire); }

    // Under the stream lock: the drone over n bytes just read from the Taal
    // (added only while on); its position moves on by them either way, so
    // that it keeps its own time.
    void MixInto(unsigned char* bytes, std::size_t n);
    // Under the stream lock: the position moved by a number of bytes of
    // samples (back when negative), round the loop.
    void Move(std::int64_t bytes);
    std::size_t Position() const { return m_position; }

private:
    DroneLoop m_loop;
    std::size_t m_position = 0;
    std::atomic<bool> m_on{false};
    std::atomic<bool> m_alone{false};
    std::atomic<float> m_gain{1.0f};
};

} // namespace lorvanta
