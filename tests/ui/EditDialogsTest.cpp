// The Taal Properties and Expand dialogs: number reading, ranges and their
// messages, initial text, selection and focus. Bols on the clipboard within
// one process.
#include "AppTestSupport.h"

#include "model/Messages.h"
#include "model/SoundTables.h"
#include "ui/QtBolClipboard.h"
#include "ui/bars/EditNumber.h"
#include "ui/dialogs/TaalPropertiesDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

const std::string kTempoMessage =
    "Tempo out of range: Enter a value between 10.0 and 1000.0 (measured in bpm)";
const std::string kMultiplierMessage = "Multiplier must be between 0.1 and 10.";

} // namespace

class EditDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void numberReading_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("blanks and unit") << "  \t120bpm" << 120.0;
        QTest::newRow("two points") << "1.2.3" << 1.2;
        QTest::newRow("exponent") << "1e2" << 100.0;
        QTest::newRow("word") << "fast" << 0.0;
        QTest::newRow("sign alone") << "+" << 0.0;
    }
    void numberReading() {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(ReadEditNumber(text), value);
    }

    void propertiesTempoRange_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<float>("tempo");
        QTest::newRow("highest") << "1000" << true << 1000.0f;
        QTest::newRow("just under") << "9.99" << false << 0.0f;
        QTest::newRow("just over") << "1000.5" << false << 0.0f;
    }
    void propertiesTempoRange() {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(float, tempo);
        RecordingMessageSink sink;
        CTaalProperties dialog(QStringLiteral("Dadra"), 80.0f, sink);
        dialog.show();
        dialog.NameEdit()->setText(QStringLiteral("Keherwa"));
        dialog.TempoEdit()->setText(text);
        dialog.OkButton()->click();
        QCOMPARE(dialog.isVisible(), !accepted);
        QCOMPARE(dialog.Tempo(), accepted ? tempo : 80.0f);
        QCOMPARE(dialog.Name(), accepted ? QStringLiteral("Keherwa") : QStringLiteral("Dadra"));
        QCOMPARE(Texts(sink),
                 accepted ? std::vector<std::string>{} : std::vector<std::string>{kTempoMessage});
    }

    void expandRange_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<float>("multiplier");
        QTest::newRow("lowest") << "0.1" << true << 0.1f;
        QTest::newRow("too large") << "12" << false << 1.0f;
    }
    void expandRange() {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(float, multiplier);
        RecordingMessageSink sink;
        CExpandDlg dialog(sink);
        dialog.show();
        dialog.MultiplierEdit()->setText(text);
        dialog.OkButton()->click();
        QCOMPARE(dialog.Multiplier(), multiplier);
        QCOMPARE(dialog.isVisible(), !accepted);
        QCOMPARE(Texts(sink), accepted ? std::vector<std::string>{}
                                       : std::vector<std::string>{kMultiplierMessage});
    }

    void clipboardRoundTripInProcess() {
        QtBolClipboard clipboard;
        QGuiApplication::clipboard()->setText(QStringLiteral("plain text"));
        QCOMPARE(clipboard.Get(), std::nullopt);
        const std::vector<std::uint8_t> payload{1, 0, 0, 0, 0xFF, 0xFF, 0, 0, 5, 0, 'C', 0};
        QVERIFY(clipboard.Put(payload));
        QCOMPARE(clipboard.Get(), payload);
        // Under the registered format's name, and nothing else: no text form.
        QCOMPARE(
            QGuiApplication::clipboard()->mimeData()->formats(),
            QStringList{QStringLiteral("application/x-qt-windows-mime;value=\"Lorvanta Bol\"")});

        // Another adapter's bols, even none, are on offer but not ours to empty.
        QtBolClipboard other;
        QVERIFY(other.Put({}));
        QCOMPARE(clipboard.Get(), std::vector<std::uint8_t>{});
        QVERIFY(!clipboard.ClearIfOwn());
        QVERIFY(other.ClearIfOwn());
        QVERIFY(!clipboard.HasBols());
    }
};

QTEST_MAIN(EditDialogsTest)
#include "EditDialogsTest.moc"
