#include "app/LorvantaApp.h"

#include "app/HelpPage.h"
#include "app/MainFrame.h"
#include "model/BolDictionary.h"
#include "model/Messages.h"
#include "model/Text.h"
#include "soundfiles/StrokeKit.h"
#include "ui/dialogs/AboutDialog.h"
#include "ui/grid/LorvantaView.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QProgressDialog>

#include <cstdio>

namespace lorvanta {

CLorvantaApp::CLorvantaApp(MessageSink& sink, ShellServices shell, OutputOpener opener)
    : m_sink(sink), m_shell(std::move(shell)), m_opener(std::move(opener)) {}

CLorvantaApp::~CLorvantaApp() {
    m_frame.reset();
    ProcessBolDictionary().Clear();
}

bool CLorvantaApp::InitInstance(const QStringList& arguments) {
    m_recentFiles.Load();

    // The user's own "Tabla Bols.txt", then the program's, unless told which.
    const std::vector<std::filesystem::path> bolTables =
        m_bolTablePath.empty() ? DefaultBolTableFiles()
                               : std::vector<std::filesystem::path>{m_bolTablePath};
    if (const BolTableStatus status = LoadBolTable(bolTables); status != BolTableStatus::Ok) {
        m_sink.Show({MessageKind::Error, BolTableFailureText(status)});
        return false;
    }

    if (!ProcessCommandLine(arguments)) {
        m_frame.reset();
        return false;
    }

    m_frame->show();
    m_frame->setAcceptDrops(true);
    if (const auto skipped = SkippedLinesText(ProcessBolDictionary().SkippedLines()))
        m_sink.Show({MessageKind::Warning, *skipped});
    // The grid is the active view: Space plays from the start.
    m_frame->GetGridView()->setFocus(Qt::ActiveWindowFocusReason);
    return true;
}

bool CLorvantaApp::ProcessCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption kit(
        QStringLiteral("kit"),
        QStringLiteral("Play the recorded, synthesised or a folder's strokes."),
        QStringLiteral("KIT"));
    parser.addOption(kit);
    const QCommandLineOption device(QStringLiteral("device"),
                                    QStringLiteral("Play through this sound output."),
                                    QStringLiteral("NAME"));
    parser.addOption(device);
    // Read by main(): a window of its own even when the program runs already.
    parser.addOption(QCommandLineOption(QStringLiteral("new-instance")));
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A Taal file to open."));
    std::optional<KitChoice> kitChoice;
    const bool parsed = parser.parse(arguments);
    if (parsed && parser.isSet(kit))
        kitChoice = ParseKitChoice(QFile::encodeName(parser.value(kit)).toStdString());
    if (!parsed || parser.positionalArguments().size() > 1 || (parser.isSet(kit) && !kitChoice)) {
        QString problem = parser.errorText();
        if (problem.isEmpty())
            problem = parser.positionalArguments().size() > 1
                          ? QStringLiteral("Only one Taal file can be opened.")
                          : QStringLiteral("--kit takes recorded, synthesised or a folder; "
                                           "this build has no recorded kit.");
        m_sink.Show(
            {MessageKind::Error,
             (problem +
              QStringLiteral(
                  "\n\nUsage: lorvanta [--kit KIT] [--device NAME] [--new-instance] [FILE]"))
                 .toStdString()});
        return false;
    }

    // A --device is for this run only, as a --kit is.
    m_outputName = (parser.isSet(device) ? parser.value(device) : QString()).toStdString();
    CreateMainFrame();
    if (!parser.isSet(device))
        m_outputName = m_frame->Settings().soundOutput.toStdString();
    // A --kit is for this run only; the setting stays as it is.
    m_strokes = kitChoice.value_or(m_frame->Settings().strokes);
    const StrokeKitResult fromFolder = ApplyKit(m_strokes);
    if (kitChoice && fromFolder.folderRead)
        std::fprintf(stderr, "lorvanta: %s from %s\n",
                     fromFolder.replaced.empty()
                         ? "no strokes"
                         : ("strokes " + ReplacedIdsText(fromFolder.replaced)).c_str(),
                     ShownName(m_strokes.folder.string()).c_str());
    // A file that cannot be read has shown its message; the window then
    // opens on a new Taal.
    if (parser.positionalArguments().isEmpty() ||
        !OpenDocumentFile(parser.positionalArguments().constFirst()))
        ResetToNewDocument();
    return true;
}

StrokeKitResult CLorvantaApp::ChangeStrokes(const KitChoice& choice) {
    m_strokes = choice;
    const StrokeKitResult result = ApplyKit(choice);
    if (m_frame)
        m_session->OnStrokesChanged();
    return result;
}

OutputOpener CLorvantaApp::ChosenOpener() {
    if (!m_outputs.open)
        return m_opener;
    return [this](std::unique_ptr<OutputDevice>& out) { return m_outputs.open(m_outputName, out); };
}

void CLorvantaApp::ChangeSoundOutput(const QString& device) {
    m_outputName = device.toStdString();
    if (m_session)
        m_session->ChooseOutput(ChosenOpener(), m_outputName);
}

StrokeKitResult CLorvantaApp::ApplyKit(const KitChoice& choice) {
    // Shown only when loading takes a while; the window repaints meanwhile.
    QProgressDialog progress(QStringLiteral("Loading the stroke kit…"), QString(), 0, 1,
                             m_frame.get());
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    progress.setCancelButton(nullptr);
    m_loadingKit = true;
    const struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } finished{m_loadingKit};
    return ApplyKitChoice(m_bank, choice, m_sink, [&progress](std::size_t done, std::size_t total) {
        progress.setMaximum(static_cast<int>(total));
        progress.setValue(static_cast<int>(done));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
}

void CLorvantaApp::CreateMainFrame() {
    // The device is read when the output is first opened, after the window
    // (and its settings) exist.
    m_session = std::make_unique<CLorvantaSession>(m_bank, m_sink, ChosenOpener());
    m_frame = std::make_unique<CMainFrame>(*this, *m_session, m_sink, m_shell);
}

void CLorvantaApp::OnAppAbout() {
    // The link shows the help in the program's own window, the box closed.
    CAboutDialog* shown = nullptr;
    CAboutDialog about(
        HelpAddress(), m_sink,
        [this, &shown](const QUrl& address) -> std::optional<QString> {
            if (shown)
                shown->accept();
            m_frame->ShowHelp(address);
            return std::nullopt;
        },
        m_frame.get());
    shown = &about;
    about.exec();
}

} // namespace lorvanta
