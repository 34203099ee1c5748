#pragma once

// What a Taal may hold so that its file reads back whole: the file reader
// refuses a Taal of more bols or beats than this, and marks a bol whose
// duration lies outside its range. Every edit and the notation parser keep a
// Taal inside these limits, refusing the whole change when it would leave them.

#include "model/StatusTable.h"

#include <array>
#include <cstdint>

namespace lorvanta {

namespace limits {
inline constexpr long long kMaxBols = 50000;
inline constexpr float kMaxBeats = 100000.0f;
// The single-precision 0.001, a hair above the decimal 0.001.
inline constexpr float kMinBolBeats = 0.001f;
inline constexpr float kMaxBolBeats = 10.0f;
} // namespace limits

// Statuses of a change checked against the limits.
enum class LimitStatus : std::uint32_t {
    Ok = 0,
    TaalTooLarge = 42,
    BolDurationOutOfRange = 43,
};

namespace messages {
inline constexpr const char* kTaalTooLarge = "A Taal holds at most 50,000 bols and 100,000 beats.";
inline constexpr const char* kBolDurationOutOfRange = "A bol lasts from 0.001 to 10 beats.";
} // namespace messages

// Each refusal's warning (LimitMessage).
inline constexpr std::array<StatusEntry<LimitStatus>, 3> kLimitStatusTable{{
    {LimitStatus::Ok, 0, ""},
    {LimitStatus::TaalTooLarge, 42, messages::kTaalTooLarge},
    {LimitStatus::BolDurationOutOfRange, 43, messages::kBolDurationOutOfRange},
}};
static_assert(StatusTableConsistent(kLimitStatusTable));

constexpr const auto& StatusTableOf(LimitStatus) {
    return kLimitStatusTable;
}

// Whether a bol of this many beats is read back as it is; not a number fails.
inline bool BolDurationFits(float beats) {
    return beats >= limits::kMinBolBeats && beats <= limits::kMaxBolBeats;
}

// Checks the Taal a change would leave, bol by bol in playing order: the bols
// that stay as they are, then those the change adds or alters. The length is
// summed in single precision in that order, as the Taal itself sums it.
class TaalLimitCheck {
public:
    // A bol the change leaves as it is (its duration is the file's business).
    void Keep(float beats) {
        ++m_count;
        m_total += beats;
    }
    // A bol the change adds or alters: its duration must fit too.
    void Add(float beats) {
        Keep(beats);
        m_durationFits = m_durationFits && BolDurationFits(beats);
    }
    LimitStatus Status() const {
        if (m_count > limits::kMaxBols || !(m_total <= limits::kMaxBeats))
            return LimitStatus::TaalTooLarge;
        return m_durationFits ? LimitStatus::Ok : LimitStatus::BolDurationOutOfRange;
    }

private:
    long long m_count = 0;
    float m_total = 0.0f;
    bool m_durationFits = true;
};

} // namespace lorvanta
