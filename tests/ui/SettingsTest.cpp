// The settings: kept across starts, their reading rules, the Options dialog,
// --kit, and changes heard at once while playing.
#include "AppTestSupport.h"

#include "app/AppSettings.h"
#include "app/Commands.h"
#include "audio/TaalRenderer.h"
#include "audio/playback/PlaybackEngine.h"
#include "model/Vibhags.h"
#include "soundfiles/StrokeKit.h"
#include "ui/bars/MixerBar.h"
#include "ui/dialogs/OptionsDialog.h"
#include "ui/grid/LorvantaView.h"

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
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
    // Kept for the next start (written when the window goes): the Taals folder, the
    // beat display, the drone (menu and D key), Rows by Vibhag and the mixer levels,
    // each heard or shown at once; a stored level out of range reads as 0 dB.
    void choicesAreHeardOrShownAtOnceAndKept() {
        AppFixture fixture;
        {
            const auto app = fixture.Start({AppFixture::Teentaal()});
            CMainFrame& frame = *app->MainFrame();
            CLorvantaSession& session = app->Session();
            const auto action = [&frame](int id) { return frame.Commands().Action(id); };
            CMixerBar& mixer = *frame.MixerBar();
            frame.Settings().taalsFolder = fixture.Path("mine");
            frame.Settings().playingBeatDisplay = kDisplayBolName;
            QVERIFY(!OpenUserSettings()->contains(kTaalsFolderValue)); // not while it lives
            session.Play();
            const QByteArray before = ImageBytes(session.Renderer());
            mixer.Slider(CMixerBar::kTreble)->setValue(-12);
            mixer.Slider(CMixerBar::kBass)->setValue(-7);
            mixer.OffButton(CMixerBar::kBass)->click();
            mixer.Slider(CMixerBar::kMaster)->setValue(5);
            mixer.Slider(CMixerBar::kDrone)->setValue(-41);
            QCOMPARE(session.Levels(), (DrumLevels{{-6.0f}, {-3.5f, true}, {2.5f}}));
            QCOMPARE(session.Drone().levelDb, -20.5f);
            QVERIFY(session.IsPlaying() && ImageBytes(session.Renderer()) != before);
            action(kCmdViewMixer)->trigger();
            QVERIFY(mixer.isHidden() && !action(kCmdViewMixer)->isChecked());
            action(kCmdAudioStop)->trigger();

            QTest::keyClick(frame.GetGridView(), Qt::Key_D);
            action(kCmdDroneNi)->trigger();
            action(kCmdDroneOctave4)->trigger();
            QVERIFY(session.Drone().on && action(kCmdDroneOn)->isChecked());
            QVERIFY(session.Drone().setup == (TanpuraSetup{DroneTuning::Ni, 4}));
            QVERIFY(action(kCmdDroneNi)->isChecked() && !action(kCmdDronePa)->isChecked());
            QVERIFY(session.Engine().IsDroneOn());
            action(kCmdDroneAlone)->trigger();
            QVERIFY(session.Engine().IsDroneAlone());
            action(kCmdAudioStop)->trigger();

            VibhagList vibhags;
            ParseVibhags("X:4 2:4 0:4 3:4", vibhags);
            WriteVibhagRecord(session.Document().Params(), vibhags);
            frame.GetGridView()->ApplyRowsByVibhag();
            QVERIFY(frame.GetGridView()->Layout().RowsByVibhag());
            action(kCmdViewRowsByVibhag)->trigger();
            QVERIFY(!action(kCmdViewRowsByVibhag)->isChecked() && !frame.Settings().rowsByVibhag);
            QVERIFY(!frame.GetGridView()->Layout().RowsByVibhag());
        }
        QCOMPARE(OpenUserSettings()->value(kDroneLevelValue).toDouble(), -20.5);
        OpenUserSettings()->setValue(kMasterLevelValue, QStringLiteral("7"));
        const auto app = fixture.Start();
        CMainFrame& frame = *app->MainFrame();
        QCOMPARE(frame.Settings().taalsFolder, fixture.Path("mine"));
        QCOMPARE(frame.Settings().playingBeatDisplay, 1u);
        QVERIFY(app->Session().Drone().on && app->Session().Engine().IsDroneOn());
        QVERIFY(app->Session().Drone().setup == (TanpuraSetup{DroneTuning::Ni, 4}));
        QVERIFY(!frame.Settings().rowsByVibhag);
        QVERIFY(!frame.Commands().Action(kCmdViewRowsByVibhag)->isChecked());
        const DrumLevels kept{{-6.0f}, {-3.5f, true}, {}};
        QCOMPARE(app->Session().Levels(), kept);
        QCOMPARE(frame.MixerBar()->Levels(), kept);
        QVERIFY(frame.MixerBar()->OffButton(CMixerBar::kBass)->isChecked());
        QCOMPARE(frame.MixerBar()->DroneLevel(), -20.5f);
    }

    // The lehra: L in the grid turns it on, the menu lists the lehras that
    // fit first (the chosen one checked, the others greyed) and the
    // instruments, the mixer bar sets its level; all is kept.
    void lehraFromTheKeyTheMenuAndTheMixerIsKept() {
        AppFixture fixture;
        {
            const auto app = fixture.Start({AppFixture::Teentaal()});
            CMainFrame& frame = *app->MainFrame();
            CLorvantaSession& session = app->Session();
            session.SetLehraLibrary(std::make_shared<LehraLibrary>(
                LehraLibrary::Load({LORVANTA_SOURCE_DIR "/Lehras"})));
            QTest::keyClick(frame.GetGridView(), Qt::Key_L);
            QVERIFY(session.LehraChoice().on && session.Engine().IsLehraOn());
            QVERIFY(frame.Commands().Action(kCmdLehraOn)->isChecked());
            auto* menu = frame.menuBar()->findChild<QMenu*>(QStringLiteral("LehraMenu"));
            QVERIFY(menu != nullptr);
            emit menu->aboutToShow();
            const auto find = [menu](const QString& text) -> QAction* {
                for (QAction* action : menu->actions())
                    if (action->text() == text)
                        return action;
                return nullptr;
            };
            const QString chosen = QString::fromStdString(session.LehraChosen()->lehra.name);
            QAction* kirwani = find(QStringLiteral("Kirwani in Teentaal (Kirwani, 16 beats)"));
            QAction* dadra = find(QStringLiteral("Des in Dadra (Des, 12 beats)"));
            QVERIFY(kirwani && kirwani->isEnabled() && dadra && !dadra->isEnabled());
            QVERIFY(chosen.contains(QStringLiteral("Teentaal")));
            kirwani->trigger();
            QCOMPARE(session.LehraChoice().name, std::string("Kirwani in Teentaal"));
            emit menu->aboutToShow();
            find(QStringLiteral("Sarangi"))->trigger();
            QVERIFY(session.LehraChoice().instrument == LehraInstrument::Sarangi);
            frame.MixerBar()->Slider(CMixerBar::kLehra)->setValue(-20);
            QCOMPARE(session.LehraChoice().levelDb, -10.0f);
            session.Play();
            QVERIFY(session.WaitForLehra()); // the loop comes from the lehra's worker
            QVERIFY(session.IsPlaying() && session.Engine().LehraLoopPlaying() != nullptr);
            session.Stop();
        }
        const auto store = OpenUserSettings();
        QCOMPARE(store->value(kLehraValue).toString(), QStringLiteral("on"));
        QCOMPARE(store->value(kLehraNameValue).toString(), QStringLiteral("Kirwani in Teentaal"));
        QCOMPARE(store->value(kLehraInstrumentValue).toString(), QStringLiteral("sarangi"));
        QCOMPARE(store->value(kLehraLevelValue).toDouble(), -10.0);
    }

    // A lehra two cycles long fits its Taal: Dadra's lehras (12 beats) are
    // offered for Dadra (6), and choosing one plays it.
    void aLehraOfTwoCyclesIsOfferedAndPlays() {
        AppFixture fixture;
        const auto app = fixture.Start({QStringLiteral(LORVANTA_SOURCE_DIR "/Taals/Dadra.tal")});
        CMainFrame& frame = *app->MainFrame();
        CLorvantaSession& session = app->Session();
        session.SetLehraLibrary(
            std::make_shared<LehraLibrary>(LehraLibrary::Load({LORVANTA_SOURCE_DIR "/Lehras"})));
        frame.Commands().Action(kCmdLehraOn)->trigger();
        QVERIFY(session.LehraChoice().on);
        auto* menu = frame.menuBar()->findChild<QMenu*>(QStringLiteral("LehraMenu"));
        QVERIFY(menu != nullptr);
        const auto find = [menu](const QString& text) -> QAction* {
            emit menu->aboutToShow();
            for (QAction* action : menu->actions())
                if (action->text() == text)
                    return action;
            return nullptr;
        };
        QAction* kafi = find(QStringLiteral("Kafi in Dadra (Kafi, 12 beats)"));
        QAction* teentaal = find(QStringLiteral("Kirwani in Teentaal (Kirwani, 16 beats)"));
        QVERIFY(kafi && kafi->isEnabled());
        QVERIFY(teentaal && !teentaal->isEnabled());
        kafi->trigger();
        QCOMPARE(session.LehraChoice().name, std::string("Kafi in Dadra"));
        QVERIFY(session.LehraChosen() && session.LehraChosen()->lehra.name == "Kafi in Dadra");
        kafi = find(QStringLiteral("Kafi in Dadra (Kafi, 12 beats)"));
        QVERIFY(kafi && kafi->isChecked());
        session.Play();
        QVERIFY(session.IsPlaying());
        QVERIFY(session.WaitForLehra()); // the loop comes from the lehra's worker
        const auto* playing = session.Engine().LehraLoopPlaying();
        QVERIFY(playing != nullptr);
        // The loop spans the lehra's two cycles of the Taal.
        QCOMPARE(playing->cycles, 2);
        QCOMPARE(playing->samples.size(), 2 * playing->cycleSamples);
        session.Stop();
    }

    void readingRules() {
        for (const auto& [stored, display] : {std::pair(QVariant(), 0u),
                                              {QVariant(1u), 1u},
                                              {QVariant(2u), 0u},
                                              {QVariant(-1), 0u},
                                              {QVariant(QStringLiteral("one")), 0u}}) {
            AppFixture fixture;
            if (stored.isValid())
                OpenUserSettings()->setValue(QString::fromLatin1(kPlayingBeatDisplayValue), stored);
            QCOMPARE(ReadAppSettings().playingBeatDisplay, display);
        }
    }

    // --- The strokes ----------------------------------------------------

    // Options: Browse… fills in a folder and chooses it; the choice is kept
    // across starts, and a setting this build cannot play gives the default.
    // A Taals folder that does not exist: Retry goes back to the dialog;
    // Cancel closes it as OK would with nothing changed.
    void optionsDialogKitsAndTheFolderCheck() {
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

        COptionsDialog again(settings, fixture.sink, fixture.shell.Services().chooseFolder);
        again.show();
        const QString missing = fixture.Path("missing");
        again.FolderEdit()->setText(missing);
        fixture.sink.Answer(MessageAnswer::Retry);
        again.accept();
        QVERIFY(again.isVisible());
        QCOMPARE(Texts(fixture.sink),
                 std::vector<std::string>{
                     QString::fromLatin1(kMissingFolder).arg(missing).toStdString()});
        fixture.sink.Answer(MessageAnswer::Cancel);
        again.accept();
        QCOMPARE(again.result(), int(QDialog::Accepted));
        QCOMPARE(settings.taalsFolder, QDir::tempPath());
    }

    // Options' Sound output: Default, then the devices grouped by host
    // interface; the choice is kept across starts, and a device no longer
    // there stays offered as not found.
    void optionsDialogSoundOutput() {
        AppFixture fixture;
        AppSettings settings = ReadAppSettings();
        QCOMPARE(settings.soundOutput, QString());
        settings.taalsFolder = QDir::tempPath();
        COptionsDialog dialog(settings, fixture.sink, fixture.shell.Services().chooseFolder);
        QCOMPARE(dialog.SoundOutputList()->count(), 1);
        dialog.SetSoundOutputs({QStringLiteral("ALSA: pulse"), QStringLiteral("ALSA: default"),
                                QStringLiteral("JACK Audio Connection Kit: system")});
        QCOMPARE(dialog.SoundOutputList()->itemText(0), QStringLiteral("Default"));
        QCOMPARE(dialog.SoundOutputList()->currentIndex(), 0);
        // A separator before each host's group.
        QCOMPARE(dialog.SoundOutputList()->count(), 6);
        dialog.SoundOutputList()->setCurrentIndex(dialog.SoundOutputList()->findData(
            QStringLiteral("JACK Audio Connection Kit: system")));
        dialog.accept();
        QCOMPARE(settings.soundOutput, QStringLiteral("JACK Audio Connection Kit: system"));
        WriteAppSettings(settings);
        QCOMPARE(ReadAppSettings().soundOutput, settings.soundOutput);

        COptionsDialog again(settings, fixture.sink, fixture.shell.Services().chooseFolder);
        again.SetSoundOutputs({QStringLiteral("ALSA: pulse")});
        QCOMPARE(again.SoundOutputList()->currentText(),
                 QStringLiteral("JACK Audio Connection Kit: system (not found)"));
        again.accept();
        QCOMPARE(settings.soundOutput, QStringLiteral("JACK Audio Connection Kit: system"));
    }

    // How strokes ring: Options sets the endings and the humanise, the bar
    // beside the pitch bar the bass drum's tuning; each is heard at once and
    // kept. Stored values out of range read as the defaults.
    void strokeStyleIsHeardAtOnceAndKept() {
        AppFixture fixture;
        {
            const auto app = fixture.Start({AppFixture::Teentaal()});
            CMainFrame& frame = *app->MainFrame();
            CLorvantaSession& session = app->Session();
            QCOMPARE(session.Style(), kDefaultStrokeStyle);
            AppSettings& settings = frame.Settings();
            settings.taalsFolder = QDir::tempPath();
            COptionsDialog dialog(settings, fixture.sink, fixture.shell.Services().chooseFolder);
            QCOMPARE(dialog.EndingsList()->currentText(), QStringLiteral("Ring on"));
            QCOMPARE(dialog.HumaniseSpin()->value(), 40);
            dialog.EndingsList()->setCurrentIndex(1);
            QCOMPARE(dialog.EndingsList()->currentText(), QStringLiteral("Cut at the next bol"));
            dialog.HumaniseSpin()->setValue(0);
            dialog.accept();
            session.Play();
            const QByteArray ringing = ImageBytes(session.Renderer());
            session.SetStrokeStyle(settings.style);
            QVERIFY(session.IsPlaying() && ImageBytes(session.Renderer()) != ringing);
            QCOMPARE(session.Style(), (StrokeStyle{StrokeEndings::Cut, 0.0f, 0.0f}));
            frame.findChild<QDoubleSpinBox*>(QStringLiteral("bassTuningSpin"))->setValue(-2.5);
            QCOMPARE(session.Style().bassTuning, -2.5f);
            session.Stop();
        }
        auto app = fixture.Start();
        QCOMPARE(app->Session().Style(), (StrokeStyle{StrokeEndings::Cut, 0.0f, -2.5f}));
        QCOMPARE(
            app->MainFrame()->findChild<QDoubleSpinBox*>(QStringLiteral("bassTuningSpin"))->value(),
            -2.5);
        app.reset();
        OpenUserSettings()->setValue(QString::fromLatin1(kStrokeEndingsValue), QStringLiteral("x"));
        OpenUserSettings()->setValue(QString::fromLatin1(kHumaniseValue), 101);
        OpenUserSettings()->setValue(QString::fromLatin1(kBassTuningValue), QStringLiteral("six"));
        QCOMPARE(ReadAppSettings().style, kDefaultStrokeStyle);
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
        // Goes on from where it was (a restart would fall back to the start);
        // the margin allows for a loaded machine rendering the new kit.
        QVERIFY(after >= before && after - before < 0.25);
        QCOMPARE(app->Bank().Kit(), DefaultBuiltInKit());
        if (HasBuiltInKit(BuiltInKit::Recorded))
            QVERIFY(ImageBytes(renderer) != synthesised);
    }
};

QTEST_MAIN(SettingsTest)
#include "SettingsTest.moc"
