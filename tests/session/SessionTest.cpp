// The session headless: after any mix of edits, undos and redos the
// renderer's cells are what rendering the Taal afresh gives, and edits while
// playing are heard as the Taal now is.
#include "audio/SampleBank.h"
#include "audio/TaalRenderer.h"
#include "model/Bol.h"
#include "model/Messages.h"
#include "session/LorvantaSession.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

namespace lorvanta {
namespace {

// Each cell's block as bytes (empty when the bol has no block).
std::vector<std::vector<unsigned char>> CellBytes(const CTaalRenderer& renderer) {
    std::vector<std::vector<unsigned char>> cells;
    for (const BolCell& cell : renderer.Cells()) {
        std::vector<unsigned char> bytes;
        if (cell.block) {
            bytes.resize(2 * std::size_t{cell.block->Length()});
            cell.block->CopyBytes(0, bytes.data(), bytes.size());
        }
        bytes.push_back(static_cast<unsigned char>(cell.sampleCount % 251));
        cells.push_back(std::move(bytes));
    }
    return cells;
}

TEST(Session, RendererCellsFollowEveryEdit) {
    CSampleBank bank;
    RecordingMessageSink sink;
    std::mt19937 random(7);
    // Small edits go bol by bol, large ones (Select All, Paste of many) in one pass.
    const std::vector<std::function<void(CTaalEditor&)>> edits = {
        [](CTaalEditor& e) { e.Insert(); },
        [](CTaalEditor& e) { e.Delete(); },
        [](CTaalEditor& e) { e.Copy(), e.Paste(); },
        [](CTaalEditor& e) { e.Undo(); },
        [](CTaalEditor& e) { e.Redo(); },
        [](CTaalEditor& e) { e.ExpandSelected(0.5f); },
        [](CTaalEditor& e) { e.SelectAll(); },
        [](CTaalEditor& e) {
            e.Click(2, {false, true}), e.Click(9, {false, true});
        },
        [&](CTaalEditor& e) {
            CBol2 loud("Dha", 0, 1.5f);
            loud.pitch.emphasis = 30.0f;
            loud.pitch.soundId = static_cast<SoundId>(random() % 20);
            e.ApplyBolProperties(loud);
        },
    };
    for (int run = 0; run < 6; ++run) {
        MemoryClipboard clipboard;
        CLorvantaSession session(bank, sink, nullptr, &clipboard);
        for (int i = 0; i < 24; ++i) {
            session.Document().InsertBol(i - 1);
            CBol2& bol = *session.Document().Taal().BolAt(i);
            bol.pitch.emphasis = static_cast<float>(random() % 9) - 4.0f;
            bol.pitch.soundId = static_cast<SoundId>(random() % 20);
            bol.bass.soundId = static_cast<SoundId>(20 + random() % 8);
        }
        session.OnInitialUpdate();
        for (int step = 0; step < 40; ++step) {
            session.Editor().Click(static_cast<int>(random() % 30), {});
            edits[random() % edits.size()](session.Editor());
            CTaalRenderer fresh(session.Document().Taal(), bank, sink);
            fresh.RenderAllBols();
            ASSERT_EQ(CellBytes(session.Renderer()), CellBytes(fresh))
                << "run " << run << " step " << step;
        }
    }
}

} // namespace
} // namespace lorvanta
