// Bols between two running programs: a second process (this program started
// again with --owner) puts bols on the system clipboard, this one takes them
// back. Needs a real display; CTest runs it under xvfb-run.
#include "model/Bol.h"
#include "model/SoundTables.h"
#include "persistence/BolClipboard.h"
#include "ui/QtBolClipboard.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QTest>
#include <QWidget>

#include <cstdio>
#include <vector>

using namespace lorvanta;

namespace {

constexpr const char* kOwnerFlag = "--owner";

std::vector<std::uint8_t> SamplePayload() {
    CBol2 dha("Dha", 1, 1.0f, Tabla);
    dha.bass.emphasis = -6.25f;
    const CBol2 ghe("Ghe", 4, 0.5f, Pakhawaj);
    const CBol2* const bols[] = {&dha, &ghe};
    return WriteBolPayload(bols);
}

// The second process: puts the sample bols on the clipboard, says "ready",
// and on a line from its input empties the clipboard as the program does at
// exit (only when the bols there are still its own), says which, and ends.
int RunOwner(QApplication& app) {
    QtBolClipboard clipboard;
    if (!clipboard.Put(SamplePayload()))
        return 2;
    const auto say = [](const char* word) {
        std::printf("%s\n", word);
        std::fflush(stdout);
    };
    QSocketNotifier input(fileno(stdin), QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        input.setEnabled(false);
        char line[64];
        if (!std::fgets(line, sizeof line, stdin))
            return app.exit(3);
        // Whatever the clipboard told us meanwhile is taken in first.
        QCoreApplication::processEvents();
        say(clipboard.ClearIfOwn() ? "cleared" : "kept");
        QCoreApplication::processEvents();
        app.exit(0);
    });
    // Once the event loop runs, the clipboard is ours on the display.
    QMetaObject::invokeMethod(
        &app, [&] { say("ready"); }, Qt::QueuedConnection);
    return app.exec();
}

} // namespace

class ClipboardProcessTest : public QObject {
    Q_OBJECT

private slots:
    void bolsArriveUnchangedAndGoWhenTheOwnerEnds() {
        QtBolClipboard clipboard;
        QProcess owner;
        owner.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        owner.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kOwnerFlag)});
        while (!owner.canReadLine())
            QVERIFY(owner.waitForReadyRead(10000));
        QCOMPARE(owner.readLine().trimmed(), QByteArray("ready"));
        QTRY_VERIFY_WITH_TIMEOUT(clipboard.HasBols(), 10000);
        QVERIFY(!clipboard.HoldsOwnData());
        // Byte for byte: reading the payload back is the clipboard format's
        // own tests' business.
        QCOMPARE(clipboard.Get(), SamplePayload());

        // The owner empties the clipboard as it ends: Paste is disabled here.
        owner.write("exit\n");
        owner.closeWriteChannel();
        QVERIFY(owner.waitForFinished(10000));
        QCOMPARE(owner.readAll().trimmed(), QByteArray("cleared"));
        QCOMPARE(owner.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!clipboard.HasBols(), 10000);
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], kOwnerFlag) == 0)
        return RunOwner(app);
    ClipboardProcessTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ClipboardProcessTest.moc"
