// The bol grid as a window: what it draws where, what it repaints as the
// playing position moves, the selection by mouse and keys, the context menus,
// the in-place name editor, scrolling, and the playing position arriving from
// the playback thread.
#include "AppTestSupport.h"

#include "app/AppSettings.h"
#include "audio/SampleBank.h"
#include "audio/TaalRenderer.h"
#include "audio/output/device/SystemOutput.h"
#include "audio/playback/PlaybackEngine.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "ui/grid/LorvantaView.h"
#include "ui/panes/BolFieldsPane.h"

#include <QApplication>
#include <QFontInfo>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPaintEvent>
#include <QScrollBar>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>
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
    void drawsThePageAtItsPlaces() {
        Grid g(std::vector<float>(16, 1.0f)); // 8 beats a row, from x 25 to 825
        g.Click(2);
        g.Pause();
        g.view->ShowPlayingPosition(3.5f, 2);
        const QImage page = g.Page()->grab().toImage();
        const auto at = [&page](int x, int y) { return page.pixelColor(x, y); };
        const QColor blue(0, 0, 255);

        // The selected cell (225 to 325) is silver inside a 2-pixel frame; an
        // unselected one is framed by one black pixel on white.
        QCOMPARE(at(225, 210), QColor(Qt::black));
        QCOMPARE(at(226, 210), QColor(192, 192, 192));
        QCOMPARE(at(426, 210), QColor(Qt::white));
        // Row 0 is played to beat 3.5: blue 4 pixels high up to x 275.
        QCOMPARE(at(274, 181), blue);
        QCOMPARE(at(300, 180), QColor(Qt::black));
    }

    void beatDisplayAndItsRepaints() {
        Grid g(std::vector<float>(16, 1.0f));
        g.Pause();
        QColor colour;
        g.view->ShowPlayingPosition(9.9f, 8);
        QCOMPARE(g.view->BeatDisplayText(&colour), QStringLiteral("9"));
        QCOMPARE(colour, QColor(0, 0, 255));
        g.view->ShowPlayingPosition(3.5f, 2);
        Flush();

        // Along row 0, within beat 3: only the strip between the two positions.
        PaintSpy spy;
        g.Page()->installEventFilter(&spy);
        g.view->ShowPlayingPosition(3.75f, 3);
        Flush();
        QCOMPARE(spy.regions.size(), 1);
        QCOMPARE(spy.regions[0], QRegion(275, 178, 25, 4));
        g.Page()->removeEventFilter(&spy);

        Grid one({1.0f}, {850, 500}, "Dhinna");
        one.Pause();
        one.settings.playingBeatDisplay = kDisplayBolName;
        one.view->ShowPlayingPosition(1.5f, 0);
        QCOMPARE(one.view->BeatDisplayText(&colour), QStringLiteral("Dhin"));
        // Stop clears the display.
        one.view->OnAudioPlay();
        one.view->OnAudioStop();
        QVERIFY(!one.view->IsPlaying() && !one.view->IsPaused());
        QCOMPARE(one.view->ShownBeat(), 1.0f);
    }

    // The selection rules are the editor's; here the mouse, the keys and the
    // context menus reach it and the pane follows.
    void mouseKeysAndMenusSelect() {
        Grid g(std::vector<float>(40, 1.0f), {850, 300});
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

    void keysScrollAndClicksHitTheScrolledPage() {
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

    void nameEditorFitsAndCommits() {
        Grid g(std::vector<float>(4, 1.0f));
        QTest::mouseDClick(g.Page(), Qt::LeftButton, {}, g.NameOnScreen().center());
        QLineEdit* editor = g.view->NameEditor();
        QVERIFY(editor);
        QCOMPARE(editor->geometry(), g.NameOnScreen());

        // While it is open, Space does not play.
        g.view->setFocus();
        g.Key(Qt::Key_Space);
        QVERIFY(!g.view->IsPlaying());

        // Enter commits the new name as one undoable step; Tab commits and
        // selects the first bol; a click in the grid commits too.
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

    void nameEditorOpensWhereTheScrolledNameShows() {
        Grid g(std::vector<float>(60, 1.0f), {850, 300});
        QScrollBar* bar = g.view->verticalScrollBar();
        bar->setValue(30);
        Flush();
        const QRect name = g.NameOnScreen();
        QCOMPARE(name.top(), 50 - 30);
        QTest::mouseDClick(g.Page(), Qt::LeftButton, {}, QPoint(name.center().x(), 75));
        QVERIFY(!g.view->NameEditor());
        QTest::mouseDClick(g.Page(), Qt::LeftButton, {}, name.center());
        QCOMPARE(g.view->NameEditor()->geometry(), name);
        bar->setValue(40);
        Flush();
        QCOMPARE(g.view->NameEditor()->geometry().top(), 50 - 40);
        g.view->EndNameEdit();
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

    // With 1,000 bols, playing repaints only strips: well under a hundredth
    // of the viewport per position, and a scroll step only the strip that
    // comes into view.
    void repaintsStayStripsOnALongTaal() {
        std::vector<float> durations;
        for (int i = 0; i < 1000; ++i)
            durations.push_back(std::array{1.0f, 0.5f, 0.25f, 2.0f}[i % 4]);
        Grid g(durations, {1000, 700});
        g.Pause();
        const double area = double(g.Page()->width()) * g.Page()->height();
        PaintSpy spy;
        g.Page()->installEventFilter(&spy);
        const auto pixels = [&spy] {
            double sum = 0;
            for (const QRegion& region : std::exchange(spy.regions, {}))
                for (const QRect& rect : region)
                    sum += double(rect.width()) * rect.height();
            return sum;
        };
        for (int i = 1; i <= 2400; ++i) {
            g.view->ShowPlayingPosition(1.0f + static_cast<float>(i) / 60.0f, i / 60);
            Flush();
        }
        QVERIFY(pixels() / 2400 < area / 100.0);
        for (int i = 0; i < 200; ++i) {
            g.view->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            Flush();
        }
        QVERIFY(pixels() / 200 <= 25.0 * g.Page()->width() + 1);
        g.Page()->removeEventFilter(&spy);
    }
};

QTEST_MAIN(GridViewTest)
#include "GridViewTest.moc"
