// The settings: the round trip through the user store, the reading rules;
// the Options dialog's folder check; the strokes chosen in Options, --kit,
// and a change heard at once while playing; the mixer bar's levels, heard at
// once and kept.
#include "AppTestSupport.h"

#include "app/AppSettings.h"
#include "app/Commands.h"
#include "app/MainFrame.h"
#include "audio/StrokeKit.h"
#include "audio/TaalRenderer.h"
#include "audio/playback/PlaybackEngine.h"
#include "model/Vibhags.h"
#include "ui/bars/MixerBar.h"
#include "ui/dialogs/OptionsDialog.h"
#include "ui/grid/LorvantaView.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

const char* const kMissingFolder = "Folder %1 does not exist. Please check the name and try again.";

// Where playing has got to, as a fraction of the cycle.
double CycleFraction(CLorvantaSession& session) {
    return (session.Engine().LastBeatPosition() - 1.0) / session.Renderer().Image().Beats();
}

QByteArray ImageBytes(const CTaalRenderer& renderer) {
    QByteArray bytes(static_cast<qsizetype>(renderer.ImageSize()), '\0');
    renderer.Image().CopyBytes(
        0, std::span(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size()));
    return bytes;
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void writtenWhenTheWindowGoesAndReadBack() {
        AppFixture fixture;
        {
            const auto app = fixture.Start();
            app->MainFrame()->Settings() = {
                fixture.Path("mine"), kDisplayBolName, DefaultKitChoice(), {}};
            // Nothing is written while the window lives.
            QVERIFY(!OpenUserSettings()->contains(kTaalsFolderValue));
        }
        const auto app = fixture.Start();
        QCOMPARE(app->MainFrame()->Settings().taalsFolder, fixture.Path("mine"));
        QCOMPARE(app->MainFrame()->Settings().playingBeatDisplay, 1u);
    }

    // The drone from the menu and the D key; the window keeps the choices for
    // the next start, where the drone is on again.
    void droneChoicesAreKept() {
        AppFixture fixture;
        {
            const auto app = fixture.Start();
            CMainFrame& frame = *app->MainFrame();
            QTest::keyClick(frame.GetGridView(), Qt::Key_D);
            frame.Commands().Action(kCmdDroneNi)->trigger();
            frame.Commands().Action(kCmdDroneOctave4)->trigger();
            const DroneSettings& drone = app->Session().Drone();
            QVERIFY(drone.on && frame.Commands().Action(kCmdDroneOn)->isChecked());
            QVERIFY(drone.setup == (TanpuraSetup{DroneTuning::Ni, 4}));
            QVERIFY(frame.Commands().Action(kCmdDroneNi)->isChecked() &&
                    !frame.Commands().Action(kCmdDronePa)->isChecked());
            QVERIFY(app->Session().Engine().IsDroneOn());
            frame.Commands().Action(kCmdDroneAlone)->trigger();
            QVERIFY(app->Session().Engine().IsDroneAlone());
            frame.Commands().Action(kCmdAudioStop)->trigger();
        }
        const auto app = fixture.Start();
        QVERIFY(app->Session().Drone().on && app->Session().Engine().IsDroneOn());
        QVERIFY(app->Session().Drone().setup == (TanpuraSetup{DroneTuning::Ni, 4}));
    }

    // View > Rows by Vibhag: on at first; the grid follows it, and the window
    // keeps it for the next start.
    void rowsByVibhagIsKept() {
        AppFixture fixture;
        const QString teentaal = QStringLiteral(LORVANTA_SOURCE_DIR "/Taals/Teentaal.tal");
        {
            const auto app = fixture.Start({teentaal});
            CMainFrame& frame = *app->MainFrame();
            VibhagList vibhags;
            ParseVibhags("X:4 2:4 0:4 3:4", vibhags);
            WriteVibhagRecord(app->Session().Document().Params(), vibhags);
            QAction* action = frame.Commands().Action(kCmdViewRowsByVibhag);
            QVERIFY(action->isChecked());
            frame.GetGridView()->ApplyRowsByVibhag();
            QVERIFY(frame.GetGridView()->Layout().RowsByVibhag());
            action->trigger();
            QVERIFY(!action->isChecked() && !frame.Settings().rowsByVibhag);
            QVERIFY(!frame.GetGridView()->Layout().RowsByVibhag());
        }
        const auto app = fixture.Start();
        QVERIFY(!app->MainFrame()->Settings().rowsByVibhag);
        QVERIFY(!app->MainFrame()->Commands().Action(kCmdViewRowsByVibhag)->isChecked());
    }

    // The mixer bar while playing: each level is heard at once, the drone's
    // under its old key; View > Mixer hides the bar. The next start shows and
    // plays the levels kept, a stored level that is neither off nor in range
    // reading as 0 dB.
    void mixerLevelsAreHeardAtOnceAndKept() {
        AppFixture fixture;
        {
            const auto app = fixture.Start({AppFixture::Teentaal()});
            CMainFrame& frame = *app->MainFrame();
            CMixerBar& mixer = *frame.MixerBar();
            CLorvantaSession& session = app->Session();
            session.Play();
            const QByteArray before = ImageBytes(session.Renderer());
            mixer.Slider(CMixerBar::kTreble)->setValue(-12);
            mixer.Slider(CMixerBar::kBass)->setValue(-7);
            mixer.OffButton(CMixerBar::kBass)->click();
            mixer.Slider(CMixerBar::kMaster)->setValue(5);
            mixer.Slider(CMixerBar::kDrone)->setValue(-41);
            const DrumLevels set{{-6.0f}, {-3.5f, true}, {2.5f}};
            QCOMPARE(session.Levels(), set);
            QCOMPARE(session.Drone().levelDb, -20.5f);
            QVERIFY(session.IsPlaying() && ImageBytes(session.Renderer()) != before);

            QAction* view = frame.Commands().Action(kCmdViewMixer);
            QVERIFY(view->isChecked());
            view->trigger();
            QVERIFY(mixer.isHidden() && !view->isChecked());
        }
        QCOMPARE(OpenUserSettings()->value(kDroneLevelValue).toDouble(), -20.5);
        OpenUserSettings()->setValue(kMasterLevelValue, QStringLiteral("7"));
        const auto app = fixture.Start();
        const DrumLevels kept{{-6.0f}, {-3.5f, true}, {}};
        QCOMPARE(app->Session().Levels(), kept);
        QCOMPARE(app->MainFrame()->MixerBar()->Levels(), kept);
        QVERIFY(app->MainFrame()->MixerBar()->OffButton(CMixerBar::kBass)->isChecked());
        QCOMPARE(app->MainFrame()->MixerBar()->DroneLevel(), -20.5f);
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
            OpenUserSettings()->setValue(QString::fromLatin1(kPlayingBeatDisplayValue), stored);
        QCOMPARE(ReadAppSettings().playingBeatDisplay, display);
    }

    // Retry goes back to the dialog; Cancel closes it as OK would with
    // nothing changed.
    void optionsDialogChecksTheFolder() {
        AppFixture fixture;
        AppSettings settings{fixture.Path("old"), kDisplayBeatNumber, DefaultKitChoice(), {}};
        COptionsDialog dialog(settings, fixture.sink, fixture.shell.Services().chooseFolder);
        dialog.show();
        const QString missing = fixture.Path("missing");
        dialog.FolderEdit()->setText(missing);
        fixture.sink.Answer(MessageAnswer::Retry);
        dialog.accept();
        QVERIFY(dialog.isVisible());
        QCOMPARE(Texts(fixture.sink),
                 std::vector<std::string>{
                     QString::fromLatin1(kMissingFolder).arg(missing).toStdString()});
        fixture.sink.Answer(MessageAnswer::Cancel);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(settings.taalsFolder, fixture.Path("old"));
    }

    // --- The strokes ----------------------------------------------------

    // Browse… fills in a folder and chooses it; the choice is kept across
    // starts, and a setting this build cannot play gives the default.
    void dialogOffersTheKitsAndTheSettingKeepsTheChoice() {
        AppFixture fixture;
        AppSettings settings = ReadAppSettings();
        QCOMPARE(settings.strokes, DefaultKitChoice());
        settings.taalsFolder = QDir::tempPath();
        fixture.shell.folder = fixture.Path("kit");
        QDir().mkpath(fixture.Path("kit"));
        COptionsDialog dialog(settings, fixture.sink, fixture.shell.Services().chooseFolder);
        dialog.show();
        QCOMPARE(dialog.StrokesList()->count(), HasBuiltInKit(BuiltInKit::Recorded) ? 3 : 2);
        dialog.KitBrowseButton()->click();
        QCOMPARE(dialog.StrokesList()->currentData().toInt(), int(COptionsDialog::kStrokesFolder));
        dialog.accept();
        const KitChoice folder{DefaultBuiltInKit(), fixture.Path("kit").toStdString()};
        QCOMPARE(settings.strokes, folder);
        WriteAppSettings(settings);
        QCOMPARE(ReadAppSettings().strokes, folder);
        OpenUserSettings()->setValue(QString::fromLatin1(kStrokesValue), QString());
        QCOMPARE(ReadAppSettings().strokes, DefaultKitChoice());
    }

    // --kit plays a kit for one run and leaves the setting alone.
    void kitOnTheCommandLine() {
        AppFixture fixture;
        {
            auto app = fixture.Start({QStringLiteral("--kit"), QStringLiteral("synthesised")});
            QCOMPARE(app->Bank().Kit(), BuiltInKit::Synthesised);
            QCOMPARE(app->MainFrame()->Settings().strokes, DefaultKitChoice());
        }
        CSampleBank source(BuiltInKit::Synthesised);
        QDir().mkpath(fixture.Path("kit"));
        fixture.Write(QStringLiteral("kit/12 Na.wav"), source.StrokeImage(12));
        auto app = fixture.Start({QStringLiteral("--kit"), fixture.Path("kit")});
        QVERIFY(app->Bank().IsReplaced(12));
        QCOMPARE(app->Bank().Kit(), DefaultBuiltInKit());
        app.reset();
        auto refused = fixture.Start({QStringLiteral("--kit"), QStringLiteral("recorded")});
        QCOMPARE(refused != nullptr, HasBuiltInKit(BuiltInKit::Recorded));
    }

    // Options OK with another kit while playing: the new strokes are heard
    // from where playing was, and playing goes on.
    void switchingWhilePlayingKeepsThePlace() {
        AppFixture fixture;
        auto app = fixture.Start(
            {AppFixture::Teentaal(), QStringLiteral("--kit"), QStringLiteral("synthesised")});
        app->MainFrame()->Settings().taalsFolder = QDir::tempPath();
        CLorvantaSession& session = app->Session();
        CTaalRenderer& renderer = session.Renderer();
        const QByteArray synthesised = ImageBytes(renderer);
        session.Play();
        QTRY_VERIFY(CycleFraction(session) > 0.02);

        // The dialog, answered as soon as it shows.
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<COptionsDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->StrokesList()->setCurrentIndex(dialog->StrokesIndex(
                HasBuiltInKit(BuiltInKit::Recorded) ? COptionsDialog::kStrokesRecorded
                                                    : COptionsDialog::kStrokesSynthesised));
            dialog->accept();
        });
        const double before = CycleFraction(session);
        app->MainFrame()->OnViewOptions();
        const double after = CycleFraction(session);
        QVERIFY(session.IsPlaying());
        QVERIFY(after >= before && after - before < 0.05);
        QCOMPARE(app->Bank().Kit(), DefaultBuiltInKit());
        if (HasBuiltInKit(BuiltInKit::Recorded))
            QVERIFY(ImageBytes(renderer) != synthesised);
    }
};

QTEST_MAIN(SettingsTest)
#include "SettingsTest.moc"
