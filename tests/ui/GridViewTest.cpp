// The bol grid as a window (its geometry: tests/gridlayout): drawing,
// selection, the name editor, scrolling and the playing position.
#include "AppTestSupport.h"
#include "GridFixture.h"

#include "app/AppSettings.h"
#include "audio/SampleBank.h"
#include "audio/TaalRenderer.h"
#include "gridlayout/GridGeometry.h"
#include "model/LorvantaDoc.h"
#include "model/Taal.h"
#include "model/Vibhags.h"
#include "session/LorvantaSession.h"
#include "ui/grid/LorvantaView.h"

#include <QPaintEvent>
#include <QScrollBar>
#include <QThread>

#include <algorithm>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

// Records the regions the viewport is asked to paint.
class PaintSpy : public QObject {
public:
    QList<QRegion> regions;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            regions << static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

// A grid of bols of the given lengths, shown at the given size.
struct Grid : GridFixture {
    explicit Grid(const std::vector<float>& durations, QSize size = {850, 500},
                  const char* vibhags = "")
        : GridFixture(durations, size, vibhags, [](int) { return "Na"; }) {}

    QWidget* Page() const { return view->viewport(); }
    QPoint CellPoint(int index) const {
        return view->ToClient(view->GetBolView(index)->frame).center();
    }
    void Click(int index, Qt::KeyboardModifiers modifiers = {}) const {
        QTest::mouseClick(Page(), Qt::LeftButton, modifiers, CellPoint(index));
    }
};

} // namespace

class GridViewTest : public QObject {
    Q_OBJECT

private slots:
    // --- The grid as a window -------------------------------------------

    // What the page draws and repaints; the window follows the vibhags
    // stored with the Taal: marks and rows, the setting, an edit that stops
    // them fitting and its undo, a change announced with the Taal's
    // properties.
    void drawsThePageAndFollowsTheVibhags() {
        Grid g(Beats(16), {850, 700}, "X:4 2:4 0:4 3:4"); // 8 beats a row, x 25 to 825
        const CGridLayout& layout = g.view->Layout();
        QCOMPARE(Spans(layout), std::string("0+8 8+8"));
        g.Click(2);
        g.Pause();
        g.view->ShowPlayingPosition(3.5f, 2);
        const QImage page = g.Page()->grab().toImage();
        const auto at = [&page](int x, int y) { return page.pixelColor(x, y); };
        // The selected cell (225 to 325), sounding, is lit inside the
        // selection's 2-pixel frame; an unselected one is framed by one black
        // pixel.
        QCOMPARE(at(225, 210), QColor(Qt::black));
        QCOMPARE(at(226, 210), g.view->Colours().sounding);
        // Row 0 is played to beat 3.5: blue 4 pixels high up to x 275.
        const QColor blue(0, 0, 255);
        QCOMPARE(at(274, 181), blue);
        QCOMPARE(at(300, 180), QColor(Qt::black));
        // The vibhag line reaches below the ruler, a plain tick does not; a
        // mark stands over beat 5, none over beat 2.
        QCOMPARE(at(425, 185), QColor(Qt::black));
        QCOMPARE(at(125, 185), QColor(Qt::white));
        QImage blank(15, 15, page.format());
        blank.fill(Qt::white);
        QVERIFY(page.copy(422, 142, 15, 15) != blank);
        QCOMPARE(page.copy(122, 142, 15, 15), blank);

        // Along row 0, within beat 3 and its bol: only the strip between the
        // two positions; on to the next bol, the two lit cells as well.
        Flush();
        PaintSpy spy;
        g.Page()->installEventFilter(&spy);
        g.view->ShowPlayingPosition(3.75f, 2);
        Flush();
        QCOMPARE(spy.regions, QList<QRegion>{QRegion(275, 178, 25, 4)});
        spy.regions.clear();
        g.view->ShowPlayingPosition(3.9f, 3);
        Flush();
        g.Page()->removeEventFilter(&spy);
        QCOMPARE(spy.regions,
                 QList<QRegion>{QRegion(300, 178, 15, 4) + QRegion(224, 199, 202, 27)});

        QColor colour;
        g.view->ShowPlayingPosition(9.9f, 8);
        QCOMPARE(g.view->BeatDisplayText(&colour), QStringLiteral("9  0"));
        QCOMPARE(colour, blue);
        g.settings.playingBeatDisplay = kDisplayBolName;
        QCOMPARE(g.view->BeatDisplayText(), QStringLiteral("Na"));
        g.settings.playingBeatDisplay = kDisplayBeatNumber;

        g.settings.rowsByVibhag = false;
        g.view->ApplyRowsByVibhag();
        QVERIFY(!layout.RowsByVibhag() && layout.Marks().size() == 4);
        g.settings.rowsByVibhag = true;
        g.view->ApplyRowsByVibhag();
        g.view->Editor().SelectBol(0, true);
        g.view->Editor().Delete();
        QVERIFY(layout.Marks().empty() && !layout.RowsByVibhag());
        QCOMPARE(g.view->BeatDisplayText(), QStringLiteral("9"));
        g.view->Editor().Undo();
        QVERIFY(layout.RowsByVibhag());

        WriteVibhagRecord(g.doc.Params(), Vibhags("X:12 0:4"));
        g.view->Editor().CommitName("Tintal");
        QCOMPARE(Spans(layout), std::string("0+8 8+4 12+4")); // X wraps
    }

    // The selection rules are the editor's; here the mouse and the keys reach
    // it. Keys scroll, and clicks hit the scrolled page.
    void mouseAndKeysSelect() {
        Grid g(Beats(40), {850, 300});
        QTest::keyClick(g.view.get(), Qt::Key_Down);
        QCOMPARE(g.view->verticalScrollBar()->value(), 25);
        // With the scroll bar shown, 7 beats a row, so row 1 starts with bol 7.
        g.view->verticalScrollBar()->setValue(110);
        const int x = g.view->RowLeft() + 5;
        QCOMPARE(g.view->HitTest(QPoint(x, 199)), -1);
        QTest::mouseClick(g.Page(), Qt::LeftButton, {}, QPoint(x, 205));
        QCOMPARE(g.view->Editor().SelectedIndices(), std::vector<int>{7});
        g.Click(2);
        g.Click(4, Qt::ControlModifier);
        g.Click(6, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(g.view->Editor().SelectedIndices(), (std::vector<int>{2, 4, 5, 6}));
        QTest::keyClick(g.view.get(), Qt::Key_End);
        QCOMPARE(g.view->Editor().SelectedIndices(), std::vector<int>{39});
        QTest::keyClick(g.view.get(), Qt::Key_Delete);
        QCOMPARE(g.view->Layout().CellCount(), 39);
    }

    // The page does not follow the playing row while the user has just
    // scrolled (following it: PracticeWindowTest).
    void pageStaysWhereTheUserScrolledAndTheNameEditorFollows() {
        Grid g(Beats(60), {850, 300});
        QScrollBar* bar = g.view->verticalScrollBar();
        const int beats = g.view->BeatsPerRow();
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        const int scrolled = bar->value();
        g.view->ShowPlayingPosition(1.5f + static_cast<float>(6 * beats), 6 * beats);
        QCOMPARE(bar->value(), scrolled);

        // The name editor opens over the name where the scrolled page shows
        // it, and follows a scroll; Enter commits one undoable step.
        bar->setValue(30);
        Flush();
        const QRect name = g.view->TaalNameRect().translated(-g.view->ScrollOffset());
        QCOMPARE(name.top(), 50 - 30);
        QTest::mouseDClick(g.Page(), Qt::LeftButton, {}, QPoint(name.center().x(), 75));
        QVERIFY(!g.view->NameEditor());
        QTest::mouseDClick(g.Page(), Qt::LeftButton, {}, name.center());
        QLineEdit* editor = g.view->NameEditor();
        QCOMPARE(editor->geometry(), name);
        bar->setValue(40);
        Flush();
        QCOMPARE(editor->geometry().top(), 50 - 40);

        editor->setText(QStringLiteral("Tintal"));
        QTest::keyClick(editor, Qt::Key_Return);
        QVERIFY(!g.view->NameEditor());
        QCOMPARE(g.doc.Taal().Name(), std::string("Tintal"));
        QCOMPARE(g.view->Editor().Lists().UndoList().size(), std::size_t{1});
    }

    // Positions arrive on the window's thread, coalesced, none after Stop;
    // edits while playing are heard.
    void playingPositionsArriveOnTheWindowsThreadAndEditsAreHeard() {
        Grid g(Beats(16));
        QList<QThread*> threads;
        connect(
            g.view.get(), &CLorvantaView::playingPositionShown, g.view.get(),
            [&](float, int) { threads << QThread::currentThread(); }, Qt::DirectConnection);
        g.session.Play();
        QTRY_VERIFY(threads.size() >= 5);
        g.view->Editor().SelectBol(2, true);
        g.view->Editor().Delete();
        Flush();
        QCOMPARE(g.session.Renderer().Image().Beats(), 15.0f);
        g.view->Editor().Undo();
        Flush();
        QCOMPARE(g.session.Renderer().Image().BolCount(), std::size_t{16});
        QVERIFY(g.session.IsPlaying());
        g.session.Stop();
        const qsizetype shown = threads.size();
        QTest::qWait(60);
        QCOMPARE(threads.size(), shown);
        QVERIFY(std::all_of(threads.begin(), threads.end(),
                            [&](QThread* thread) { return thread == g.view->thread(); }));
        QVERIFY(g.view->PositionsShown() <= g.session.PositionUpdates());
    }
};

QTEST_MAIN(GridViewTest)
#include "GridViewTest.moc"
