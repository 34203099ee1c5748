// One program per user: a later start hands its file to the running program,
// which opens it as File > Open would; malformed requests are ignored.
#include "AppTestSupport.h"

#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <chrono>
#include <future>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

// A server on a socket of the test's own, recording what it is handed.
struct RecordingServer {
    RecordingServer() : server([this](const QString& file) { files.append(file); }) {
        name = dir.filePath(QStringLiteral("instance"));
    }
    QTemporaryDir dir;
    QString name;
    QStringList files;
    CInstanceServer server;
};

// Runs a client on a thread of its own while this thread serves, as the
// later start of the program would from a process of its own.
template <typename Client> auto FromAnotherThread(Client client) {
    auto result = std::async(std::launch::async, client);
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return result.get();
}

bool Send(const QString& name, const QString& file, int timeoutMs = 2000) {
    return FromAnotherThread([=] { return SendToRunningInstance(name, file, timeoutMs); });
}

// Sends raw bytes and returns what the server answers before it falls silent
// or drops the connection.
QByteArray SendRaw(const QString& name, const QByteArray& bytes) {
    return FromAnotherThread([=] {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (!socket.waitForConnected(2000))
            return QByteArray("not connected");
        socket.write(bytes);
        socket.waitForBytesWritten(2000);
        QByteArray answer;
        while (socket.state() == QLocalSocket::ConnectedState && socket.waitForReadyRead(300))
            answer += socket.readAll();
        return answer + socket.readAll();
    });
}

} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT

private slots:
    void runningProgramTakesTheFile() {
        RecordingServer running;
        QVERIFY(running.server.Listen(running.name));
        QVERIFY(Send(running.name, QStringLiteral("/music/Tîntaal 2.tal")));
        QVERIFY(Send(running.name, QString()));
        QTRY_COMPARE(running.files,
                     (QStringList{QStringLiteral("/music/Tîntaal 2.tal"), QString()}));
        // One listener per socket; nobody listening is no delivery.
        CInstanceServer second([](const QString&) {});
        QVERIFY(!second.Listen(running.name));
        QVERIFY(!Send(running.dir.filePath(QStringLiteral("none")), QStringLiteral("/a.tal"), 500));
    }

    void malformedRequestsAreDropped() {
        RecordingServer running;
        QVERIFY(running.server.Listen(running.name));
        const QByteArray bad[] = {
            "hello\n",
            "open\trelative/Teentaal.tal\n",
            QByteArray("open\t/a\0b.tal\n", 14),
            "open\t/\xff\xfe.tal\n",
            QByteArray(CInstanceServer::kMaxRequest + 10, 'x'),
            QByteArray(CInstanceServer::kMaxRequest, '/').prepend("open\t").append('\n'),
        };
        for (const QByteArray& request : bad)
            QCOMPARE(SendRaw(running.name, request), QByteArray());
        QTest::qWait(50);
        QVERIFY(running.files.isEmpty());

        // The server goes on serving.
        QCOMPARE(SendRaw(running.name, "raise\nopen\t/b.tal\n"), QByteArray("ok\nok\n"));
        QTRY_COMPARE(running.files, (QStringList{QString(), QStringLiteral("/b.tal")}));
    }

    void socketLeftBehindIsReplaced() {
        RecordingServer running;
        // What a program that was killed leaves: the socket file, nobody behind it.
        QFile stale(running.name);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        QVERIFY(running.server.Listen(running.name));
        QVERIFY(Send(running.name, QStringLiteral("/a.tal")));
    }

    void whatANewStartHandsOver() {
        const auto handOver = [](QStringList arguments) {
            arguments.prepend(QStringLiteral("lorvanta"));
            return FileToHandOver(arguments);
        };
        QCOMPARE(handOver({}), std::optional<QString>(QString()));
        QCOMPARE(handOver({QStringLiteral("Taals/Dadra.tal")}),
                 std::optional<QString>(QDir::current().absoluteFilePath("Taals/Dadra.tal")));
        QCOMPARE(handOver({QStringLiteral("--new-instance"), QStringLiteral("/a.tal")}),
                 std::nullopt);
        QCOMPARE(handOver({QStringLiteral("/a.tal"), QStringLiteral("/b.tal")}), std::nullopt);
    }

    void handedFileOpensAsOpenWould() {
        AppFixture fixture;
        const auto app = fixture.Start();
        CInstanceServer server([&app](const QString& file) { OpenInRunningProgram(*app, file); });
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("instance"));
        QVERIFY(server.Listen(name));

        // The running program's Taal has changes: it asks first, and Cancel
        // keeps it.
        app->Document().SetModified(true);
        fixture.sink.Answer(MessageAnswer::Cancel);
        QVERIFY(Send(name, AppFixture::Teentaal()));
        QTRY_COMPARE(fixture.sink.Texts(), std::vector<std::string>{"Save changes to New Taal?"});
        QVERIFY(app->Document().IsEmpty());

        fixture.sink.Answer(MessageAnswer::No);
        QVERIFY(Send(name, AppFixture::Teentaal()));
        QTRY_COMPARE(app->Document().Taal().Count(), 16);
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
