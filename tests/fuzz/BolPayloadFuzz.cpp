// Feeds arbitrary bytes to the bol clipboard reader, then pastes them into a
// Taal through the editor. A payload that is accepted must write out and read
// back, paste all of its bols, and leave the Taal as it was after an Undo; one
// that is refused must say why and paste nothing. What was pasted lays out and
// renders.
#include "LayOutAndPlay.h"

#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "session/TaalEditor.h"
#include "persistence/BolClipboard.h"
#include "persistence/TaalFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace lorvanta;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> payload(data, data + size);
    std::vector<std::unique_ptr<CBol2>> bols;
    std::string error;
    const bool accepted = ReadBolPayload(payload, bols, error);
    if (!accepted && (error.empty() || !bols.empty()))
        std::abort();
    if (accepted) {
        std::vector<const CBol2*> list;
        for (const auto& bol : bols)
            list.push_back(bol.get());
        std::vector<std::unique_ptr<CBol2>> again;
        if (!ReadBolPayload(WriteBolPayload(list), again, error) || again.size() != bols.size())
            std::abort();
    }

    CLorvantaDoc doc;
    doc.InsertBol(-1);
    RecordingMessageSink sink;
    MemoryClipboard clipboard;
    clipboard.Put(payload);
    CTaalEditor editor(doc, sink, &clipboard);
    const std::vector<std::uint8_t> before = WriteTaalDocument(doc);
    editor.Paste();
    const std::size_t expected = 1 + (accepted ? bols.size() : 0);
    if (static_cast<std::size_t>(doc.Taal().Count()) != expected)
        std::abort();
    if (accepted != sink.Messages().empty())
        std::abort();
    fuzz::LayOutAndPlay(doc.Taal());
    editor.Undo();
    if (WriteTaalDocument(doc) != before)
        std::abort();
    return 0;
}
