// One program per user, against other users and floods: the socket lives in a
// folder only the user can enter, neither end talks to another user, and one
// connection (or many) cannot hold the window up.
#include "InstanceTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <functional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

// Runs body in a child process as the user nobody; its exit code, while this
// process goes on serving.
int AsAnotherUser(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(99);
        ::_exit(body());
    }
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

sockaddr_un Address(const QString& name) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(name);
    std::memcpy(address.sun_path, path.constData(),
                std::min<std::size_t>(path.size(), sizeof address.sun_path - 1));
    return address;
}

// Sets an environment variable for one test, or unsets it (null).
struct ScopedEnv {
    ScopedEnv(const char* name, const QByteArray& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name)) {
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }
    ~ScopedEnv() { m_had ? qputenv(m_name, m_old) : qunsetenv(m_name); }
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT

private slots:
    void socketLivesInAFolderOnlyTheUserCanEnter() {
        QTemporaryDir temp;
        const ScopedEnv tmp("TMPDIR", QFile::encodeName(temp.path()));
        const ScopedEnv runtime("XDG_RUNTIME_DIR", QByteArray());
        const QString folder = temp.filePath(QStringLiteral("lorvanta-%1").arg(::geteuid()));
        const QString name = InstanceSocketName();
        QCOMPARE(name, folder + QStringLiteral("/instance"));
        struct stat info {};
        QCOMPARE(::lstat(QFile::encodeName(folder).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0700u);

        // Opened to others, or a link (to a private folder even): not used.
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
        QCOMPARE(InstanceSocketName(), QString());
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(QDir(temp.path()).mkdir(QStringLiteral("private")));
        QCOMPARE(::chmod(QFile::encodeName(temp.filePath("private")).constData(), 0700), 0);
        QVERIFY(QFile::link(temp.filePath("private"), folder));
        QCOMPARE(InstanceSocketName(), QString());
        // Nowhere to listen: no hand-over and no server, the program runs alone.
        QVERIFY(!SendToRunningInstance(QString(), QString()));
        CInstanceServer server([](const QString&) { return true; });
        QVERIFY(!server.Listen(QString()));

        // The runtime folder, when it is private.
        const ScopedEnv ownRuntime("XDG_RUNTIME_DIR", QFile::encodeName(temp.filePath("private")));
        QCOMPARE(InstanceSocketName(),
                 temp.filePath("private") + QStringLiteral("/lorvanta-instance"));
    }

    // Another user can neither hand the program a file nor answer in its place.
    void anotherUserIsIgnoredAtBothEnds() {
        if (::geteuid() != 0)
            QSKIP("needs root to act as another user");
        QTemporaryDir open;
        QCOMPARE(::chmod(QFile::encodeName(open.path()).constData(), 0777), 0);
        QStringList files;
        CInstanceServer server([&files](const QString& file) {
            files.append(file);
            return true;
        });
        const QString name = open.filePath(QStringLiteral("instance"));
        QVERIFY(server.Listen(name));
        QCOMPARE(::chmod(QFile::encodeName(name).constData(), 0777), 0);
        // The child calls only the system, nothing that may allocate.
        const sockaddr_un serverAddress = Address(name);
        const int answered = AsAnotherUser([&serverAddress] {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            const sockaddr_un& address = serverAddress;
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
                return 2;
            const char request[] = "open\t/tmp/x.tal\n";
            if (::write(fd, request, sizeof request - 1) < 0)
                return 3;
            char answer[8] = {};
            return ::read(fd, answer, sizeof answer) > 0 ? 0 : 1;
        });
        QCOMPARE(answered, 1);
        QTest::qWait(50);
        QVERIFY(files.isEmpty());

        // A server of another user, answering "ok", is never told the file.
        const QString fake = open.filePath(QStringLiteral("fake"));
        const sockaddr_un fakeAddress = Address(fake);
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(99);
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            const sockaddr_un& address = fakeAddress;
            if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
                ::chmod(address.sun_path, 0777) != 0 || ::listen(fd, 1) != 0)
                ::_exit(2);
            const int client = ::accept(fd, nullptr, nullptr);
            (void)::send(client, "ok\n", 3, MSG_NOSIGNAL);
            char heard[64] = {};
            ::_exit(::read(client, heard, sizeof heard) > 0 ? 1 : 0);
        }
        QTRY_VERIFY(QFile::exists(fake));
        QVERIFY(!SendToRunningInstance(fake, QStringLiteral("/tmp/secret.tal"), 2000));
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    // 100,000 raises on one connection while a dialog is open: the connection
    // is dropped after a few, the raises are one, the files waiting few, and
    // the handler is asked a few times a second, not for every request.
    void aFloodIsBoundedAndRaisesAreOne() {
        QTemporaryDir dir;
        bool dialogOpen = true;
        int asked = 0;
        QStringList taken;
        CInstanceServer server([&](const QString& file) {
            ++asked;
            if (dialogOpen)
                return false;
            taken.append(file);
            return true;
        });
        const QString name = dir.filePath(QStringLiteral("instance"));
        QVERIFY(server.Listen(name));

        QElapsedTimer waited;
        waited.start();
        QByteArray flood;
        for (int i = 0; i < 100000; ++i)
            flood += "raise\n";
        QCOMPARE(SendRaw(name, flood),
                 QByteArray("ok\n").repeated(CInstanceServer::kMaxRequestsPerConnection));
        for (int i = 0; i < 5; ++i)
            QVERIFY(Send(name, QString()));
        QStringList sent;
        for (int i = 0; i < CInstanceServer::kMaxWaitingFiles + 2; ++i) {
            const QString file = QStringLiteral("/music/%1.tal").arg(i);
            QCOMPARE(Send(name, file), i < CInstanceServer::kMaxWaitingFiles);
            if (i < CInstanceServer::kMaxWaitingFiles)
                sent.append(file);
        }
        QVERIFY(Send(name, sent.constFirst())); // already waiting: one
        QTest::qWait(300);
        QVERIFY(asked <= 2 + waited.elapsed() / CInstanceServer::kRetryMs);

        // The dialog closes: the files, the raise done with the first.
        dialogOpen = false;
        QTRY_COMPARE_WITH_TIMEOUT(taken, sent, 10000);
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
