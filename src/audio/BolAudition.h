#pragma once

// The Play Bol audition of the bol properties pane: the pane's bol, one beat
// long, rendered as a 2-second WAV image at 22050 Hz. Its level never rises: a
// bol whose two emphases sum above 0 dB is lowered by half that sum on each
// sound, a quieter bol plays as set. Each drum then sounds at its level, as
// in the Taal.

#include "audio/AudioStatus.h"
#include "audio/DrumLevels.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lorvanta {

class CBol2;
class CSampleBank;
class MessageSink;

class CBolAudition {
public:
    static constexpr std::uint32_t kSamples = 44100;
    static constexpr std::size_t kImageSize = 44 + 2 * std::size_t{kSamples}; // 88244

    CBolAudition(const CSampleBank& bank, MessageSink& sink) : m_bank(bank), m_sink(sink) {}

    // Renders the bol made of the pane's values (name, both sounds) into the
    // buffer, allocated on first use. Returns Ok when Image() is ready to play;
    // otherwise the status after its message, and nothing is to be played (a
    // failed render also releases the buffer). The caller stops any audition
    // still playing from the buffer first.
    AudioStatus Render(const CBol2& paneBol, const DrumLevels& levels = {});

    // The WAV image of the last successful render; empty otherwise.
    std::span<const unsigned char> Image() const;
    bool HasBuffer() const { return !m_buffer.empty(); }

private:
    const CSampleBank& m_bank;
    MessageSink& m_sink;
    std::vector<std::int16_t> m_buffer; // header in the first 22 elements
    bool m_ready = false;
};

} // namespace lorvanta
