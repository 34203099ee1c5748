// The tempo bar: typed tempos and their range, the slider's two events, Quick
// Change with its shortcut, Reset and the tempo a document opens with.
#include "AppTestSupport.h"

#include "model/SoundTables.h"
#include "ui/bars/TempoCtrlBar.h"

#include <QAction>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>

#include <cmath>
#include <memory>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

const char* const kRangeMessage =
    "Tempo out of range: Enter a value between 10.0 and 1000.0 (measured in bpm)";

bool WholeTextSelected(const QLineEdit* edit) {
    return edit->hasFocus() && edit->selectedText() == edit->text() && !edit->text().isEmpty();
}

} // namespace

class TempoBarTest : public QObject {
    Q_OBJECT

    std::unique_ptr<BarWindow<CTempoCtrlBar>> w;

private slots:
    void init() {
        w = std::make_unique<BarWindow<CTempoCtrlBar>>();
        w->window.addAction(w->bar->QuickChangeAction());
        QVERIFY(QTest::qWaitForWindowActive(&w->window));
    }
    void cleanup() { w.reset(); }

    void enterAppliesTypedTempo() {
        CTempoCtrlBar& bar = *w->bar;
        QCOMPARE(bar.TempoEdit()->text(), QStringLiteral("100.0000"));
        QSignalSpy spy(&bar, &CTempoCtrlBar::tempoChanged);
        TypeOver(bar.TempoEdit(), QStringLiteral("120"));
        QTest::keyClick(bar.TempoEdit(), Qt::Key_Return);
        QCOMPARE(spy.at(0).at(0).toFloat(), 0.5f);
        QCOMPARE(bar.Slider()->value(), 207);
    }

    void rangeOfTypedTempos_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<float>("secondsPerBeat");
        QTest::newRow("10") << "10" << true << 6.0f;
        QTest::newRow("blanks and trailing text") << "  150 bpm" << true << 0.4f;
        QTest::newRow("9.99") << "9.99" << false << 0.6f;
        QTest::newRow("1000.1") << "1000.1" << false << 0.6f;
        QTest::newRow("too large for a double") << "1e999" << false << 0.6f;
    }
    void rangeOfTypedTempos() {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(float, secondsPerBeat);
        CTempoCtrlBar& bar = *w->bar;
        QSignalSpy spy(&bar, &CTempoCtrlBar::tempoChanged);
        TypeOver(bar.TempoEdit(), text);
        QTest::keyClick(bar.TempoEdit(), Qt::Key_Enter);
        QCOMPARE(bar.SecondsPerBeat(), secondsPerBeat);
        QCOMPARE(spy.count(), accepted ? 1 : 0);
        QCOMPARE(Texts(w->sink),
                 accepted ? std::vector<std::string>{} : std::vector<std::string>{kRangeMessage});
        if (!accepted)
            QVERIFY(WholeTextSelected(bar.TempoEdit()));
    }

    void leavingTheEditApplies() {
        CTempoCtrlBar& bar = *w->bar;
        // A refused tempo keeps the user in the edit, with one message only.
        TypeOver(bar.TempoEdit(), QStringLiteral("5"));
        w->elsewhere->setFocus(Qt::TabFocusReason);
        QCOMPARE(w->sink.Messages().size(), std::size_t{1});
        QVERIFY(WholeTextSelected(bar.TempoEdit()));
        QCOMPARE(bar.SecondsPerBeat(), 0.6f);
        TypeOver(bar.TempoEdit(), QStringLiteral("150"));
        w->elsewhere->setFocus(Qt::TabFocusReason);
        QCOMPARE(bar.SecondsPerBeat(), 0.4f);
    }

    void sliderShowsWhileMovingAndAppliesWhenDone() {
        CTempoCtrlBar& bar = *w->bar;
        QSignalSpy spy(&bar, &CTempoCtrlBar::tempoChanged);
        QSlider* slider = bar.Slider();
        slider->setSliderDown(true);
        slider->setSliderPosition(250);
        QCOMPARE(bar.TempoEdit()->text(), QStringLiteral("316.2278"));
        QCOMPARE(spy.count(), 0); // not heard yet
        slider->setSliderDown(false);
        QCOMPARE(spy.count(), 1);

        // A key step is a finished move.
        slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(bar.TempoEdit()->text(), QStringLiteral("323.5937"));
    }

    void quickChangeJumpsAndDisablesItself() {
        CTempoCtrlBar& bar = *w->bar;
        QSignalSpy spy(&bar, &CTempoCtrlBar::tempoChanged);
        TypeOver(bar.QuickEdit(), QStringLiteral("150"));
        QTest::keyClick(bar.QuickEdit(), Qt::Key_Return);
        QCOMPARE(spy.count(), 0); // the quick tempo alone changes no sound

        QTest::mouseClick(bar.QuickChangeButton(), Qt::LeftButton);
        QCOMPARE(spy.at(0).at(0).toFloat(), 0.4f);
        QVERIFY(!bar.QuickChangeAction()->isEnabled());

        // Ctrl+Q from anywhere in the window, once the tempos differ again.
        TypeOver(bar.TempoEdit(), QStringLiteral("60"));
        QTest::keyClick(bar.TempoEdit(), Qt::Key_Return);
        w->elsewhere->setFocus();
        QTest::keyClick(w->elsewhere, Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(bar.SecondsPerBeat(), 0.4f);
    }

    void documentTempoAndReset() {
        CTempoCtrlBar& bar = *w->bar;
        QCOMPARE(CTempoCtrlBar::AcceptedDocumentTempo(1000.5f), DefaultTempo());
        QCOMPARE(CTempoCtrlBar::AcceptedDocumentTempo(std::nanf("")), DefaultTempo());
        QCOMPARE(CTempoCtrlBar::AcceptedDocumentTempo(10.0f), 10.0f);

        QSignalSpy spy(&bar, &CTempoCtrlBar::tempoChanged);
        bar.ApplyDocumentTempo(80.0);

        TypeOver(bar.TempoEdit(), QStringLiteral("120"));
        QTest::keyClick(bar.TempoEdit(), Qt::Key_Return);
        QTest::mouseClick(bar.ResetButton(), Qt::LeftButton);
        QCOMPARE(spy.at(spy.count() - 1).at(0).toFloat(), 0.75f);
        QVERIFY(!bar.ResetButton()->isEnabled());

        // A stored tempo of 0 opens at 100.0000, and Reset comes back to it
        // (the slider shows the step below the float just under 100).
        bar.ApplyDocumentTempo(CTempoCtrlBar::AcceptedDocumentTempo(0.0f));
        QCOMPARE(bar.TempoEdit()->text(), QStringLiteral("100.0000"));
        TypeOver(bar.TempoEdit(), QStringLiteral("120"));
        QTest::keyClick(bar.TempoEdit(), Qt::Key_Return);
        bar.OnResetTempo();
        QCOMPARE(bar.TempoEdit()->text(), QStringLiteral("100.0000"));
        QCOMPARE(bar.SecondsPerBeat(), 0.6f);
        QCOMPARE(bar.Slider()->value(), 199);
    }
};

QTEST_MAIN(TempoBarTest)
#include "TempoBarTest.moc"
