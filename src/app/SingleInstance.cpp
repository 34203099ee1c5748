#include "app/SingleInstance.h"

#include "app/LorvantaApp.h"
#include "app/MainFrame.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lorvanta {

namespace {

constexpr char kOpenRequest[] = "open\t";
constexpr char kRaiseRequest[] = "raise";
constexpr char kAnswer[] = "ok\n";

// Ends a connection that sent something other than a request.
void Drop(QLocalSocket* socket) {
    socket->abort();
    socket->deleteLater();
}

// A folder only this user can enter: a directory (not a link) of the user's,
// with no access for group or others.
bool IsPrivateFolder(const QByteArray& path) {
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

} // namespace

QString InstanceSocketName() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && IsPrivateFolder(runtime))
        return QFile::decodeName(runtime) + QStringLiteral("/lorvanta-instance");
    // Made 0700 whatever the umask; one made by anyone else, or opened to
    // others, is never used.
    const QByteArray folder =
        QFile::encodeName(QDir::tempPath() + QStringLiteral("/lorvanta-%1").arg(::geteuid()));
    if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    if (!IsPrivateFolder(folder))
        return {};
    return QFile::decodeName(folder) + QStringLiteral("/instance");
}

bool PeerIsThisUser(qintptr socketDescriptor) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return socketDescriptor >= 0 &&
           ::getsockopt(static_cast<int>(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &peer,
                        &size) == 0 &&
           size == sizeof peer && peer.uid == ::geteuid();
}

std::optional<QString> FileToHandOver(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption kit(QStringLiteral("kit"), QString(), QStringLiteral("FOLDER"));
    const QCommandLineOption newInstance(QStringLiteral("new-instance"));
    parser.addOption(kit);
    parser.addOption(newInstance);
    if (!parser.parse(arguments) || parser.isSet(newInstance) ||
        parser.positionalArguments().size() > 1)
        return std::nullopt;
    if (parser.positionalArguments().isEmpty())
        return QString();
    const QString file = parser.positionalArguments().constFirst();
    if (file.isEmpty() || file.contains(QLatin1Char('\n')))
        return std::nullopt;
    return QFileInfo(file).absoluteFilePath();
}

bool SendToRunningInstance(const QString& name, const QString& file, int timeoutMs) {
    if (name.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(name);
    // Only a program of this user is told which file to open.
    if (!socket.waitForConnected(timeoutMs) || !PeerIsThisUser(socket.socketDescriptor()))
        return false;
    const QByteArray request = file.isEmpty() ? QByteArray(kRaiseRequest) + '\n'
                                              : QByteArray(kOpenRequest) + file.toUtf8() + '\n';
    socket.write(request);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    // The running program answers once it has taken the request.
    QByteArray answer;
    while (!answer.contains('\n')) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
        answer += socket.readAll();
    }
    return answer == kAnswer;
}

CInstanceServer::CInstanceServer(Handler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)), m_server(new QLocalServer(this)),
      m_next(new QTimer(this)) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &CInstanceServer::OnNewConnection);
    m_next->setSingleShot(true);
    connect(m_next, &QTimer::timeout, this, &CInstanceServer::HandNext);
}

CInstanceServer::~CInstanceServer() = default;

bool CInstanceServer::Listen(const QString& name) {
    if (name.isEmpty())
        return false;
    // Look first: listening with user-only access puts the new socket in
    // place of any old one, even one a live program listens on.
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(500))
        return false;
    // Nobody there; a socket left by a program that ended without removing
    // it goes.
    QLocalServer::removeServer(name);
    return m_server->listen(name);
}

void CInstanceServer::OnNewConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        if (m_connections >= kMaxConnections || !PeerIsThisUser(socket->socketDescriptor())) {
            Drop(socket);
            continue;
        }
        ++m_connections;
        socket->setProperty("requests", 0);
        connect(socket, &QObject::destroyed, this, [this] { --m_connections; });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        if (socket->bytesAvailable() > 0)
            OnReadyRead(socket);
    }
}

void CInstanceServer::OnReadyRead(QLocalSocket* socket) {
    while (socket->canReadLine()) {
        const int requests = socket->property("requests").toInt() + 1;
        socket->setProperty("requests", requests);
        QByteArray line = socket->readLine(kMaxRequest + 1);
        if (requests > kMaxRequestsPerConnection || !line.endsWith('\n')) {
            Drop(socket);
            return;
        }
        line.chop(1);
        QString file;
        if (line.startsWith(kOpenRequest)) {
            const QByteArray path = line.mid(qsizetype(sizeof kOpenRequest) - 1);
            file = QString::fromUtf8(path);
            // Only whole absolute paths that survive the round trip to text.
            if (!QDir::isAbsolutePath(file) || file.toUtf8() != path || path.contains('\0')) {
                Drop(socket);
                return;
            }
        } else if (line != kRaiseRequest) {
            Drop(socket);
            return;
        }
        if (!Queue(file)) {
            Drop(socket);
            return;
        }
        // Answer first: the handler may ask the user something and take long.
        socket->write(kAnswer);
        socket->flush();
    }
    if (socket->bytesAvailable() > kMaxRequest)
        Drop(socket);
}

bool CInstanceServer::Queue(const QString& file) {
    if (file.isEmpty()) {
        m_raise = true;
    } else if (!m_files.contains(file)) {
        if (m_files.size() >= kMaxWaitingFiles)
            return false;
        m_files.append(file);
    }
    if (!m_next->isActive())
        m_next->start(0);
    return true;
}

void CInstanceServer::HandNext() {
    if (m_files.isEmpty() && !m_raise)
        return;
    // A file brings the window forward as well, so a raise waiting with it is
    // done with it.
    const QString file = m_files.isEmpty() ? QString() : m_files.constFirst();
    if (m_handler && !m_handler(file)) {
        m_next->start(kRetryMs);
        return;
    }
    m_raise = false;
    if (!m_files.isEmpty())
        m_files.removeFirst();
    if (!m_files.isEmpty())
        m_next->start(kFileIntervalMs);
}

bool OpenInRunningProgram(CLorvantaApp& app, const QString& file) {
    if (QApplication::activeModalWidget() != nullptr || app.IsLoadingKit())
        return false;
    if (CMainFrame* frame = app.MainFrame()) {
        if (frame->isMinimized())
            frame->showNormal();
        frame->raise();
        frame->activateWindow();
    }
    if (!file.isEmpty())
        app.OpenDocumentFile(file);
    return true;
}

} // namespace lorvanta
