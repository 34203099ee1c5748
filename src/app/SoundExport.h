#pragma once

// File > Save Sound: the Taal image, at the tempo and pitch now in force,
// written to a WAV file (the image's bytes) or a FLAC file (its samples).

#include <QString>

#include <functional>

class QWidget;

namespace lorvanta {

class CLorvantaDoc;
class CTaalRenderer;
class MessageSink;

// The file types offered; a name without an extension becomes a ".wav" file.
inline constexpr const char* kSoundFileFilter =
    "WAVE File (*.wav);;FLAC File (*.flac);;All Files (*.*)";

// Where to write the sound, starting from a suggested name; empty when the
// user cancels.
using SoundFileChooser = std::function<QString(QWidget* parent, const QString& suggested)>;

// The desktop's save dialog with the filter above.
QString ChooseSoundFile(QWidget* parent, const QString& suggested);

// Enabling: there is something to hear.
bool CanSaveSound(const CLorvantaDoc& doc);

// The name offered: the document's file with the sound extension, or the
// Taal's name in the current folder.
QString SuggestedSoundFileName(const CLorvantaDoc& doc);

// Asks for a file, builds the image from the renderer's blocks at its tempo
// and pitch, and writes it. Failures are shown through sink. Returns whether
// a file was written, and its path in `written` when given.
bool SaveSound(const CLorvantaDoc& doc, CTaalRenderer& renderer, MessageSink& sink,
               const SoundFileChooser& choose, QWidget* parent = nullptr,
               QString* written = nullptr);

// What the status bar says after a save: the file's name and what it holds,
// "Saved Teentaal.wav: one cycle of 16 beats, 9.60 s at 22050 Hz".
QString SavedSoundMessage(const QString& path, const CTaalRenderer& renderer);

} // namespace lorvanta
