// The two settings: defaults, the round trip through the user store, the
// reading rules; and the Options dialog's OK, Retry, Cancel and Browse.
#include "AppTestSupport.h"

#include "app/AppSettings.h"
#include "ui/dialogs/OptionsDialog.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

void StoreRaw(const char* name, const QVariant& value) {
    OpenUserSettings()->setValue(QString::fromLatin1(name), value);
}

const char* const kMissingFolder = "Folder %1 does not exist. Please check the name and try again.";

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void writtenWhenTheWindowGoesAndReadBack() {
        AppFixture fixture;
        {
            const auto app = fixture.Start();
            app->MainFrame()->Settings() = {fixture.Path("mine"), kDisplayBolName};
            // Nothing is written while the window lives.
            QVERIFY(!OpenUserSettings()->contains(kTaalsFolderValue));
        }
        const auto store = OpenUserSettings();
        QCOMPARE(store->value(kTaalsFolderValue).toString(), fixture.Path("mine"));
        QCOMPARE(store->value(kPlayingBeatDisplayValue).toUInt(), 1u);

        const auto app = fixture.Start();
        QCOMPARE(app->MainFrame()->Settings().taalsFolder, fixture.Path("mine"));
        QCOMPARE(app->MainFrame()->Settings().playingBeatDisplay, 1u);
    }

    void readingRules_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<uint>("display");
        QTest::newRow("nothing stored") << QVariant() << 0u;
        QTest::newRow("1") << QVariant(1u) << 1u;
        QTest::newRow("2") << QVariant(2u) << 0u;
        QTest::newRow("-1") << QVariant(-1) << 0u;
        QTest::newRow("a word") << QVariant(QStringLiteral("one")) << 0u;
    }

    void readingRules() {
        QFETCH(QVariant, stored);
        QFETCH(uint, display);
        AppFixture fixture;
        if (stored.isValid())
            StoreRaw(kPlayingBeatDisplayValue, stored);
        QCOMPARE(ReadAppSettings().playingBeatDisplay, display);
    }

    void folderTooLongToReadGivesTheDefault() {
        AppFixture fixture;
        StoreRaw(kTaalsFolderValue, QString(kMaxTaalsFolderBytes, QLatin1Char('a')));
        QCOMPARE(ReadAppSettings().taalsFolder, DefaultTaalsFolder());
        StoreRaw(kTaalsFolderValue, QString(kMaxTaalsFolderBytes - 1, QLatin1Char('a')));
        QCOMPARE(ReadAppSettings().taalsFolder.size(), kMaxTaalsFolderBytes - 1);
    }

    void optionsOk() {
        AppFixture fixture;
        AppSettings settings{fixture.Path("old"), kDisplayBeatNumber};
        COptionsDialog dialog(settings, fixture.sink, fixture.shell.Services().chooseFolder);
        dialog.FolderEdit()->setText(QDir::tempPath());
        dialog.DisplayList()->setCurrentIndex(1);
        dialog.accept();
        QCOMPARE(settings.taalsFolder, QDir::tempPath());
        QCOMPARE(settings.playingBeatDisplay, 1u);
        QVERIFY(fixture.sink.Messages().empty());
    }

    void optionsWithAMissingFolder() {
        AppFixture fixture;
        AppSettings settings{fixture.Path("old"), kDisplayBeatNumber};
        COptionsDialog dialog(settings, fixture.sink, fixture.shell.Services().chooseFolder);
        dialog.show();
        const QString missing = fixture.Path("missing");
        dialog.FolderEdit()->setText(missing);
        dialog.DisplayList()->setCurrentIndex(1);

        // Retry: back in the dialog.
        fixture.sink.Answer(MessageAnswer::Retry);
        dialog.accept();
        QVERIFY(dialog.isVisible());
        QCOMPARE(fixture.sink.Texts(),
                 std::vector<std::string>{
                     QString::fromLatin1(kMissingFolder).arg(missing).toStdString()});

        // Cancel: closed as by OK, nothing changed.
        fixture.sink.Answer(MessageAnswer::Cancel);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(settings.taalsFolder, fixture.Path("old"));
        QCOMPARE(settings.playingBeatDisplay, 0u);
    }

    void browseKeepsTheFolderEvenOnCancel() {
        AppFixture fixture;
        AppSettings settings{fixture.Path("old"), kDisplayBeatNumber};
        fixture.shell.folder = fixture.Path("picked");
        COptionsDialog dialog(settings, fixture.sink, fixture.shell.Services().chooseFolder);
        dialog.show();
        dialog.BrowseButton()->click();
        QCOMPARE(fixture.shell.folderStarts, QStringList{fixture.Path("old")});
        dialog.reject();
        QCOMPARE(settings.taalsFolder, fixture.Path("picked"));
    }
};

QTEST_MAIN(SettingsTest)
#include "SettingsTest.moc"
