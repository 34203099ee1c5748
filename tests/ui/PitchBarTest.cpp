// The pitch bar: typed shifts, the slider, the whole-semitone buttons, the
// note names and which buttons are offered where.
#include "model/Messages.h"
#include "ui/bars/PitchCtrlBar.h"

#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <memory>

using namespace lorvanta;

namespace {

struct BarWindow {
    RecordingMessageSink sink;
    QMainWindow window;
    CPitchCtrlBar* bar;
    QLineEdit* elsewhere;

    BarWindow() {
        bar = new CPitchCtrlBar(sink, &window);
        window.addToolBar(bar);
        elsewhere = new QLineEdit(&window);
        window.setCentralWidget(elsewhere);
        window.resize(1000, 200); // room for the whole bar
        elsewhere->setFocus();
        window.show();
        window.activateWindow();
    }
};

// Types a shift into the edit and presses Enter.
void Enter(CPitchCtrlBar& bar, const QString& text) {
    bar.PitchEdit()->setFocus();
    bar.PitchEdit()->selectAll();
    QTest::keyClicks(bar.PitchEdit(), text);
    QTest::keyClick(bar.PitchEdit(), Qt::Key_Return);
}

// The playback rate the view derives from a factor.
int Rate(float factor) {
    return static_cast<int>(22050.0f * factor);
}

} // namespace

class PitchBarTest : public QObject {
    Q_OBJECT

    std::unique_ptr<BarWindow> w;

private slots:
    void init() {
        w = std::make_unique<BarWindow>();
        QVERIFY(QTest::qWaitForWindowActive(&w->window));
    }
    void cleanup() { w.reset(); }

    void semitoneTableAndNoteNames() {
        const std::array<float, 13> expected = {
            0.70710677f, 0.74915355f, 0.7937005f, 0.8408964f, 0.8908987f, 0.9438743f, 1.0f,
            1.0594631f,  1.122462f,   1.1892071f, 1.259921f,  1.3348398f, 1.4142135f};
        const std::array<int, 13> rates = {15591, 16518, 17501, 18541, 19644, 20812, 22050,
                                           23361, 24750, 26222, 27781, 29433, 31183};
        for (std::size_t i = 0; i < expected.size(); ++i) {
            QCOMPARE(CPitchCtrlBar::SemitoneFactors()[i], expected[i]);
            QCOMPARE(Rate(expected[i]), rates[i]);
        }
        QCOMPARE(CPitchCtrlBar::PitchNoteName(0.70710677f), QStringLiteral("G (P5)"));
        QCOMPARE(CPitchCtrlBar::PitchNoteName(1.4142135f), QStringLiteral("G (P5)"));
        QCOMPARE(CPitchCtrlBar::PitchNoteName(0.8908987f), QStringLiteral("B (P7)"));
        QCOMPARE(CPitchCtrlBar::PitchNoteName(1.00009f), QStringLiteral("C# (K1)"));
        QCOMPARE(CPitchCtrlBar::PitchNoteName(1.0002f), QString());
    }

    void typedShifts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<float>("factor");
        QTest::addColumn<QString>("note");
        QTest::addColumn<int>("slider");
        QTest::newRow("1") << "1" << 1.0594631f << "D (P2)" << 140;
        QTest::newRow("0.5") << "0.5" << 1.0293022f << "" << 130;
        QTest::newRow("-0.5") << "-0.5" << 0.9715319f << "" << 110;
        QTest::newRow("+6") << "+6" << 1.4142135f << "G (P5)" << 240;
        QTest::newRow("-6") << "-6" << 0.70710677f << "G (P5)" << 0;
        QTest::newRow("no number") << "up" << 1.0f << "C# (K1)" << 120;
    }
    void typedShifts() {
        QFETCH(QString, text);
        QFETCH(float, factor);
        QFETCH(QString, note);
        QFETCH(int, slider);
        CPitchCtrlBar& bar = *w->bar;
        QSignalSpy spy(&bar, &CPitchCtrlBar::pitchChanged);
        Enter(bar, text);
        QVERIFY(w->sink.Messages().empty());
        QCOMPARE(bar.PitchFactor(), factor);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toFloat(), factor);
        QCOMPARE(bar.NoteLabel()->text(), note);
        QCOMPARE(bar.Slider()->value(), slider);
        QCOMPARE(bar.PitchEdit()->text(), text); // as typed
        QVERIFY(bar.PitchEdit()->hasFocus());
        QCOMPARE(bar.PitchEdit()->selectedText(), text);
    }

    void shiftsOutOfRangeRefused_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("6.5") << "6.5";
        QTest::newRow("-7") << "-7";
        QTest::newRow("too large for a double") << "1e400";
    }
    void shiftsOutOfRangeRefused() {
        QFETCH(QString, text);
        CPitchCtrlBar& bar = *w->bar;
        QSignalSpy spy(&bar, &CPitchCtrlBar::pitchChanged);
        Enter(bar, text);
        QCOMPARE(w->sink.Messages().size(), std::size_t{1});
        QCOMPARE(w->sink.Messages()[0].text,
                 std::string("Enter a value between -6.0 and 6.0 (number of semitones from C#). "
                             "For example, +1 means D and -2 means B#."));
        QVERIFY(w->sink.Messages()[0].kind == MessageKind::Information);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(bar.PitchFactor(), 1.0f);
        QCOMPARE(bar.PitchEdit()->text(), text);
        QVERIFY(bar.PitchEdit()->hasFocus());
        QCOMPARE(bar.PitchEdit()->selectedText(), text);
    }

    void everySliderMoveRetunes() {
        CPitchCtrlBar& bar = *w->bar;
        QSignalSpy spy(&bar, &CPitchCtrlBar::pitchChanged);
        bar.Slider()->setSliderDown(true);
        bar.Slider()->setSliderPosition(125);
        bar.Slider()->setSliderPosition(127);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(bar.PitchEdit()->text(), QStringLiteral("0.3500"));
        QCOMPARE(bar.NoteLabel()->text(), QString());
        bar.Slider()->setSliderDown(false);
        bar.Slider()->triggerAction(QAbstractSlider::SliderPageStepSub);
        QCOMPARE(spy.count(), 3);
        QCOMPARE(bar.PitchEdit()->text(), QStringLiteral("-0.1500"));
    }

    void buttonsGoToWholeSemitones() {
        CPitchCtrlBar& bar = *w->bar;
        bar.Slider()->setValue(127); // 0.35 semitones
        QTest::mouseClick(bar.UpButton(), Qt::LeftButton);
        QCOMPARE(bar.PitchFactor(), 1.0594631f);
        QCOMPARE(bar.Slider()->value(), 140);
        QCOMPARE(bar.PitchEdit()->text(), QStringLiteral("1.0000"));
        QCOMPARE(bar.NoteLabel()->text(), QStringLiteral("D (P2)"));

        bar.Slider()->setValue(127);
        QTest::mouseClick(bar.DownButton(), Qt::LeftButton);
        QCOMPARE(bar.PitchFactor(), 1.0f);
        QCOMPARE(bar.NoteLabel()->text(), QStringLiteral("C# (K1)"));
        QVERIFY(!bar.ResetButton()->isEnabled());

        // A whole semitone steps by one; +5.5 goes to +6.
        QTest::mouseClick(bar.DownButton(), Qt::LeftButton);
        QCOMPARE(bar.NoteLabel()->text(), QStringLiteral("C (P1)"));
        Enter(bar, QStringLiteral("5.5"));
        QTest::mouseClick(bar.UpButton(), Qt::LeftButton);
        QCOMPARE(bar.PitchFactor(), 1.4142135f);
    }

    void buttonsOfferedWithinTheRange() {
        CPitchCtrlBar& bar = *w->bar;
        QSignalSpy spy(&bar, &CPitchCtrlBar::pitchChanged);
        for (int i = 0; i < 6; ++i)
            bar.OnPitchUp();
        QCOMPARE(bar.Slider()->value(), 240);
        QVERIFY(!bar.UpButton()->isEnabled());
        QVERIFY(bar.DownButton()->isEnabled());
        QVERIFY(bar.ResetButton()->isEnabled());
        bar.OnPitchUp(); // at the end: stays there
        QCOMPARE(bar.PitchFactor(), 1.4142135f);

        Enter(bar, QStringLiteral("-5.5"));
        bar.OnPitchDown();
        QCOMPARE(bar.PitchFactor(), 0.70710677f);
        QCOMPARE(bar.Slider()->value(), 0);
        QVERIFY(!bar.DownButton()->isEnabled());
        QVERIFY(bar.UpButton()->isEnabled());
        const int before = spy.count();
        bar.OnPitchDown(); // at the end: nothing happens
        QCOMPARE(spy.count(), before);

        QTest::mouseClick(bar.ResetButton(), Qt::LeftButton);
        QCOMPARE(bar.PitchFactor(), 1.0f);
        QCOMPARE(bar.PitchEdit()->text(), QStringLiteral("0.0000"));
        QCOMPARE(bar.NoteLabel()->text(), QStringLiteral("C# (K1)"));
        QCOMPARE(spy.at(spy.count() - 1).at(0).toFloat(), 1.0f);
        QVERIFY(!bar.ResetButton()->isEnabled());
    }
};

QTEST_MAIN(PitchBarTest)
#include "PitchBarTest.moc"
