#pragma once

// One running program per user: a file opened from the file manager while the
// program runs is handed to the running program's window, which opens it as
// File > Open would, instead of starting a second window. The program that
// runs listens on a local socket; a later start sends it one line and ends.
//
// The line is "open\t<absolute path>\n" or "raise\n" (no file: bring the
// window forward). Anything else is ignored.

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;
class QTimer;

namespace lorvanta {

class CLorvantaApp;

// The socket of the current user's running program, in a folder only the user
// can enter: the user's runtime folder when there is one, else a private
// folder (mode 0700, the user's own, not a link) the program makes in the
// temporary folder. Empty when there is no such folder: the program then runs
// on its own, neither handing over nor listening.
QString InstanceSocketName();

// True when the process at the other end of a connected local socket runs as
// this user; requests from, and answers of, anyone else are ignored.
bool PeerIsThisUser(qintptr socketDescriptor);

// What a new start hands to a running program: the absolute path of the file
// named on the command line, or an empty string for none. Nothing when the
// user asked for a copy of its own (--new-instance) or the command line does
// not read, which the new program itself will report.
std::optional<QString> FileToHandOver(const QStringList& arguments);

// Sends the file (empty: none) to the program listening on name. True when it
// has taken it; false when no program listens or it does not answer in time.
bool SendToRunningInstance(const QString& name, const QString& file, int timeoutMs = 2000);

// The running program's side: each well-formed request from this user is
// answered and queued; the handler is called with the file (empty: none) when
// the program can take it. Repeated "raise" requests are one; files are taken
// a few a second and only a handful wait, so that a flood of requests cannot
// hold the window up.
class CInstanceServer : public QObject {
    Q_OBJECT

public:
    // Takes a request, or returns false when it cannot now (a dialog is open):
    // it is offered again a little later.
    using Handler = std::function<bool(const QString& file)>;
    // The longest request taken; a longer one is dropped with its connection.
    static constexpr qsizetype kMaxRequest = 16 * 1024;
    // Requests one connection may make; the next drops it.
    static constexpr int kMaxRequestsPerConnection = 4;
    // Connections served at once; more are refused.
    static constexpr int kMaxConnections = 16;
    // Files waiting to be opened; more are refused.
    static constexpr qsizetype kMaxWaitingFiles = 8;
    // Time between two files handed to the handler.
    static constexpr int kFileIntervalMs = 200;
    // How often a request the handler could not take is offered again.
    static constexpr int kRetryMs = 250;

    explicit CInstanceServer(Handler handler, QObject* parent = nullptr);
    ~CInstanceServer() override;

    // Listens on name, only for the current user. A socket left by a program
    // that ended without removing it is replaced; false when another program
    // listens there already or the socket cannot be made.
    bool Listen(const QString& name);

private:
    void OnNewConnection();
    void OnReadyRead(QLocalSocket* socket);
    // Queues a request; false when too many wait.
    bool Queue(const QString& file);
    void HandNext();

    Handler m_handler;
    QLocalServer* m_server;
    QTimer* m_next;
    bool m_raise = false;
    QStringList m_files;
    int m_connections = 0;
};

// Brings the program's window forward and opens the file in it as File > Open
// does (offering to save the current Taal first); no file only brings the
// window forward. While a dialog of the program is open the request waits for
// it to close: false is returned and the request is offered again.
bool OpenInRunningProgram(CLorvantaApp& app, const QString& file);

} // namespace lorvanta
