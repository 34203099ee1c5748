#include "app/SingleInstance.h"

#include "app/LorvantaApp.h"
#include "app/MainFrame.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <unistd.h>

namespace lorvanta {

namespace {

constexpr char kOpenRequest[] = "open\t";
constexpr char kRaiseRequest[] = "raise";
constexpr char kAnswer[] = "ok\n";
// How often a request waiting for a dialog to close looks again.
constexpr int kModalRetryMs = 250;

// Ends a connection that sent something other than a request.
void Drop(QLocalSocket* socket) {
    socket->abort();
    socket->deleteLater();
}

} // namespace

QString InstanceSocketName() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir() && QFileInfo(runtime).isWritable())
        return runtime + QStringLiteral("/lorvanta-instance");
    return QStringLiteral("lorvanta-instance-%1").arg(::getuid());
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
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs))
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
    : QObject(parent), m_handler(std::move(handler)), m_server(new QLocalServer(this)) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &CInstanceServer::OnNewConnection);
}

CInstanceServer::~CInstanceServer() = default;

bool CInstanceServer::Listen(const QString& name) {
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
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        if (socket->bytesAvailable() > 0)
            OnReadyRead(socket);
    }
}

void CInstanceServer::OnReadyRead(QLocalSocket* socket) {
    while (socket->canReadLine()) {
        QByteArray line = socket->readLine(kMaxRequest + 1);
        if (!line.endsWith('\n')) {
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
        socket->write(kAnswer);
        socket->flush();
        // Answer first: the handler may ask the user something and take long.
        QTimer::singleShot(0, this, [this, file] {
            if (m_handler)
                m_handler(file);
        });
    }
    if (socket->bytesAvailable() > kMaxRequest)
        Drop(socket);
}

void OpenInRunningProgram(CLorvantaApp& app, const QString& file) {
    if (QApplication::activeModalWidget() != nullptr) {
        QTimer::singleShot(kModalRetryMs, &app, [&app, file] { OpenInRunningProgram(app, file); });
        return;
    }
    if (CMainFrame* frame = app.MainFrame()) {
        if (frame->isMinimized())
            frame->showNormal();
        frame->raise();
        frame->activateWindow();
    }
    if (!file.isEmpty())
        app.OpenDocumentFile(file);
}

} // namespace lorvanta
