// The Practice Routine window: steps added from the Taals folder and typed,
// moved, refused by their step, saved and opened back, and played through the
// session with the step and the cycles left in the main window's status bar.
#include "AppTestSupport.h"

#include "audio/SampleBank.h"
#include "session/LorvantaSession.h"
#include "ui/dialogs/PracticeRoutineDialog.h"

#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QTableWidget>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

const QString kTaals = QStringLiteral(LORVANTA_SOURCE_DIR "/Taals");

void SetCell(QTableWidget* table, int row, int column, const QString& text) {
    table->item(row, column)->setText(text);
}

} // namespace

class PracticeRoutineDialogTest : public QObject {
    Q_OBJECT

private slots:
    void buildSaveOpenAndPlay() {
        CSampleBank bank;
        RecordingMessageSink sink;
        CLorvantaSession session(bank, sink, OpenChosenOutput);
        session.OnInitialUpdate();
        QMainWindow window;
        QTemporaryDir dir;
        CPracticeRoutineDialog dialog(
            session, kTaals, dir.path(), sink, [] { return true; }, &window);
        dialog.AddStep(kTaals + QStringLiteral("/Compositions/Kaida – Dha Ti Dha Ge – Theme.tal"));
        dialog.AddStep(kTaals + QStringLiteral("/Teentaal.tal"));
        QTableWidget* table = dialog.Table();
        QCOMPARE(table->item(0, 0)->text(),
                 QStringLiteral("Compositions/Kaida – Dha Ti Dha Ge – Theme.tal"));
        QCOMPARE(table->item(1, 1)->text(), QStringLiteral("4 cycles"));
        SetCell(table, 1, 2, QStringLiteral("80 bpm"));
        SetCell(table, 0, 1, QStringLiteral("2 cycles"));
        SetCell(table, 0, 2, QStringLiteral("+20 bpm"));
        SetCell(table, 0, 3, QStringLiteral("pause 2 s"));
        table->setCurrentCell(1, 0);
        dialog.MoveRow(-1); // Teentaal first
        dialog.MoveRow(-1); // already first: stays

        const auto routine = dialog.Routine();
        QVERIFY(routine.has_value());
        QCOMPARE(QString::fromStdString(WriteRoutine(*routine)).section(QLatin1Char('\n'), 1),
                 QStringLiteral("Teentaal.tal | 4 cycles | 80 bpm\n"
                                "Compositions/Kaida – Dha Ti Dha Ge – Theme.tal | 2 cycles | "
                                "+20 bpm | pause 2 s\n"));

        // Saved and opened in another window, the same routine.
        const QString file = dir.filePath(QStringLiteral("Morning.routine"));
        QVERIFY(dialog.SaveRoutineFile(file));
        CPracticeRoutineDialog other(session, kTaals, dir.path(), sink, {});
        QVERIFY(other.OpenRoutineFile(file));
        QCOMPARE(other.Routine(), routine);

        // A step that does not read is named by its step; nothing is played.
        SetCell(other.Table(), 1, 2, QStringLiteral("5 bpm"));
        QVERIFY(!other.PlayRoutine());
        QCOMPARE(QString::fromStdString(sink.Messages().back().text),
                 QStringLiteral("Step 2: give the tempo as \"N bpm\" (10 to 1000) or a change "
                                "such as \"+10 bpm\"."));
        QVERIFY(!session.IsInRoutine());

        QVERIFY(dialog.PlayRoutine());
        QVERIFY(session.IsInRoutine());
        QCOMPARE(QString::fromStdString(session.Document().Taal().Name()),
                 QStringLiteral("Teentaal"));
        const QString progress = QStringLiteral("Step 1 of 2: Teentaal at 80 bpm, 4 cycles left");
        QCOMPARE(dialog.ProgressText(), progress);
        auto* status = window.statusBar()->findChild<QLabel*>(QStringLiteral("routineStatus"));
        QVERIFY(status);
        QTRY_COMPARE(status->text(), progress);
        session.Stop();
        QVERIFY(!session.IsInRoutine());
        QCOMPARE(dialog.ProgressText(), QString());
        QTRY_COMPARE(status->text(), QString());
    }

    // A file that is no routine is refused with the line at fault.
    void refusesABadFile() {
        CSampleBank bank;
        RecordingMessageSink sink;
        CLorvantaSession session(bank, sink, nullptr);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("bad.routine"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("Teentaal.tal | 4 cycles\nTeentaal.tal | often\n");
        out.close();
        CPracticeRoutineDialog dialog(session, kTaals, dir.path(), sink, {});
        QVERIFY(!dialog.OpenRoutineFile(file));
        QVERIFY(QString::fromStdString(sink.Messages().back().text)
                    .endsWith(QStringLiteral(": Line 2: after the file come the length, the tempo "
                                             "and a pause, each once.")));
        QCOMPARE(dialog.Table()->rowCount(), 0);
        QVERIFY(!dialog.OpenRoutineFile(dir.filePath(QStringLiteral("none.routine"))));
    }
};

QTEST_MAIN(PracticeRoutineDialogTest)
#include "PracticeRoutineDialogTest.moc"
