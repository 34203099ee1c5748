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

namespace lorvanta {

class CLorvantaApp;

// The socket of the current user's running program: in the user's runtime
// folder when there is one, else a name with the user's id in the temporary
// folder.
QString InstanceSocketName();

// What a new start hands to a running program: the absolute path of the file
// named on the command line, or an empty string for none. Nothing when the
// user asked for a copy of its own (--new-instance) or the command line does
// not read, which the new program itself will report.
std::optional<QString> FileToHandOver(const QStringList& arguments);

// Sends the file (empty: none) to the program listening on name. True when it
// has taken it; false when no program listens or it does not answer in time.
bool SendToRunningInstance(const QString& name, const QString& file, int timeoutMs = 2000);

// The running program's side: each well-formed request calls the handler with
// the file (empty: none) after the sender has been answered.
class CInstanceServer : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<void(const QString& file)>;
    // The longest request taken; a longer one is dropped with its connection.
    static constexpr qsizetype kMaxRequest = 16 * 1024;

    explicit CInstanceServer(Handler handler, QObject* parent = nullptr);
    ~CInstanceServer() override;

    // Listens on name, only for the current user. A socket left by a program
    // that ended without removing it is replaced; false when another program
    // listens there already or the socket cannot be made.
    bool Listen(const QString& name);

private:
    void OnNewConnection();
    void OnReadyRead(QLocalSocket* socket);

    Handler m_handler;
    QLocalServer* m_server;
};

// Brings the program's window forward and opens the file in it as File > Open
// does (offering to save the current Taal first); no file only brings the
// window forward. While a dialog of the program is open the request waits for
// it to close.
void OpenInRunningProgram(CLorvantaApp& app, const QString& file);

} // namespace lorvanta
