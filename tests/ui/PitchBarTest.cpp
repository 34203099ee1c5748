// The pitch bar: typed shifts, the slider, the whole-semitone buttons, the
// note names and which buttons are offered where.
#include "AppTestSupport.h"

#include "ui/bars/PitchCtrlBar.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>

#include <memory>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

// Types a shift into the edit and presses Enter.
void Enter(CPitchCtrlBar& bar, const QString& text) {
    TypeOver(bar.PitchEdit(), text);
    QTest::keyClick(bar.PitchEdit(), Qt::Key_Return);
}

} // namespace

class PitchBarTest : public QObject {
    Q_OBJECT

    std::unique_ptr<BarWindow<CPitchCtrlBar>> w;

private slots:
    void init() {
        w = std::make_unique<BarWindow<CPitchCtrlBar>>();
        QVERIFY(QTest::qWaitForWindowActive(&w->window));
    }
    void cleanup() { w.reset(); }

    void noteNamesOnlyNearWholeSemitones() {
        QCOMPARE(CPitchCtrlBar::PitchNoteName(1.00009f), QStringLiteral("C# (K1)"));
        QCOMPARE(CPitchCtrlBar::PitchNoteName(1.0002f), QString());
    }

    void typedShifts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<float>("factor");
        QTest::addColumn<QString>("note");
        QTest::addColumn<int>("slider");
        QTest::newRow("1") << "1" << true << 1.0594631f << "D (P2)" << 140;
        QTest::newRow("+6") << "+6" << true << 1.4142135f << "G (P5)" << 240;
        QTest::newRow("-6") << "-6" << true << 0.70710677f << "G (P5)" << 0;
        QTest::newRow("no number") << "up" << true << 1.0f << "C# (K1)" << 120;
        QTest::newRow("6.5") << "6.5" << false << 1.0f << "" << 120;
    }
    void typedShifts() {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(float, factor);
        QFETCH(QString, note);
        QFETCH(int, slider);
        CPitchCtrlBar& bar = *w->bar;
        QSignalSpy spy(&bar, &CPitchCtrlBar::pitchChanged);
        Enter(bar, text);
        QCOMPARE(bar.PitchFactor(), factor);
        QCOMPARE(bar.Slider()->value(), slider);
        QCOMPARE(bar.PitchEdit()->selectedText(), text); // as typed, selected
        QCOMPARE(spy.count(), accepted ? 1 : 0);
        if (accepted) {
            QCOMPARE(bar.NoteLabel()->text(), note);
            return;
        }
        QCOMPARE(Texts(w->sink),
                 std::vector<std::string>{
                     "Enter a value between -6.0 and 6.0 (number of semitones from C#). "
                     "For example, +1 means D and -2 means B#."});
    }

    void everySliderMoveRetunes() {
        CPitchCtrlBar& bar = *w->bar;
        QSignalSpy spy(&bar, &CPitchCtrlBar::pitchChanged);
        bar.Slider()->setSliderDown(true);
        bar.Slider()->setSliderPosition(127);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(bar.PitchEdit()->text(), QStringLiteral("0.3500"));
        QCOMPARE(bar.NoteLabel()->text(), QString());
    }

    void buttonsGoToWholeSemitones() {
        CPitchCtrlBar& bar = *w->bar;
        bar.Slider()->setValue(127); // 0.35 semitones
        QTest::mouseClick(bar.UpButton(), Qt::LeftButton);
        QCOMPARE(bar.PitchFactor(), 1.0594631f);

        bar.Slider()->setValue(127);
        QTest::mouseClick(bar.DownButton(), Qt::LeftButton);
        QCOMPARE(bar.PitchFactor(), 1.0f);

        // A whole semitone steps by one.
        QTest::mouseClick(bar.DownButton(), Qt::LeftButton);
        QCOMPARE(bar.NoteLabel()->text(), QStringLiteral("C (P1)"));
    }

    void buttonsOfferedWithinTheRange() {
        CPitchCtrlBar& bar = *w->bar;
        QSignalSpy spy(&bar, &CPitchCtrlBar::pitchChanged);
        for (int i = 0; i < 6; ++i)
            bar.OnPitchUp();
        QVERIFY(!bar.UpButton()->isEnabled());
        bar.OnPitchUp(); // at the end: stays there
        QCOMPARE(bar.PitchFactor(), 1.4142135f);

        Enter(bar, QStringLiteral("-5.5"));
        bar.OnPitchDown();
        QCOMPARE(bar.PitchFactor(), 0.70710677f);
        QVERIFY(!bar.DownButton()->isEnabled());
        const int before = spy.count();
        bar.OnPitchDown(); // at the end: nothing happens
        QCOMPARE(spy.count(), before);
        QTest::mouseClick(bar.ResetButton(), Qt::LeftButton);
        QCOMPARE(bar.PitchFactor(), 1.0f);
    }
};

QTEST_MAIN(PitchBarTest)
#include "PitchBarTest.moc"
