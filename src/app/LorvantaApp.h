#pragma once

// The application: start-up, the one document and every way of opening,
// creating and saving it, and exit.

#include "app/RecentFileList.h"
#include "app/ShellServices.h"
#include "audio/SampleBank.h"
#include "audio/playback/DirectSound.h"
#include "model/LorvantaDoc.h"
#include "session/LorvantaSession.h"
#include "soundfiles/StrokeKit.h"

#include <QObject>
#include <QStringList>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace lorvanta {

class CMainFrame;
class MessageSink;

// The sound devices a program with a sound card offers: their names as
// listed, and opening one by name (empty: the default).
struct SoundOutputServices {
    std::function<QStringList()> list;
    std::function<HResult(const std::string& device, std::unique_ptr<OutputDevice>& out)> open;
};

class CLorvantaApp : public QObject {
    Q_OBJECT

public:
    // The document template's names.
    static constexpr const char* kNewDocumentName = "New Taal";
    static constexpr const char* kAskToSave = "Save changes to %1?";
    static constexpr const char* kSaveFailed = "Unable to save %1:\n\n%2";

    // Everything passed in must outlive the application.
    CLorvantaApp(MessageSink& sink, ShellServices shell, OutputOpener opener);
    // Closes the window (which writes the settings), then frees the bol
    // dictionary.
    ~CLorvantaApp() override;

    // The bol dictionary to read instead of "Tabla Bols.txt" beside the
    // program; before InitInstance.
    void SetBolTablePath(std::filesystem::path path) { m_bolTablePath = std::move(path); }

    // Start-up, in order: the recent-file list; the bol dictionary; the
    // command line ([--kit KIT] [--new-instance] [FILE]) with the window
    // and its panes, the strokes (--kit's for this run, else the setting's),
    // the file opened or a new document (also when the file cannot be read);
    // the window shown, taking dropped files.
    // False when the program must end (no bol table, a bad command line);
    // the reason has been shown.
    bool InitInstance(const QStringList& arguments);

    // Every opening of a Taal file goes through here: the current document is
    // offered for saving, the file read, the tempo rule applied and the tempo
    // bar set. False when no document results.
    bool OpenDocumentFile(const QString& path);

    // The document commands.
    void OnFileNew();
    void OnFileOpen();
    bool OnFileSave();
    bool OnFileSaveAs();
    void OnOpenRecentFile(int index);
    void OnAppAbout();
    // Plays the strokes of another kit from now on, heard at once while
    // playing. Returns what a kit folder gave.
    StrokeKitResult ChangeStrokes(const KitChoice& choice);
    const KitChoice& StrokesInUse() const { return m_strokes; }
    // True while a kit loads: requests from outside wait.
    bool IsLoadingKit() const { return m_loadingKit; }
    CSampleBank& Bank() { return m_bank; }
    // Asks to save a modified document: Yes saves, No goes on, Cancel stops.
    // Returns whether to go on.
    bool SaveModified();

    // The session and its document exist from the window's creation on.
    CLorvantaSession& Session() { return *m_session; }
    CLorvantaDoc& Document() { return m_session->Document(); }
    CMainFrame* MainFrame() const { return m_frame.get(); }
    CRecentFileList& RecentFiles() { return m_recentFiles; }
    const ShellServices& Shell() const { return m_shell; }
    // Devices to choose from; before InitInstance. Without them the output
    // opener given at construction plays, and Options offers only Default.
    void SetSoundOutputServices(SoundOutputServices services) { m_outputs = std::move(services); }
    QStringList SoundOutputs() const { return m_outputs.list ? m_outputs.list() : QStringList(); }
    // The device chosen in Options (empty: the default): playing moves to it
    // at once, at the same place in the cycle.
    void ChangeSoundOutput(const QString& device);
    // The device asked for in this run (--device, else the setting).
    const std::string& SoundOutputWanted() const { return m_outputName; }

private:
    enum class OpenResult { Opened, Cancelled, Failed };
    OpenResult OpenDocument(const QString& path);
    bool ProcessCommandLine(const QStringList& arguments);
    void CreateMainFrame();
    // Saves to path, or asks where when it is empty. False when not saved.
    bool DoSave(const QString& path);
    // A fresh "New Taal" in place of the document, shown by every view.
    void ResetToNewDocument();
    // ApplyKitChoice with a progress box over the window while a slow kit loads.
    StrokeKitResult ApplyKit(const KitChoice& choice);

    MessageSink& m_sink;
    ShellServices m_shell;
    OutputOpener m_opener;
    SoundOutputServices m_outputs;
    std::string m_outputName;
    // How the session opens its output: the device wanted, when devices can
    // be chosen.
    OutputOpener ChosenOpener();
    std::filesystem::path m_bolTablePath;
    // The file the document was read from when its read failed a check: saving
    // over it asks first, since what was read is not all the file held.
    std::filesystem::path m_notReadWhole;
    CSampleBank m_bank;
    KitChoice m_strokes;
    bool m_loadingKit = false;
    CRecentFileList m_recentFiles;
    // Made with the window, once the bol table is read; the window goes first.
    std::unique_ptr<CLorvantaSession> m_session;
    std::unique_ptr<CMainFrame> m_frame;
};

} // namespace lorvanta
