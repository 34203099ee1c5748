#pragma once

// What the views are given by the program: the user's settings (kept in the
// program's settings store) and the desktop's services (dialogs, browser,
// file manager). Tests give their own.

#include "audio/DrumLevels.h"
#include "audio/StrokeStyle.h"
#include "session/LorvantaSession.h"
#include "soundfiles/StrokeKit.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <optional>

class QWidget;

namespace lorvanta {

// How the grid shows the playing position.
enum PlayingBeatDisplay : std::uint32_t {
    kDisplayBeatNumber = 0,
    kDisplayBolName = 1,
};

struct AppSettings {
    QString taalsFolder;
    std::uint32_t playingBeatDisplay = kDisplayBeatNumber;
    KitChoice strokes = DefaultKitChoice();
    // The tanpura: on or off, its first string, its octave and its level.
    DroneSettings drone;
    // The lehra: on or off, which one, its instrument and its level.
    LehraSettings lehra{};
    // The grid's rows start at vibhags (when the Taal has them).
    bool rowsByVibhag = true;
    // The treble, bass and master levels of the mixer bar.
    DrumLevels levels{};
    // The sound output device, as listed ("HOST: DEVICE"); empty: the default.
    QString soundOutput{};
    // How strokes end, the humanise (Options) and the bass drum's tuning
    // (beside the pitch bar).
    StrokeStyle style = kDefaultStrokeStyle;
};

// A sound file to write and the rate to write it at.
struct SoundFileChoice {
    SoundFileChoice(QString name = {}, std::uint32_t sampleRate = 44100)
        : file(std::move(name)), rate(sampleRate) {}
    QString file;
    std::uint32_t rate;
};

// What the program asks of the desktop: file and folder pickers and opening a
// web address. Tests put their own answers in place of the real dialogs.
struct ShellServices {
    // A Taal file to open; empty when the user cancels.
    std::function<QString(QWidget* parent)> chooseOpenFile;
    // Where to save a Taal, starting from the suggested name; empty when the
    // user cancels.
    std::function<QString(QWidget* parent, const QString& suggested)> chooseSaveFile;
    // A folder, under a title and starting at a folder; empty when cancelled.
    std::function<QString(QWidget* parent, const QString& title, const QString& start)>
        chooseFolder;
    // Opens an address in the desktop's program for it; the reason on failure.
    std::function<std::optional<QString>(const QUrl& address)> openUrl;
    // Whether the desktop has a web browser to offer the help in.
    std::function<bool()> hasBrowser;
    // Shows a file in the desktop's file manager, selected in its folder, or
    // at least opens the folder; the reason on failure.
    std::function<std::optional<QString>(const QString& file)> showInFileManager;
    // Where to write the Taal's sound, starting from the suggested name, and
    // at which rate; an empty file when the user cancels.
    std::function<SoundFileChoice(QWidget* parent, const QString& suggested)> chooseSoundFile;
    // The Taal file whose bols Merge Taal adds; empty when the user cancels.
    // Unset: chooseOpenFile.
    std::function<QString(QWidget* parent)> chooseMergeFile;
};

// The file filter of Taal files, and their extension.
inline constexpr const char* kTaalFileFilter = "Lorvanta Taal (*.tal)";
inline constexpr const char* kTaalExtension = ".tal";

} // namespace lorvanta
