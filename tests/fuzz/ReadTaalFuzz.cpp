// Feeds arbitrary bytes to the Taal file reader. Whatever it accepts must
// write out and read back without a structural error, print as JSON, and lay
// out, render and show its playing position as the window does, with no
// conversion out of range (the sanitizer stops on any).
#include "TaalJson.h"

#include "audio/SampleBank.h"
#include "audio/TaalRenderer.h"
#include "audio/playback/PlaybackEngine.h"
#include "model/Conversions.h"
#include "persistence/TaalFile.h"
#include "ui/grid/GridGeometry.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace lorvanta;

namespace {

// What the grid computes for a Taal: its cells at a narrow and a wide window,
// and the ruler, beat number and repaint for positions along the cycle.
void LayOutAndPlay(const CLorvantaDoc& doc) {
    const CTaal& taal = doc.Taal();
    CGridLayout layout;
    for (const int width : {200, 2000}) {
        layout.CreateBolViews(taal.Count());
        layout.RecalcLayout(width, taal, -1);
        layout.UpdateRulerRows(taal.Total());
        (void)layout.HitTest(width / 2, 200);
        layout.DeleteBolViews();
    }

    // One cycle at a tempo and pitch the bars allow; the bols' blocks are
    // capped by the renderer itself.
    CSampleBank bank;
    RecordingMessageSink sink;
    CTaalRenderer renderer(taal, bank, sink);
    renderer.SetTempo(60.0f / 1000.0f);
    renderer.SetPitch(2.0f);
    renderer.InitialUpdate();
    if (renderer.BuildTaalImage() != kStatusOk)
        return;
    const TaalImage& image = renderer.Image();
    float previous = 1.0f;
    for (int step = 0; step <= 8; ++step) {
        const std::uint64_t at = image.DataSize() / 8 * static_cast<std::uint64_t>(step);
        const PlayingPosition position = ComputePlayingPosition(at, -2000, taal.Total(), image);
        const float beat = position.beat;
        (void)BeatNumberColour(TruncateToInt(beat), taal.Total());
        (void)ProgressRepaint(previous, beat, layout.BeatsPerRow(), layout.RowLeft(),
                              layout.RulerRowCount());
        for (int row = 0; row < std::min(layout.RulerRowCount(), 4); ++row)
            (void)PlayedRowEnd(beat, row, layout.BeatsPerRow(), layout.RowLeft());
        previous = beat;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CLorvantaDoc doc;
    const ReadOutcome outcome = ReadTaalDocument({data, size}, "/fuzz/input.tal", doc);
    if (outcome.structuralError) {
        if (outcome.errorDetail.empty() || !doc.IsEmpty())
            std::abort();
        return 0;
    }
    if (doc.IsEmpty() != (doc.Taal().Count() == 0))
        std::abort();
    (void)PostReadMessage(outcome, "/fuzz/input.tal");
    (void)cli::TaalToJson(doc, outcome);
    ApplyOpenedTempoRule(doc);
    LayOutAndPlay(doc);

    const auto written = WriteTaalDocument(doc);
    CLorvantaDoc back;
    const ReadOutcome again = ReadTaalDocument(written, "/fuzz/again.tal", back);
    if (again.structuralError)
        std::abort();
    return 0;
}
