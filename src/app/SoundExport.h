#pragma once

// File > Save Sound: the Taal image, at the tempo and pitch now in force,
// written to a WAV file (the image's bytes) or a FLAC file (its samples).

#include "ui/Services.h"

#include <QString>

#include <functional>

class QWidget;

namespace lorvanta {

class CLorvantaDoc;
class CTaalRenderer;
class MessageSink;

// The file types offered, each at 44.1 kHz (the first, the default) or 48
// kHz; a name without an extension becomes a ".wav" file.
inline constexpr const char* kSoundFileFilter =
    "WAVE File, 44.1 kHz (*.wav);;WAVE File, 48 kHz (*.wav);;FLAC File, 44.1 kHz "
    "(*.flac);;FLAC File, 48 kHz (*.flac);;All Files (*.*)";

// Where to write the sound, starting from a suggested name, and at which
// rate; an empty file when the user cancels.
using SoundFileChooser = std::function<SoundFileChoice(QWidget* parent, const QString& suggested)>;

// The desktop's save dialog with the filter above; the rate follows the type
// chosen.
SoundFileChoice ChooseSoundFile(QWidget* parent, const QString& suggested);

// Enabling: there is something to hear.
bool CanSaveSound(const CLorvantaDoc& doc);

// The name offered: the document's file with the sound extension, or the
// Taal's name in the current folder.
QString SuggestedSoundFileName(const CLorvantaDoc& doc);

// Asks for a file, builds the image from the renderer's blocks at its tempo
// and pitch, and writes it at the rate chosen (converted from the image's). Failures are shown
// through sink. Returns whether a file was written.
bool SaveSound(const CLorvantaDoc& doc, CTaalRenderer& renderer, MessageSink& sink,
               const SoundFileChooser& choose, QWidget* parent = nullptr);

} // namespace lorvanta
