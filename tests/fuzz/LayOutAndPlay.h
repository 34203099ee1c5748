#pragma once

// What the window computes for a Taal, for the fuzzers: its cells at a narrow
// and a wide window, one rendered cycle, and the ruler, beat number and
// repaint for positions along it. Built with the sanitizers, any conversion
// out of range stops the fuzzer.

#include "audio/SampleBank.h"
#include "audio/TaalRenderer.h"
#include "audio/playback/PlaybackEngine.h"
#include "gridlayout/GridGeometry.h"
#include "model/Conversions.h"
#include "model/Messages.h"
#include "model/Taal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace lorvanta::fuzz {

inline void LayOutAndPlay(const CTaal& taal) {
    // Vibhags of up to 5 beats over a length of whole beats, so that the rows
    // are laid out by them too.
    VibhagList vibhags;
    const float total = taal.Total();
    if (total >= 1.0f && total <= 5.0f * kMaxVibhags && total == std::floor(total))
        for (int beats = static_cast<int>(total); beats > 0; beats -= 5)
            vibhags.push_back({std::min(beats, 5), '2'});
    CGridLayout layout;
    for (const int width : {200, 2000}) {
        for (const bool byVibhag : {false, true}) {
            layout.SetVibhags(vibhags, byVibhag);
            layout.CreateBolViews(taal.Count());
            layout.RecalcLayout(width, taal, -1);
            layout.UpdateRulerRows(taal.Total());
            (void)layout.HitTest(width / 2, 200);
            layout.DeleteBolViews();
        }
    }

    // One cycle at a tempo and pitch the bars allow; the bols' blocks are
    // capped by the renderer itself.
    CSampleBank bank;
    RecordingMessageSink sink;
    CTaalRenderer renderer(taal, bank, sink);
    renderer.SetTempo(60.0f / 1000.0f);
    renderer.SetPitch(2.0f);
    renderer.InitialUpdate();
    if (renderer.BuildTaalImage() != AudioStatus::Ok)
        return;
    const TaalImage& image = renderer.Image();
    float previous = 1.0f;
    for (int step = 0; step <= 8; ++step) {
        const std::uint64_t at = image.DataSize() / 8 * static_cast<std::uint64_t>(step);
        const float beat = ComputePlayingPosition(at, -2000, taal.Total(), image).beat;
        (void)BeatNumberColour(TruncateToInt(beat), taal.Total());
        (void)ProgressRepaint(previous, beat, layout.BeatsPerRow(), layout.RowLeft(),
                              layout.RulerRowCount());
        (void)layout.ProgressRepaint(previous, beat);
        (void)layout.RowOfPosition(beat);
        (void)layout.MarkOnBeat(TruncateToInt(beat));
        for (int row = 0; row < std::min(layout.RulerRowCount(), 4); ++row) {
            (void)PlayedRowEnd(beat, row, layout.BeatsPerRow(), layout.RowLeft());
            (void)layout.PlayedRowEnd(beat, row);
        }
        previous = beat;
    }
}

} // namespace lorvanta::fuzz
