#pragma once

// The Taal renderer: turns the document's Taal into one looping cycle of audio.
//
// Two stages. Each bol is rendered on its own into a block (its two recordings
// mixed from silence by the sample bank, each at its drum's level), kept in
// the bol's cell; blocks are re-rendered only when their bol, the emphasis
// ceiling or the drums' levels change. The
// Taal image is then the bols' slots in order, a slot being the bol's duration
// in samples at the current tempo and playback rate, cut from its block. A
// tempo or pitch change rebuilds only the image, at a cost that follows the
// number of bols.
//
// When strokes ring on, a bol's cell holds a block per drum it strikes (its
// strokes on that drum, shaped by the stroke style) and the image is each
// drum's strikes, mixed as they are read; blocks stay shared between equal
// bols. Humanised bols take one of a few variations of each stroke by their
// place, and their timing from it.
//
// The renderer is the sound side of the editing session: the session owns it
// and calls these operations on the user-interface thread, and keeps the
// cells in step with the Taal through InsertBolView and RemoveBolView.
//
// Threads: everything here belongs to the user-interface thread. Playback
// reads the image's samples on its own thread: each new image is handed to it
// through the image handler, which moves its reading there under playback's
// own lock; the old image is freed afterwards, here, never on playback's
// thread. An image's samples never change once it has been handed over.

#include "audio/AudioStatus.h"
#include "audio/BolBlock.h"
#include "audio/DrumLevels.h"
#include "audio/StrokeShaping.h"
#include "audio/StrokeStyle.h"
#include "audio/TaalImage.h"
#include "audio/WaveFormat.h"

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace lorvanta {

// The rate an image is played back at for a pitch factor: everything mixed
// into the image before the pitch shift (the drone, the lehra) plays at it too.
inline std::uint32_t PlaybackRateFor(float pitchFactor) {
    return TruncateToU32(pitchFactor * static_cast<float>(kSampleRate));
}

class CBol2;
class CSound;
class CSampleBank;
class CTaal;
class MessageSink;

// The sound part of one grid cell: the bol's rendered block.
struct BolCell {
    // The block's length: 6 seconds per beat of the bol's duration at the
    // playback rate it was rendered at. 0 when rendering failed.
    std::uint32_t sampleCount = 0;
    // Null when rendering failed or has not happened. The block holds samples
    // only up to its longer recording's end; the rest of sampleCount is silence.
    std::shared_ptr<const BolBlock> block;
    // When strokes ring on: the bol's strokes on the treble and the bass drum
    // (no block: the bol leaves that drum ringing) and how fast each damps
    // the drum's ring before it.
    struct Strike {
        std::shared_ptr<const BolBlock> block;
        float dampMs = 0.0f;
    };
    std::array<Strike, 2> strikes;
};

class CTaalRenderer {
public:
    static constexpr float kInitialSecondsPerBeat = 0.6f;
    // Stored blocks may hold this many samples in all (96 MB); blocks made
    // beyond it compute their samples when read.
    static constexpr std::size_t kDefaultStoredSampleBudget = 48u << 20;

    // The Taal and the bank must outlive the renderer. Runs InitImageHeader;
    // its status is InitStatus().
    CTaalRenderer(const CTaal& taal, const CSampleBank& bank, MessageSink& sink);
    // Playback must have stopped reading (its thread joined) before this runs.
    ~CTaalRenderer();
    CTaalRenderer(const CTaalRenderer&) = delete;
    CTaalRenderer& operator=(const CTaalRenderer&) = delete;

    // --- Set-up ---------------------------------------------------------
    // Stream format to its initial values and the image to the bare header
    // taken from the silence recording. Returns Ok, a bank failure after the
    // bank's message, or NoImage (no usable template) without one.
    AudioStatus InitImageHeader();
    AudioStatus InitStatus() const { return m_initStatus; }

    // --- Blocks ---------------------------------------------------------
    // The largest (pitch emphasis + bass emphasis) over the bols; the lowest
    // float for an empty Taal.
    void UpdateEmphasisCeiling();
    // Renders bol index into its cell. Returns Ok, OutOfMemory after its message,
    // or the status of a failed mix (its message already shown); a failed bol
    // keeps an empty cell. An index with no bol or cell does nothing.
    AudioStatus RenderBol(int index);
    // Ceiling, then every bol; after each failure shows "Cannot load bol %1
    // into memory." and goes on. Returns the status of the last bol.
    AudioStatus RenderAllBols();
    // A new or opened document: one empty cell per bol, then RenderAllBols; a
    // failure is shown as "Error 0x.. occured while loading Taal".
    AudioStatus InitialUpdate();

    // A bol was added to the Taal after position afterIndex (-1: at the head).
    // Inserts its cell, which is the one given (a cell coming back, as in undo,
    // keeps its block) or a new empty one, and renders what the ceiling
    // requires: that bol alone when the ceiling stays and the cell is new,
    // every bol when the ceiling moved.
    AudioStatus InsertBolView(int afterIndex, std::optional<BolCell> cell = std::nullopt);
    // The bol at index was removed from the Taal: removes its cell (returned,
    // for undo) and re-renders every bol when the ceiling moved.
    std::optional<BolCell> RemoveBolView(int index);
    // The bols at [first, first + count) changed: renders them (every bol
    // when the ceiling moved). Failures show their message and stop.
    AudioStatus RenderChangedBols(int first, int count);
    // The bol at index was edited and applied: RenderChangedBols, then
    // rebuilds the image when playing.
    AudioStatus ApplyBolEdit(int index);

    // The drums' levels for the bols rendered from now on (clamped to their
    // range); the caller renders every bol again to hear them.
    void SetDrumLevels(const DrumLevels& levels);
    const DrumLevels& Levels() const { return m_levels; }
    // How strokes end, are humanised and the bass drum is tuned (clamped),
    // for the bols rendered from now on; the caller renders every bol again.
    void SetStrokeStyle(const StrokeStyle& style);
    const StrokeStyle& Style() const { return m_style; }
    // The resampler for the bass drum's tuning (the program's libsamplerate).
    void SetStrokeResampler(StrokeResampler resampler) { m_resampler = std::move(resampler); }
    const StrokeResampler& Resampler() const { return m_resampler; }

    // --- Image ----------------------------------------------------------
    // Builds the image from the cells at the current tempo and playback rate,
    // hands it to the image handler (playback goes on at the same fraction of
    // the cycle, on an even byte) and frees the old one. Returns Ok, or OutOfMemory
    // after its message (the previous image stays in use).
    AudioStatus BuildTaalImage();
    // --- The next cycle's image (a stepped tempo ramp) ---------------------
    // Builds the image at another tempo and hands it to the next-cycle
    // handler, so that playback switches to it exactly at the cycle's wrap;
    // the one waiting before is withdrawn. A tempo equal to the current one
    // leaves none waiting. Every rebuild of the image keeps the waiting one in
    // step (rebuilt at its tempo, after an edit or a pitch change).
    AudioStatus PrepareNextCycle(float secondsPerBeat);
    // The same with an image made elsewhere (another Taal's, for a practice
    // routine's next step): it is never rebuilt here; a rebuild of the image
    // withdraws it.
    void HandNextCycle(std::unique_ptr<TaalImage> image, float secondsPerBeat);
    // An image of the cells at a tempo and the current playback rate, for
    // another renderer's HandNextCycle. Throws std::bad_alloc.
    std::unique_ptr<TaalImage> CycleImage(float secondsPerBeat) const {
        return MakeImage(secondsPerBeat);
    }
    // Once playback reads the waiting image, it becomes the image in use and
    // its tempo the current one; the old image is freed here. True when
    // that happened now.
    bool AdoptNextCycle();
    // Withdraws the waiting image (adopted instead if playback already took it).
    void WithdrawNextCycle();
    bool HasNextCycle() const { return m_next != nullptr; }
    // The next cycle's image waiting (null: none).
    const TaalImage* NextCycleImage() const { return m_next.get(); }
    // Hands playback the next cycle's image (null: withdraw it), under its
    // lock; the image lives until it is adopted or withdrawn.
    using NextCycleHandler = std::function<void(const TaalImage*)>;
    // The image playback reads now, asked under its lock.
    using ImageInUseQuery = std::function<const TaalImage*()>;
    void SetNextCycleHandlers(NextCycleHandler handover, ImageInUseQuery inUse) {
        m_nextCycle = std::move(handover);
        m_imageInUse = std::move(inUse);
    }

    // Seconds per beat from the tempo bar; rebuilds the image when playing.
    // A next cycle's image waiting is withdrawn.
    // Returns the build's status (Ok when not playing).
    AudioStatus SetTempo(float secondsPerBeat);
    // Pitch factor from the pitch bar; the playback rate becomes the
    // truncation of factor * 22050. When playing, rebuilds the image and then
    // calls the rate-changed handler. Returns the build's status.
    AudioStatus SetPitch(float factor);

    // --- Playback side --------------------------------------------------
    // The image in use.
    const TaalImage& Image() const { return *m_image; }
    // Called with each new image (the bare header's too) before the image it
    // replaces is freed; the new one lives until the next call.
    using ImageHandler = std::function<void(const TaalImage&)>;
    void SetImageHandler(ImageHandler handler) { m_imageBuilt = std::move(handler); }
    void SetPlaying(bool playing) { m_playing = playing; }
    bool IsPlaying() const { return m_playing; }
    // Called by SetPitch after a rebuild while playing, with the new playback
    // rate, so that the ring's frequency follows.
    void SetRateChangedHandler(std::function<void(std::uint32_t)> handler) {
        m_rateChanged = std::move(handler);
    }

    // --- State ----------------------------------------------------------
    const WaveFormat& StreamFormat() const { return m_format; }
    float PitchFactor() const { return m_pitchFactor; }
    std::uint32_t PlaybackRate() const { return m_playbackRate; }
    float EmphasisCeiling() const { return m_ceiling; }
    float SecondsPerBeat() const { return m_secondsPerBeat; }
    std::uint64_t TotalSamples() const { return m_image->TotalSamples(); }
    std::uint64_t ImageSize() const { return m_image->Size(); }
    std::span<const std::uint32_t> Slots() const { return m_image->Slots(); }
    std::span<const std::uint64_t> BolStarts() const { return m_image->BolStarts(); }
    const std::vector<BolCell>& Cells() const { return m_cells; }
    // Counts of rendering work, for tests and measurements.
    std::size_t RenderCount() const { return m_renderCount; }
    std::size_t StoredSamples() const { return m_storedSamples->samples; }
    void SetStoredSampleBudget(std::size_t samples) { m_storedSampleBudget = samples; }

private:
    struct BlockKey {
        std::uint16_t bassResource;
        std::uint16_t pitchResource;
        std::uint32_t bassGainBits;
        std::uint32_t pitchGainBits;
        // 0: both drums, cut at the next bol; 1 + the drum index: one drum's
        // strokes (of the two sounds, those on it) that ring on.
        std::uint8_t part = 0;
        std::uint8_t variant = 0;
        auto operator<=>(const BlockKey&) const = default;
    };
    // A sound of a bol as it enters a shaped block.
    struct ShapedVoice {
        const CSound* sound;
        float gain;
        bool onBassDrum;
    };

    void SyncCells();
    AudioStatus MakeBlock(const CBol2& adjusted, const BlockKey& key, float pitchLevel,
                          float bassLevel, std::shared_ptr<const BolBlock>& block);
    // A block of the voices shaped by the style (humanised, the bass drum
    // tuned), mixed in order.
    AudioStatus MakeShapedBlock(std::span<const ShapedVoice> voices, std::uint32_t variant,
                                std::shared_ptr<const BolBlock>& block);
    // Strokes ringing on: the bol's strokes on each drum (both: its bass and
    // pitch sound, with their endings) into the cell's strikes.
    AudioStatus MakeStrikes(const BlockKey& key, std::span<const ShapedVoice, 2> both,
                            std::span<const StrokeEnding, 2> endings, std::uint8_t variant,
                            BolCell& cell);
    // The shared block of a key, or one made by make and shared from now on.
    template <typename Make>
    AudioStatus SharedBlock(const BlockKey& key, std::shared_ptr<const BolBlock>& block, Make make);
    void ReportLoadError(AudioStatus status);
    // The image of the cells at a tempo and the current playback rate.
    std::unique_ptr<TaalImage> MakeImage(float secondsPerBeat) const;

    const CTaal& m_taal;
    const CSampleBank& m_bank;
    MessageSink& m_sink;

    WaveFormat m_format;
    float m_pitchFactor = 1.0f;
    std::uint32_t m_playbackRate = kSampleRate;
    float m_ceiling = std::numeric_limits<float>::lowest();
    float m_secondsPerBeat = kInitialSecondsPerBeat;
    DrumLevels m_levels;
    StrokeStyle m_style;
    StrokeResampler m_resampler;
    std::vector<BolCell> m_cells;
    bool m_playing = false;
    AudioStatus m_initStatus = AudioStatus::Ok;
    std::function<void(std::uint32_t)> m_rateChanged;
    ImageHandler m_imageBuilt;

    // Shared blocks by what they are made of; only blocks some cell or image
    // still uses stay alive.
    std::map<BlockKey, std::weak_ptr<const BolBlock>> m_blocks;
    std::uint64_t m_blocksGeneration = 0;
    std::shared_ptr<StoredSampleCount> m_storedSamples = std::make_shared<StoredSampleCount>();
    std::size_t m_storedSampleBudget = kDefaultStoredSampleBudget;
    std::size_t m_renderCount = 0;

    std::unique_ptr<TaalImage> m_image;
    // The next cycle's image, handed to playback, and its tempo.
    std::unique_ptr<TaalImage> m_next;
    float m_nextSecondsPerBeat = kInitialSecondsPerBeat;
    bool m_nextHandedIn = false; // made elsewhere: withdrawn, not rebuilt
    NextCycleHandler m_nextCycle;
    ImageInUseQuery m_imageInUse;
};

} // namespace lorvanta
