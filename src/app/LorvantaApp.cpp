#include "app/LorvantaApp.h"

#include "app/HelpPage.h"
#include "app/MainFrame.h"
#include "audio/StrokeKit.h"
#include "model/BolDictionary.h"
#include "model/Messages.h"
#include "ui/dialogs/AboutDialog.h"
#include "ui/grid/LorvantaView.h"

#include <QCommandLineParser>
#include <QFile>

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
    if (const std::uint32_t status = LoadBolTable(bolTables); status != 0) {
        const QString code = QString::asprintf("%d, %d", static_cast<int>(status), 0);
        m_sink.Show({MessageKind::Error, FormatMessage(kBolTableFailed, code.toStdString())});
        return false;
    }

    if (!ProcessCommandLine(arguments)) {
        m_frame.reset();
        return false;
    }

    m_frame->show();
    m_frame->setAcceptDrops(true);
    // The grid is the active view: Space plays from the start.
    m_frame->GetGridView()->setFocus(Qt::ActiveWindowFocusReason);
    return true;
}

bool CLorvantaApp::ProcessCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption kit(QStringLiteral("kit"),
                                 QStringLiteral("Play the strokes of the kit in FOLDER."),
                                 QStringLiteral("FOLDER"));
    parser.addOption(kit);
    // Read by main(): a window of its own even when the program runs already.
    parser.addOption(QCommandLineOption(QStringLiteral("new-instance")));
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A Taal file to open."));
    if (!parser.parse(arguments) || parser.positionalArguments().size() > 1) {
        const QString problem = parser.errorText().isEmpty()
                                    ? QStringLiteral("Only one Taal file can be opened.")
                                    : parser.errorText();
        m_sink.Show({MessageKind::Error,
                     (problem +
                      QStringLiteral("\n\nUsage: lorvanta [--kit FOLDER] [--new-instance] [FILE]"))
                         .toStdString()});
        return false;
    }
    if (parser.isSet(kit))
        LoadStrokeKit(m_bank, QFile::encodeName(parser.value(kit)).toStdString(), m_sink);

    CreateMainFrame();
    // A file that cannot be read has shown its message; the window then
    // opens on a new Taal.
    if (parser.positionalArguments().isEmpty() ||
        !OpenDocumentFile(parser.positionalArguments().constFirst()))
        ResetToNewDocument();
    return true;
}

void CLorvantaApp::CreateMainFrame() {
    m_frame = std::make_unique<CMainFrame>(*this, m_doc, m_bank, m_sink, m_shell, m_opener);
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
