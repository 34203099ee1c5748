// The tempo, pitch and mixer bars: typed values and their ranges, sliders,
// buttons and readouts.
#include "AppTestSupport.h"

#include "model/SoundTables.h"
#include "ui/bars/MixerBar.h"
#include "ui/bars/PitchCtrlBar.h"
#include "ui/bars/TempoCtrlBar.h"
#include "ui/dialogs/TempoRampDialog.h"

#include <QAction>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>

#include <cmath>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

const char* const kRangeMessage =
    "Tempo out of range: Enter a value between 10.0 and 1000.0 (measured in bpm)";

// Types over the edit's text and presses Enter.
void Enter(QLineEdit* edit, const QString& text) {
    TypeOver(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

} // namespace

class BarsTest : public QObject {
    Q_OBJECT

private slots:
    // --- Tempo ----------------------------------------------------------

    // A tempo in range is applied at once; a refused one keeps the old one,
    // says why once and leaves the text selected.
    void typedTempos() {
        for (const auto& [text, secondsPerBeat, slider] : {std::tuple("120", 0.5f, 207),
                                                           {"10", 6.0f, 100},
                                                           {"9.99", 0.0f, 200},
                                                           {"1000.1", 0.0f, 200},
                                                           {"1e999", 0.0f, 200}}) {
            BarWindow<CTempoCtrlBar> w;
            CTempoCtrlBar& bar = *w.bar;
            QSignalSpy spy(&bar, &CTempoCtrlBar::tempoChanged);
            const bool accepted = secondsPerBeat > 0.0f;
            Enter(bar.TempoEdit(), QString::fromLatin1(text));
            QCOMPARE(bar.SecondsPerBeat(), accepted ? secondsPerBeat : 0.6f);
            QCOMPARE(spy.count(), accepted ? 1 : 0);
            QCOMPARE(Texts(w.sink), accepted ? std::vector<std::string>{}
                                             : std::vector<std::string>{kRangeMessage});
            QLineEdit* edit = bar.TempoEdit();
            QVERIFY(accepted ||
                    (edit->hasFocus() && edit->selectedText() == QString::fromLatin1(text)));
            QCOMPARE(bar.Slider()->value(), slider);
        }
    }

    // The slider applies when let go; Quick Change jumps and turns itself off; taps
    // set the tempo from the second on; a ramp's tempo is only shown; Reset gives
    // 100.0000 (the slider the step below the float just under 100).
    void sliderQuickChangeTapsAndReset() {
        BarWindow<CTempoCtrlBar> w;
        CTempoCtrlBar& bar = *w.bar;
        QSignalSpy spy(&bar, &CTempoCtrlBar::tempoChanged);
        QSlider* slider = bar.Slider();
        slider->setSliderDown(true);
        slider->setSliderPosition(250);
        QCOMPARE(bar.TempoEdit()->text(), QStringLiteral("316.2278"));
        QCOMPARE(spy.count(), 0); // not heard yet
        slider->setSliderDown(false);
        QCOMPARE(spy.count(), 1);

        Enter(bar.QuickEdit(), QStringLiteral("150"));
        QCOMPARE(spy.count(), 1); // the quick tempo alone changes no sound
        QTest::mouseClick(bar.QuickChangeButton(), Qt::LeftButton);
        QCOMPARE(spy.at(1).at(0).toFloat(), 0.4f);
        QVERIFY(!bar.QuickChangeAction()->isEnabled());

        const TapTempo::Clock::time_point start{std::chrono::hours(1)};
        bar.OnTap(start);
        QCOMPARE(spy.count(), 2);
        bar.OnTap(start + std::chrono::milliseconds(500));
        QCOMPARE(spy.count(), 3);
        QCOMPARE(spy.at(2).at(0).toFloat(), 0.5f);
        QCOMPARE(bar.TempoEdit()->text(), QStringLiteral("120.0000"));
        bar.ShowTempo(0.4f);
        QCOMPARE(spy.count(), 3);
        QCOMPARE(bar.TempoEdit()->text(), QStringLiteral("150.0000"));
        QCOMPARE(bar.SecondsPerBeat(), 0.4f);

        QTest::mouseClick(bar.ResetButton(), Qt::LeftButton);
        QCOMPARE(bar.TempoEdit()->text(), QStringLiteral("100.0000"));
        QCOMPARE(bar.Slider()->value(), 199);
        QVERIFY(!bar.ResetButton()->isEnabled());
        // A stored tempo of 0 (or NaN) opens at 100.0000.
        QCOMPARE(CTempoCtrlBar::AcceptedDocumentTempo(std::nanf("")), DefaultTempo());
        Enter(bar.TempoEdit(), QStringLiteral("120"));
        bar.ApplyDocumentTempo(CTempoCtrlBar::AcceptedDocumentTempo(0.0f));
        QCOMPARE(bar.TempoEdit()->text(), QStringLiteral("100.0000"));
    }

    // The dialog gives the form chosen; End Ramp shows only while one runs.
    void rampDialogGivesTheRequest() {
        RecordingMessageSink sink;
        CTempoRampDialog stepped(120.0, false, sink);
        QVERIFY(!stepped.EndButton()->isVisibleTo(&stepped));
        stepped.TargetBox()->setValue(200.0);
        stepped.StepBox()->setValue(10.0);
        stepped.CyclesBox()->setValue(2);
        RampRequest request = stepped.Request();
        QVERIFY(request.form == RampRequest::Form::Stepped && request.targetBpm == 200.0 &&
                request.stepBpm == 10.0 && request.cycles == 2);
        CTempoRampDialog even(120.0, true, sink);
        QVERIFY(even.EndButton()->isVisibleTo(&even));
        QVERIFY(!even.MinutesBox()->isEnabled());
        even.EvenChoice()->setChecked(true);
        QVERIFY(even.MinutesBox()->isEnabled() && !even.StepBox()->isEnabled());
        even.MinutesBox()->setValue(2.5);
        request = even.Request();
        QVERIFY(request.form == RampRequest::Form::Even && request.minutes == 2.5);
    }

    // --- Pitch ----------------------------------------------------------

    void typedShifts() {
        for (const auto& [text, accepted, factor, note, slider] :
             {std::tuple("1", true, 1.0594631f, "D (P2)", 140),
              {"+6", true, 1.4142135f, "G (P5)", 240},
              {"up", true, 1.0f, "C# (K1)", 120}, // no number
              {"6.5", false, 1.0f, "", 120}}) {
            BarWindow<CPitchCtrlBar> w;
            CPitchCtrlBar& bar = *w.bar;
            QSignalSpy spy(&bar, &CPitchCtrlBar::pitchChanged);
            Enter(bar.PitchEdit(), QString::fromLatin1(text));
            QCOMPARE(bar.PitchFactor(), factor);
            QCOMPARE(bar.Slider()->value(), slider);
            QCOMPARE(bar.PitchEdit()->selectedText(), QString::fromLatin1(text)); // as typed
            QCOMPARE(spy.count(), accepted ? 1 : 0);
            if (accepted)
                QCOMPARE(bar.NoteLabel()->text(), QString::fromLatin1(note));
            else
                QCOMPARE(Texts(w.sink),
                         std::vector<std::string>{
                             "Enter a value between -6.0 and 6.0 (number of semitones from C#). "
                             "For example, +1 means D and -2 means B#."});
        }
    }

    // The buttons go to the next whole semitone, a whole semitone steps by
    // one, and each is off at its end of the range.
    void buttonsGoToWholeSemitones() {
        BarWindow<CPitchCtrlBar> w;
        CPitchCtrlBar& bar = *w.bar;
        bar.Slider()->setValue(127); // 0.35 semitones
        QTest::mouseClick(bar.UpButton(), Qt::LeftButton);
        QCOMPARE(bar.PitchFactor(), 1.0594631f);
        bar.Slider()->setValue(127);
        QTest::mouseClick(bar.DownButton(), Qt::LeftButton);
        QCOMPARE(bar.PitchFactor(), 1.0f);
        QTest::mouseClick(bar.DownButton(), Qt::LeftButton);
        QCOMPARE(bar.NoteLabel()->text(), QStringLiteral("C (P1)"));

        QSignalSpy spy(&bar, &CPitchCtrlBar::pitchChanged);
        for (int i = 0; i < 7; ++i)
            bar.OnPitchUp();
        QVERIFY(!bar.UpButton()->isEnabled());
        QCOMPARE(bar.PitchFactor(), 1.4142135f);
        Enter(bar.PitchEdit(), QStringLiteral("-5.5"));
        bar.OnPitchDown();
        QCOMPARE(bar.PitchFactor(), 0.70710677f);
        QVERIFY(!bar.DownButton()->isEnabled());
        const int before = spy.count();
        bar.OnPitchDown(); // at the end: nothing happens
        QCOMPARE(spy.count(), before);
        QTest::mouseClick(bar.ResetButton(), Qt::LeftButton);
        QCOMPARE(bar.PitchFactor(), 1.0f);
    }

    // --- Mixer ----------------------------------------------------------

    // The sliders move in half decibels within each range, each move
    // announced once; Off silences a drum and keeps its level; levels shown
    // from outside are not announced.
    void mixerSlidersAndOff() {
        QMainWindow window;
        auto* bar = new CMixerBar(&window);
        QSignalSpy levels(bar, &CMixerBar::levelsChanged);
        QSignalSpy drone(bar, &CMixerBar::droneLevelChanged);
        for (const auto& [channel, position, readout] :
             {std::tuple(CMixerBar::kTreble, -99, "-40.0 dB"),
              {CMixerBar::kBass, 99, "+6.0 dB"},
              {CMixerBar::kMaster, -13, "-6.5 dB"},
              {CMixerBar::kDrone, -999, "-60.0 dB"}}) {
            bar->Slider(channel)->setValue(position);
            QCOMPARE(bar->Readout(channel)->text(), QString::fromLatin1(readout));
        }
        QCOMPARE(bar->Levels(), (DrumLevels{{-40.0f}, {6.0f}, {-6.5f}}));
        QCOMPARE(bar->DroneLevel(), -60.0f);
        QCOMPARE(drone.count(), 1);
        bar->OffButton(CMixerBar::kBass)->click();
        bar->Slider(CMixerBar::kBass)->setValue(-24); // still off
        QCOMPARE(bar->Levels().bass, (DrumLevel{-12.0f, true}));
        QVERIFY(!bar->Readout(CMixerBar::kBass)->isEnabled());
        bar->OffButton(CMixerBar::kBass)->click();
        QCOMPARE(bar->Levels().bass, DrumLevel{-12.0f});
        QCOMPARE(levels.count(), 6);
        bar->SetLevels({{3.0f, true}});
        bar->SetDroneLevel(12.0f);
        QCOMPARE(levels.count() + drone.count(), 7);
        QVERIFY(bar->OffButton(CMixerBar::kTreble)->isChecked() &&
                !bar->Readout(CMixerBar::kTreble)->isEnabled() &&
                !bar->OffButton(CMixerBar::kDrone));
        QCOMPARE(bar->Slider(CMixerBar::kDrone)->value(), 24);
    }
};

QTEST_MAIN(BarsTest)
#include "BarsTest.moc"
