#include "audio/TaalRenderer.h"

#include "audio/AudioStatus.h"
#include "audio/Gain.h"
#include "audio/SampleBank.h"
#include "model/Messages.h"
#include "model/Taal.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace lorvanta {

namespace {

std::uint32_t SaturateToU32(std::uint64_t value) {
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(value, std::numeric_limits<std::uint32_t>::max()));
}

} // namespace

CTaalRenderer::CTaalRenderer(const CTaal& taal, const CSampleBank& bank, MessageSink& sink)
    : m_taal(taal), m_bank(bank), m_sink(sink), m_image(std::make_unique<TaalImage>(WaveHeader{})) {
    m_initStatus = InitImageHeader();
}

CTaalRenderer::~CTaalRenderer() = default;

AudioStatus CTaalRenderer::InitImageHeader() {
    WithdrawNextCycle();
    m_format = WaveFormat{};
    const RecordingAccess access = m_bank.Access(kSilenceResourceId);
    if (!access.Ok())
        return ReportAccessFailure(access, kModuleFileName, kSilenceResourceName, m_sink);
    if (access.bytes.size() < kWaveHeaderSize)
        return AudioStatus::NoImage;
    WaveHeader header;
    std::memcpy(header.data(), access.bytes.data(), kWaveHeaderSize);
    PutLe32(header, kDataSizeOffset, 0);
    PutLe32(header, kRiffSizeOffset, 36);
    auto bare = std::make_unique<TaalImage>(header);
    if (m_imageBuilt)
        m_imageBuilt(*bare);
    std::swap(m_image, bare);
    return AudioStatus::Ok;
}

void CTaalRenderer::UpdateEmphasisCeiling() {
    float ceiling = std::numeric_limits<float>::lowest();
    for (const auto& bol : m_taal.Bols()) {
        const float sum = bol->pitch.emphasis + bol->bass.emphasis;
        if (sum > ceiling)
            ceiling = sum;
    }
    m_ceiling = ceiling;
}

void CTaalRenderer::SyncCells() {
    m_cells.resize(static_cast<std::size_t>(std::max(0, m_taal.Count())));
}

AudioStatus CTaalRenderer::MakeBlock(const CBol2& adjusted, const BlockKey& key, float pitchLevel,
                                     float bassLevel, std::shared_ptr<const BolBlock>& block) {
    const RecordingAccess bass = m_bank.Access(key.bassResource);
    const RecordingAccess pitch = m_bank.Access(key.pitchResource);
    const auto length = static_cast<std::uint32_t>(
        std::min<std::size_t>(std::max(bass.SampleCount(), pitch.SampleCount()),
                              std::numeric_limits<std::uint32_t>::max()));

    if (m_storedSamples->samples + length <= m_storedSampleBudget) {
        std::vector<std::int16_t> samples(length);
        // The sample bank mixes (and reports) exactly as for a full block: the
        // samples past the longer recording would stay zero.
        const AudioStatus status =
            adjusted.RenderInto(samples.data(), length, m_bank, m_sink, pitchLevel, bassLevel);
        if (status != AudioStatus::Ok)
            return status;
        block = std::make_shared<const BolBlock>(std::move(samples), m_storedSamples);
        return AudioStatus::Ok;
    }

    // Over budget: the block mixes when read. The bank's failures are reported
    // as the two mixes would report them.
    AudioStatus status = AudioStatus::Ok;
    const std::pair<const CSound*, const RecordingAccess*> voices[] = {{&adjusted.bass, &bass},
                                                                       {&adjusted.pitch, &pitch}};
    for (const auto& [sound, access] : voices) {
        if (!access->Ok()) {
            const AudioStatus failed =
                ReportAccessFailure(*access, ProgramPath(), sound->name, m_sink);
            if (status == AudioStatus::Ok)
                status = failed;
        }
    }
    if (status != AudioStatus::Ok)
        return status;
    auto voice = [](const RecordingAccess& access, float gain) {
        return BolVoice{access.Samples(), static_cast<std::uint32_t>(access.SampleCount()), gain,
                        access.owner};
    };
    block = std::make_shared<const BolBlock>(voice(bass, std::bit_cast<float>(key.bassGainBits)),
                                             voice(pitch, std::bit_cast<float>(key.pitchGainBits)));
    return AudioStatus::Ok;
}

AudioStatus CTaalRenderer::RenderBol(int index) {
    const CBol2* bol = m_taal.BolAt(index);
    if (bol == nullptr || index < 0 || static_cast<std::size_t>(index) >= m_cells.size())
        return AudioStatus::Ok;
    ++m_renderCount;
    BolCell& cell = m_cells[static_cast<std::size_t>(index)];
    const std::uint32_t count =
        TruncateToU32(static_cast<float>(m_playbackRate) * (bol->duration * 6.0f));

    // The bol as rendered: both emphases lowered by half the ceiling, so the
    // loudest bol of the Taal sums to 0 dB, then each drum at its level (the
    // gains as the sample bank's mix computes them).
    const float lower = 0.5f * m_ceiling;
    const float bassLevel = m_levels.BassGain();
    const float pitchLevel = m_levels.TrebleGain();
    const float bassGain = DbToGain(bol->bass.emphasis - lower) * bassLevel;
    const float pitchGain = DbToGain(bol->pitch.emphasis - lower) * pitchLevel;
    BlockKey key{LookupSampleResource(bol->bass.soundId), LookupSampleResource(bol->pitch.soundId),
                 std::bit_cast<std::uint32_t>(bassGain), std::bit_cast<std::uint32_t>(pitchGain)};
    // The silence adds nothing whatever its gain.
    if (key.bassResource == kSilenceResourceId)
        key.bassGainBits = 0;
    if (key.pitchResource == kSilenceResourceId)
        key.pitchGainBits = 0;

    if (m_blocksGeneration != m_bank.Generation()) {
        m_blocks.clear();
        m_blocksGeneration = m_bank.Generation();
    }

    const bool plain = m_style.endings == StrokeEndings::Cut && m_style.humanise == 0.0f &&
                       m_style.bassTuning == 0.0f;
    std::shared_ptr<const BolBlock> block;
    AudioStatus status = AudioStatus::Ok;
    try {
        if (plain) {
            status = SharedBlock(key, block, [&](std::shared_ptr<const BolBlock>& made) {
                CBol2 adjusted = *bol;
                adjusted.bass.emphasis -= lower;
                adjusted.pitch.emphasis -= lower;
                return MakeBlock(adjusted, key, pitchLevel, bassLevel, made);
            });
            cell.strikes = {};
        } else {
            const auto variant = static_cast<std::uint8_t>(
                VariantAt(static_cast<std::size_t>(index), m_style.humanise));
            const StrokeEnding bassEnding = StrokeEndingOf(bol->bass.soundId);
            const StrokeEnding pitchEnding = StrokeEndingOf(bol->pitch.soundId);
            const ShapedVoice both[] = {
                {&bol->bass, std::bit_cast<float>(key.bassGainBits), bassEnding.drum == Drum::Bass},
                {&bol->pitch, std::bit_cast<float>(key.pitchGainBits),
                 pitchEnding.drum == Drum::Bass}};
            if (m_style.endings == StrokeEndings::Cut) {
                BlockKey shaped = key;
                shaped.variant = variant;
                status = SharedBlock(shaped, block, [&](std::shared_ptr<const BolBlock>& made) {
                    return MakeShapedBlock(both, variant, made);
                });
                cell.strikes = {};
            } else {
                const StrokeEnding endings[] = {bassEnding, pitchEnding};
                status = MakeStrikes(key, both, endings, variant, cell);
            }
        }
    } catch (const std::bad_alloc&) {
        cell = {};
        m_sink.Show({MessageKind::Error, StatusText(AudioStatus::OutOfMemory)});
        return AudioStatus::OutOfMemory;
    }
    if (status != AudioStatus::Ok) {
        cell = {};
        return status;
    }
    cell.sampleCount = count;
    cell.block = std::move(block);
    return AudioStatus::Ok;
}

AudioStatus CTaalRenderer::MakeStrikes(const BlockKey& key, std::span<const ShapedVoice, 2> both,
                                       std::span<const StrokeEnding, 2> endings,
                                       std::uint8_t variant, BolCell& cell) {
    // Each drum's strokes apart, so that each rings until its drum is struck
    // again; the block keeps of the bol's two sounds those on the drum.
    for (std::size_t drum = 0; drum < 2; ++drum) {
        const Drum which = drum == 0 ? Drum::Treble : Drum::Bass;
        BlockKey part = key;
        part.part = static_cast<std::uint8_t>(1 + drum);
        part.variant = variant;
        std::uint16_t* resources[] = {&part.bassResource, &part.pitchResource};
        std::uint32_t* gains[] = {&part.bassGainBits, &part.pitchGainBits};
        std::vector<ShapedVoice> voices;
        float damp = 0.0f;
        for (std::size_t k = 0; k < 2; ++k) {
            if (endings[k].drum != which || *resources[k] == kSilenceResourceId) {
                *resources[k] = kSilenceResourceId;
                *gains[k] = 0;
                continue;
            }
            voices.push_back(both[k]);
            // Two strokes on one drum damp it as fast as the faster one.
            damp = voices.size() == 1 ? endings[k].dampMs : std::min(damp, endings[k].dampMs);
        }
        BolCell::Strike& strike = cell.strikes[drum];
        strike = {};
        if (voices.empty())
            continue;
        const AudioStatus status =
            SharedBlock(part, strike.block, [&](std::shared_ptr<const BolBlock>& made) {
                return MakeShapedBlock(voices, variant, made);
            });
        if (status != AudioStatus::Ok)
            return status;
        strike.dampMs = damp;
    }
    return AudioStatus::Ok;
}

template <typename Make>
AudioStatus CTaalRenderer::SharedBlock(const BlockKey& key, std::shared_ptr<const BolBlock>& block,
                                       Make make) {
    if (auto found = m_blocks.find(key); found != m_blocks.end()) {
        if (auto shared = found->second.lock()) {
            block = std::move(shared);
            return AudioStatus::Ok;
        }
    }
    const AudioStatus status = make(block);
    if (status == AudioStatus::Ok) {
        // Forget blocks nobody uses any more before the map grows.
        if (m_blocks.size() >= 64 && (m_blocks.size() & (m_blocks.size() - 1)) == 0)
            std::erase_if(m_blocks, [](const auto& entry) { return entry.second.expired(); });
        m_blocks[key] = block;
    }
    return status;
}

AudioStatus CTaalRenderer::MakeShapedBlock(std::span<const ShapedVoice> voices,
                                           std::uint32_t variant,
                                           std::shared_ptr<const BolBlock>& block) {
    std::vector<std::vector<std::int16_t>> shaped;
    std::vector<float> gains;
    std::size_t length = 0;
    for (const ShapedVoice& voice : voices) {
        const RecordingAccess access = m_bank.Access(LookupSampleResource(voice.sound->soundId));
        if (!access.Ok())
            return ReportAccessFailure(access, ProgramPath(), voice.sound->name, m_sink);
        const HitVariation hit =
            VariationOf(variant, voice.sound->soundId,
                        voice.sound->soundId == kSilenceSoundId ? 0.0f : m_style.humanise);
        const float cents = hit.cents + (voice.onBassDrum ? 100.0f * m_style.bassTuning : 0.0f);
        const std::span<const unsigned char> samples =
            access.SampleCount() == 0
                ? std::span<const unsigned char>()
                : access.bytes.subspan(kWaveHeaderSize, 2 * access.SampleCount());
        shaped.push_back(ShapeStroke(samples, cents, hit.tilt, m_resampler));
        gains.push_back(voice.gain * DbToGain(hit.levelDb));
        length = std::max(length, shaped.back().size());
    }
    length = std::min<std::size_t>(length, std::numeric_limits<std::uint32_t>::max());

    if (m_storedSamples->samples + length <= m_storedSampleBudget) {
        std::vector<std::int16_t> samples(length);
        for (std::size_t k = 0; k < shaped.size(); ++k)
            MixSamples(reinterpret_cast<const unsigned char*>(shaped[k].data()),
                       std::min(length, shaped[k].size()), gains[k], samples.data());
        block = std::make_shared<const BolBlock>(std::move(samples), m_storedSamples);
        return AudioStatus::Ok;
    }
    // Over budget: the shaped strokes are kept and mixed when read.
    std::array<BolVoice, 2> parts{};
    for (std::size_t k = 0; k < shaped.size() && k < parts.size(); ++k) {
        auto owned = std::make_shared<const std::vector<std::int16_t>>(std::move(shaped[k]));
        parts[k] = {reinterpret_cast<const unsigned char*>(owned->data()),
                    static_cast<std::uint32_t>(owned->size()), gains[k], owned};
    }
    block = std::make_shared<const BolBlock>(std::move(parts[0]), std::move(parts[1]));
    return AudioStatus::Ok;
}

void CTaalRenderer::SetStrokeStyle(const StrokeStyle& style) {
    m_style = style.Clamped();
    // Blocks in use stay alive with their cells; new ones follow the style.
    m_blocks.clear();
}

AudioStatus CTaalRenderer::RenderAllBols() {
    UpdateEmphasisCeiling();
    SyncCells();
    AudioStatus status = AudioStatus::Ok;
    for (int i = 0; i < m_taal.Count(); ++i) {
        status = RenderBol(i);
        if (status != AudioStatus::Ok)
            m_sink.Show({MessageKind::Error,
                         FormatMessage(messages::kCannotLoadBol, m_taal.BolAt(i)->name)});
    }
    return status;
}

void CTaalRenderer::ReportLoadError(AudioStatus status) {
    m_sink.Show({MessageKind::Error,
                 FormatMessage(messages::kErrorLoadingTaal, FormatHex(StatusNumber(status)))});
}

AudioStatus CTaalRenderer::InitialUpdate() {
    m_cells.clear();
    const AudioStatus status = RenderAllBols();
    if (status != AudioStatus::Ok)
        ReportLoadError(status);
    return status;
}

AudioStatus CTaalRenderer::InsertBolView(int afterIndex, std::optional<BolCell> cell) {
    const bool isNew = !cell.has_value();
    const std::size_t position =
        afterIndex < 0 ? 0 : std::min(static_cast<std::size_t>(afterIndex) + 1, m_cells.size());
    m_cells.insert(m_cells.begin() + static_cast<std::ptrdiff_t>(position),
                   cell ? std::move(*cell) : BolCell{});
    const float before = m_ceiling;
    UpdateEmphasisCeiling();
    if (m_ceiling == before) {
        if (isNew)
            return RenderBol(static_cast<int>(position));
        return AudioStatus::Ok;
    }
    const AudioStatus status = RenderAllBols();
    if (status != AudioStatus::Ok)
        ReportLoadError(status);
    return status;
}

std::optional<BolCell> CTaalRenderer::RemoveBolView(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_cells.size())
        return std::nullopt;
    BolCell removed = std::move(m_cells[static_cast<std::size_t>(index)]);
    m_cells.erase(m_cells.begin() + index);
    const float before = m_ceiling;
    UpdateEmphasisCeiling();
    if (m_ceiling != before) {
        if (const AudioStatus status = RenderAllBols(); status != AudioStatus::Ok)
            ReportLoadError(status);
    }
    return removed;
}

AudioStatus CTaalRenderer::RenderChangedBols(int first, int count) {
    const float before = m_ceiling;
    UpdateEmphasisCeiling();
    if (m_ceiling != before) {
        const AudioStatus status = RenderAllBols();
        if (status != AudioStatus::Ok)
            ReportLoadError(status);
        return status;
    }
    for (int index = first; index < first + count; ++index) {
        if (const AudioStatus status = RenderBol(index); status != AudioStatus::Ok) {
            const CBol2* bol = m_taal.BolAt(index);
            m_sink.Show({MessageKind::Error,
                         FormatMessage(messages::kCannotLoadBol, bol ? bol->name : "")});
            return status;
        }
    }
    return AudioStatus::Ok;
}

AudioStatus CTaalRenderer::ApplyBolEdit(int index) {
    if (const AudioStatus status = RenderChangedBols(index, 1); status != AudioStatus::Ok)
        return status;
    return m_playing ? BuildTaalImage() : AudioStatus::Ok;
}

std::unique_ptr<TaalImage> CTaalRenderer::MakeImage(float secondsPerBeat) const {
    const auto count = static_cast<std::size_t>(std::max(0, m_taal.Count()));
    std::vector<std::uint32_t> slots(count);
    std::vector<std::uint64_t> bolStarts(count + 1);
    const bool rings = m_style.endings == StrokeEndings::Ring;
    std::vector<TaalImage::Segment> segments(rings ? 0 : count);
    const auto rate = static_cast<float>(m_playbackRate);
    std::uint64_t total = 0;
    std::size_t i = 0;
    for (const auto& bol : m_taal.Bols()) {
        const std::uint32_t slot =
            TruncateToU32(static_cast<float>(bol->duration * secondsPerBeat) * rate);
        slots[i] = slot;
        total += slot;
        bolStarts[i + 1] = total;
        // The slot takes the block's samples as far as both reach; a slot
        // longer than the block (or than what the block stores) is silent
        // beyond, and the block is never read past its end.
        if (!rings && i < m_cells.size() && m_cells[i].block) {
            segments[i].block = m_cells[i].block;
            segments[i].valid =
                std::min({slot, m_cells[i].sampleCount, m_cells[i].block->Length()});
        }
        ++i;
    }

    WaveHeader header = m_image->Header();
    const std::uint64_t size = kWaveHeaderSize + 2 * total;
    // Sizes past what the fields can hold read as their largest value.
    PutLe32(header, kDataSizeOffset, SaturateToU32(size - kWaveHeaderSize));
    PutLe32(header, kRiffSizeOffset, SaturateToU32(size - 8));
    std::unique_ptr<TaalImage> image;
    if (rings) {
        // Each drum's strokes at their bols' starts (moved by the humanised
        // timing, around the cycle), in order of onset.
        std::array<TaalImage::DrumStrikes, 2> strikes;
        const auto length = static_cast<std::int64_t>(total);
        for (std::size_t bol = 0; bol < count && total > 0; ++bol) {
            if (bol >= m_cells.size())
                break;
            const std::int64_t onset = static_cast<std::int64_t>(bolStarts[bol]) +
                                       TimingAt(bol, m_style.humanise, m_playbackRate);
            for (std::size_t drum = 0; drum < 2; ++drum) {
                const BolCell::Strike& strike = m_cells[bol].strikes[drum];
                if (!strike.block)
                    continue;
                strikes[drum].push_back(
                    {static_cast<std::uint64_t>((onset % length + length) % length),
                     TruncateToU32(strike.dampMs * 0.001f * rate), strike.block});
            }
        }
        for (auto& drum : strikes)
            std::stable_sort(drum.begin(), drum.end(),
                             [](const auto& a, const auto& b) { return a.onset < b.onset; });
        image = std::make_unique<TaalImage>(header, std::move(slots), std::move(bolStarts),
                                            std::move(strikes[0]), std::move(strikes[1]));
    } else {
        image = std::make_unique<TaalImage>(header, std::move(slots), std::move(bolStarts),
                                            std::move(segments));
    }
    image->SetBeats(m_taal.Total());
    return image;
}

AudioStatus CTaalRenderer::BuildTaalImage() {
    // A waiting next cycle is rebuilt below with this one, unless playback
    // has already taken it.
    const bool wasWaiting = m_next != nullptr;
    WithdrawNextCycle();
    const bool rebuildNext =
        wasWaiting && !m_nextHandedIn && m_nextSecondsPerBeat != m_secondsPerBeat;

    if (m_pitchFactor != 1.0f) {
        m_playbackRate = PlaybackRateFor(m_pitchFactor);
        WaveHeader& current = m_image->MutableHeader();
        PutLe32(current, kSampleRateOffset, m_playbackRate);
        PutLe32(current, kBytesPerSecondOffset, 2 * m_playbackRate);
        m_format.samplesPerSec = m_playbackRate;
        m_format.avgBytesPerSec = m_format.blockAlign * m_playbackRate;
    }

    std::unique_ptr<TaalImage> image;
    try {
        image = MakeImage(m_secondsPerBeat);
    } catch (const std::bad_alloc&) {
        m_sink.Show({MessageKind::Error, StatusText(AudioStatus::OutOfMemory)});
        return AudioStatus::OutOfMemory;
    }
    m_format.samplesPerSec = m_playbackRate;
    m_format.avgBytesPerSec = m_format.blockAlign * m_playbackRate;

    if (m_imageBuilt)
        m_imageBuilt(*image);
    std::swap(m_image, image);
    // The old image goes here, once playback has moved on from it.
    image.reset();
    return rebuildNext ? PrepareNextCycle(m_nextSecondsPerBeat) : AudioStatus::Ok;
}

AudioStatus CTaalRenderer::PrepareNextCycle(float secondsPerBeat) {
    WithdrawNextCycle();
    if (!m_nextCycle || secondsPerBeat == m_secondsPerBeat)
        return AudioStatus::Ok;
    try {
        m_next = MakeImage(secondsPerBeat);
    } catch (const std::bad_alloc&) {
        m_sink.Show({MessageKind::Error, StatusText(AudioStatus::OutOfMemory)});
        return AudioStatus::OutOfMemory;
    }
    m_nextSecondsPerBeat = secondsPerBeat;
    m_nextCycle(m_next.get());
    return AudioStatus::Ok;
}

void CTaalRenderer::HandNextCycle(std::unique_ptr<TaalImage> image, float secondsPerBeat) {
    WithdrawNextCycle();
    if (!m_nextCycle || !image)
        return;
    m_next = std::move(image);
    m_nextSecondsPerBeat = secondsPerBeat;
    m_nextHandedIn = true;
    m_nextCycle(m_next.get());
}

void CTaalRenderer::SetDrumLevels(const DrumLevels& levels) {
    m_levels = levels.Clamped();
}

bool CTaalRenderer::AdoptNextCycle() {
    if (!m_next || !m_imageInUse || m_imageInUse() != m_next.get())
        return false;
    // Playback reads the new image and no longer the old one.
    std::swap(m_image, m_next);
    m_secondsPerBeat = m_nextSecondsPerBeat;
    m_next.reset();
    m_nextHandedIn = false;
    return true;
}

void CTaalRenderer::WithdrawNextCycle() {
    if (!m_next)
        return;
    // Withdrawn first: after this, playback can no longer switch to it.
    if (m_nextCycle)
        m_nextCycle(nullptr);
    if (!AdoptNextCycle()) {
        m_next.reset();
        m_nextHandedIn = false;
    }
}

AudioStatus CTaalRenderer::SetTempo(float secondsPerBeat) {
    // A tempo set outright replaces a next cycle's waiting.
    WithdrawNextCycle();
    m_secondsPerBeat = secondsPerBeat;
    return m_playing ? BuildTaalImage() : AudioStatus::Ok;
}

AudioStatus CTaalRenderer::SetPitch(float factor) {
    m_pitchFactor = factor;
    m_playbackRate = PlaybackRateFor(factor);
    if (!m_playing)
        return AudioStatus::Ok;
    const AudioStatus status = BuildTaalImage();
    if (m_rateChanged)
        m_rateChanged(m_playbackRate);
    return status;
}

} // namespace lorvanta
