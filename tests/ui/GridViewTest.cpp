// The bol grid as a window: what it draws where, what it repaints as the
// playing position moves, the selection by mouse and keys, the context menus,
// the in-place name editor, scrolling, and the playing position arriving from
// the playback thread.
#include "AppTestSupport.h"

#include "app/AppSettings.h"
#include "audio/SampleBank.h"
#include "audio/TaalRenderer.h"
#include "audio/playback/PlaybackEngine.h"
#include "model/LorvantaDoc.h"
#include "ui/grid/LorvantaView.h"
#include "ui/panes/BolFieldsPane.h"

#include <QMenu>
#include <QPaintEvent>
#include <QScrollBar>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <vector>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

class FakeBolPane : public BolFieldsPane {
public:
    QStringList calls;
    void ShowBol(const CBol2&, int index) override {
        calls << QStringLiteral("show %1").arg(index);
    }
    void EnableFields(bool controls, bool apply, bool revert) override {
        calls << QStringLiteral("enable %1%2%3").arg(controls).arg(apply).arg(revert);
    }
    void LoadFields() override {}
};

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
struct Grid {
    CLorvantaDoc doc;
    CSampleBank bank;
    RecordingMessageSink sink;
    AppSettings settings;
    FakeBolPane pane;
    std::unique_ptr<CLorvantaView> view;

    explicit Grid(const std::vector<float>& durations, QSize size = {850, 500},
                  const char* name = "Na") {
        doc.Taal().SetName("Teentaal");
        for (float duration : durations) {
            const CBol2 bol(name, 0, duration, Tabla);
            doc.InsertBol(doc.Taal().Count() - 1, &bol);
        }
        doc.SetEmpty(durations.empty());
        doc.SetModified(false);
        view = std::make_unique<CLorvantaView>(doc, bank, sink, settings, OpenChosenOutput);
        view->SetBolPane(&pane);
        view->resize(size);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        view->OnInitialUpdate();
        Flush();
    }

    QWidget* Page() const { return view->viewport(); }
    QPoint CellPoint(int index) const {
        return view->ToClient(view->GetBolView(index)->frame).center();
    }
    void Click(int index, Qt::KeyboardModifiers modifiers = {}) const {
        QTest::mouseClick(Page(), Qt::LeftButton, modifiers, CellPoint(index));
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) const {
        QTest::keyClick(view.get(), key, modifiers);
    }
    std::vector<int> Selected() const { return view->Editor().SelectedIndices(); }
    // Playing stopped at once: the position display stays, at a place the
    // test sets.
    void Pause() const {
        view->OnAudioPlay();
        view->OnAudioPause();
        QVERIFY(view->IsPaused());
    }
    QRect NameOnScreen() const { return view->TaalNameRect().translated(-view->ScrollOffset()); }
};

std::vector<int> Indices(std::initializer_list<int> list) {
    return list;
}

} // namespace

class GridViewTest : public QObject {
    Q_OBJECT

private slots:
    void drawsAndRepaintsThePlayingPosition() {
        Grid g(std::vector<float>(16, 1.0f)); // 8 beats a row, from x 25 to 825
        g.Click(2);
        g.Pause();
        QColor colour;
        const QColor blue(0, 0, 255);
        g.view->ShowPlayingPosition(9.9f, 8);
        QCOMPARE(g.view->BeatDisplayText(&colour), QStringLiteral("9"));
        QCOMPARE(colour, blue);
        g.view->ShowPlayingPosition(3.5f, 2);
        const QImage page = g.Page()->grab().toImage();
        const auto at = [&page](int x, int y) { return page.pixelColor(x, y); };
        // The selected cell (225 to 325) is silver inside a 2-pixel frame; an
        // unselected one is framed by one black pixel on white.
        QCOMPARE(at(225, 210), QColor(Qt::black));
        QCOMPARE(at(226, 210), QColor(192, 192, 192));
        QCOMPARE(at(426, 210), QColor(Qt::white));
        // Row 0 is played to beat 3.5: blue 4 pixels high up to x 275.
        QCOMPARE(at(274, 181), blue);
        QCOMPARE(at(300, 180), QColor(Qt::black));

        // Along row 0, within beat 3: only the strip between the two positions.
        Flush();
        PaintSpy spy;
        g.Page()->installEventFilter(&spy);
        g.view->ShowPlayingPosition(3.75f, 3);
        Flush();
        g.Page()->removeEventFilter(&spy);
        QCOMPARE(spy.regions, QList<QRegion>{QRegion(275, 178, 25, 4)});

        g.settings.playingBeatDisplay = kDisplayBolName;
        QCOMPARE(g.view->BeatDisplayText(&colour), QStringLiteral("Na"));
    }

    // The selection rules are the editor's; here the mouse, the keys and the
    // context menus reach it and the pane follows. Keys scroll, and clicks
    // hit the scrolled page.
    void mouseKeysAndMenusSelect() {
        Grid g(std::vector<float>(40, 1.0f), {850, 300});
        QScrollBar* bar = g.view->verticalScrollBar();
        g.Key(Qt::Key_Down);
        QCOMPARE(bar->value(), 25);
        g.Key(Qt::Key_PageDown);
        QCOMPARE(bar->value(), 25 + g.Page()->height());

        // With the scroll bar shown, 7 beats a row, so row 1 starts with bol 7.
        bar->setValue(110);
        const int x = g.view->RowLeft() + 5;
        QCOMPARE(g.view->HitTest(QPoint(x, 199)), -1);
        QTest::mouseClick(g.Page(), Qt::LeftButton, {}, QPoint(x, 205));
        QCOMPARE(g.Selected(), Indices({7}));
        g.Click(2);
        QCOMPARE(g.pane.calls.last(), QStringLiteral("show 2"));
        g.Click(4, Qt::ControlModifier);
        g.Click(6, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(g.Selected(), Indices({2, 4, 5, 6}));
        g.Key(Qt::Key_End);
        QCOMPARE(g.Selected(), Indices({39}));
        g.Key(Qt::Key_Delete);
        QCOMPARE(g.view->Layout().CellCount(), 39);

        QMenu small;
        small.addAction(QStringLiteral("Insert"));
        QMenu edit;
        edit.addAction(QStringLiteral("Cut"));
        g.view->SetContextMenus(&small, &edit);
        QWidget* shown = nullptr;
        const auto rightClick = [&](QPoint point) {
            shown = nullptr;
            QTimer::singleShot(50, [&shown] {
                shown = QApplication::activePopupWidget();
                if (shown)
                    shown->close();
            });
            QTest::mouseClick(g.Page(), Qt::RightButton, {}, point);
        };
        g.Click(1);
        g.Click(3, Qt::ControlModifier);
        rightClick(g.CellPoint(3));
        QCOMPARE(shown, &edit);
        QCOMPARE(g.Selected(), Indices({3}));
        rightClick(QPoint(400, 150));
        QCOMPARE(shown, &small);
        QVERIFY(g.Selected().empty());
        QCOMPARE(g.pane.calls.last(), QStringLiteral("enable 000"));
    }

    // The page follows the playing row onto a row it does not show, unless
    // the user scrolled in the last seconds; keys that move the caret show
    // its cell.
    void pageFollowsThePlayingRowAndTheCaret() {
        Grid g(std::vector<float>(60, 1.0f), {850, 300});
        QScrollBar* bar = g.view->verticalScrollBar();
        const int beats = g.view->BeatsPerRow();
        const auto shows = [&](int bol) {
            return g.Page()->rect().contains(g.view->ToClient(g.view->GetBolView(bol)->frame));
        };
        g.view->ShowPlayingPosition(1.5f + static_cast<float>(3 * beats), 3 * beats);
        QVERIFY(shows(3 * beats));
        g.view->ShowPlayingPosition(1.5f, 0); // the next cycle
        QVERIFY(shows(0));
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        const int scrolled = bar->value();
        g.view->ShowPlayingPosition(1.5f + static_cast<float>(6 * beats), 6 * beats);
        QCOMPARE(bar->value(), scrolled);

        g.Key(Qt::Key_End);
        QVERIFY(shows(59));
        g.Key(Qt::Key_Home);
        for (int i = 0; i < 4 * beats; ++i)
            g.Key(Qt::Key_Right, Qt::ShiftModifier);
        QVERIFY(shows(4 * beats));
    }

    // The editor opens over the name where the scrolled page shows it, and
    // follows a scroll; Enter commits one undoable step, Tab commits and
    // selects the first bol, a click in the grid commits too.
    void nameEditorOpensOverTheNameAndCommits() {
        Grid g(std::vector<float>(60, 1.0f), {850, 300});
        g.view->verticalScrollBar()->setValue(30);
        Flush();
        const QRect name = g.NameOnScreen();
        QCOMPARE(name.top(), 50 - 30);
        QTest::mouseDClick(g.Page(), Qt::LeftButton, {}, QPoint(name.center().x(), 75));
        QVERIFY(!g.view->NameEditor());
        QTest::mouseDClick(g.Page(), Qt::LeftButton, {}, name.center());
        QLineEdit* editor = g.view->NameEditor();
        QCOMPARE(editor->geometry(), name);
        g.view->verticalScrollBar()->setValue(40);
        Flush();
        QCOMPARE(editor->geometry().top(), 50 - 40);
        g.view->setFocus();
        g.Key(Qt::Key_Space); // not Play while it is open
        QVERIFY(!g.view->IsPlaying());

        editor->setText(QStringLiteral("Tintal"));
        QTest::keyClick(editor, Qt::Key_Return);
        QVERIFY(!g.view->NameEditor());
        QCOMPARE(g.doc.Taal().Name(), std::string("Tintal"));
        const UndoLists& lists = g.view->Editor().Lists();
        QCOMPARE(lists.UndoList().size(), std::size_t{1});
        Flush();
        g.view->BeginNameEdit();
        QTest::keyClick(g.view->NameEditor(), Qt::Key_Tab);
        QCOMPARE(lists.UndoList().size(), std::size_t{1});
        QCOMPARE(g.Selected(), Indices({0}));
        g.view->BeginNameEdit();
        g.view->NameEditor()->setText(QStringLiteral("Teentaal"));
        g.Click(2);
        QCOMPARE(lists.UndoList().size(), std::size_t{2});
    }

    void playingPositionsArriveOnTheWindowsThread() {
        Grid g(std::vector<float>(16, 1.0f));
        QList<QThread*> threads;
        connect(
            g.view.get(), &CLorvantaView::playingPositionShown, g.view.get(),
            [&](float, int) { threads << QThread::currentThread(); }, Qt::DirectConnection);
        g.view->OnAudioPlay();
        QTRY_VERIFY(threads.size() >= 5);
        g.view->OnAudioStop();
        const qsizetype shown = threads.size();
        QTest::qWait(60);
        QCOMPARE(threads.size(), shown); // nothing after Stop
        QVERIFY(std::all_of(threads.begin(), threads.end(),
                            [&](QThread* thread) { return thread == g.view->thread(); }));
        // Coalesced: never more positions shown than the thread delivered.
        QVERIFY(g.view->PositionsShown() <= g.view->Engine().NotificationsProcessed());
    }

    void editsWhilePlayingAreHeardAndANewTaalEndsAPause() {
        Grid g(std::vector<float>(16, 1.0f));
        const CTaalRenderer& renderer = g.view->Renderer();
        g.view->OnAudioPlay();
        g.view->SelectBol(2, true);
        g.view->Editor().Delete();
        Flush();
        QCOMPARE(renderer.Image().Beats(), 15.0f);
        g.view->Editor().Undo();
        Flush();
        QCOMPARE(renderer.Image().BolCount(), std::size_t{16});
        QVERIFY(g.view->IsPlaying());

        // Clear All and the notation's Apply are a new Taal: a pause ends.
        g.view->OnAudioPause();
        g.view->Editor().ClearAll();
        QVERIFY(!g.view->IsPaused());
        g.view->Editor().Undo();
        g.Pause();
        g.view->ReplaceTaal(g.doc.Taal());
        QVERIFY(!g.view->IsPaused());
    }
};

QTEST_MAIN(GridViewTest)
#include "GridViewTest.moc"
