#include "app/MergeTaal.h"

#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "persistence/TaalFile.h"
#include "session/TaalEditor.h"

#include <QFile>

#include <filesystem>
#include <vector>

namespace lorvanta {

int MergeTaalFile(CTaalEditor& editor, MessageSink& sink, const QString& path) {
    // Read aside; the open document is touched only through the editor.
    CLorvantaDoc merged;
    const ReadOutcome outcome =
        OpenTaalFile(merged, std::filesystem::path(QFile::encodeName(path).toStdString()), sink,
                     OpenedFor::BolsOnly);
    if (outcome.structuralError || merged.Taal().IsEmpty())
        return 0;
    std::vector<const CBol2*> bols;
    bols.reserve(merged.Taal().Bols().size());
    for (const auto& bol : merged.Taal().Bols())
        bols.push_back(bol.get());
    if (const auto refused = LimitMessage(editor.InsertBols(bols))) {
        sink.Show(*refused);
        return 0;
    }
    return static_cast<int>(bols.size());
}

int MergeTaal(CTaalEditor& editor, MessageSink& sink, const TaalFileChooser& choose,
              QWidget* parent) {
    const QString path = choose ? choose(parent) : QString();
    if (path.isEmpty())
        return 0;
    return MergeTaalFile(editor, sink, path);
}

} // namespace lorvanta
