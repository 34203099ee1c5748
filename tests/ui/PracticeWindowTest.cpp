// The window as a place to practise: the beat display, the sounding bol, the
// dial, zoom, colours, the keyboard, the layout and accessibility.
#include "AppTestSupport.h"
#include "GridFixture.h"

#include "app/SpaceBarPlay.h"
#include "app/SplitterWnd.h"
#include "app/WindowSettings.h"
#include "audio/SampleBank.h"
#include "audio/playback/PlaybackEngine.h"
#include "model/LorvantaDoc.h"
#include "model/Taal.h"
#include "model/Vibhags.h"
#include "session/LorvantaSession.h"
#include "ui/bars/MixerBar.h"
#include "ui/dial/TaalDial.h"
#include "ui/dialogs/TaalPropertiesDialog.h"
#include "ui/dialogs/TempoRampDialog.h"
#include "ui/grid/LorvantaView.h"
#include "ui/panes/BolPropertiesPane.h"
#include "ui/panes/TaalTextView.h"
#include "ui/panes/TaalTree.h"

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <cmath>
#include <functional>
#include <tuple>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

// A view of a Taal of whole beats on its own, as the grid tests make it.
struct Grid : GridFixture {
    Grid(int beats, QSize size, const char* vibhags = "")
        : GridFixture(std::vector<float>(static_cast<std::size_t>(beats), 1.0f), size, vibhags,
                      [](int i) { return i % 2 ? "Dhin" : "Dha"; }) {}
};

// Whether any pixel of an area differs from the colour.
bool HasOtherThan(const QImage& image, const QRect& area, const QColor& colour) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixelColor(x, y) != colour)
                return true;
        }
    }
    return false;
}

// The letter after a menu text's single ampersand; 0 for none.
QChar Mnemonic(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('&'))
            continue;
        if (text.at(i + 1) != QLatin1Char('&'))
            return text.at(i + 1).toLower();
        ++i; // a literal ampersand
    }
    return QChar();
}

QPalette DarkPalette() {
    QPalette dark;
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    return dark;
}

// Colours far enough apart to tell at a glance.
bool Distinct(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue()) >=
           150;
}

// Closes whatever popup opens next, once it shows.
void CloseNextPopup() {
    QTimer::singleShot(0, [] {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
    });
}

} // namespace

class PracticeWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Following the sounding row pages down, the beat display stays pinned
    // at the pane's top, its number drawn there, and the followed row is not
    // under it; back at the top the header shows it again.
    void beatDisplayStaysInSightWhileTheGridFollows() {
        Grid g(64, {850, 300});
        g.Pause();
        QScrollBar* bar = g.view->verticalScrollBar();
        Flush();
        QVERIFY(!g.view->BeatBandShown());
        const QRect header = g.view->BeatDisplayOnScreen();
        QVERIFY(g.view->viewport()->rect().contains(header));

        const int beats = g.view->BeatsPerRow();
        const int bol = 8 * beats + 1;
        g.view->ShowPlayingPosition(static_cast<float>(bol) + 1.5f, bol);
        Flush();
        QVERIFY(bar->value() > 2 * g.view->viewport()->height()); // several pages down
        QVERIFY(g.view->BeatBandShown());
        const QRect pinned = g.view->BeatDisplayOnScreen();
        QVERIFY(g.view->viewport()->rect().contains(pinned));
        const QRect cells = g.view->ToClient(g.view->GetBolView(bol)->frame);
        QVERIFY(g.view->viewport()->rect().contains(cells));
        QVERIFY(!cells.intersects(pinned));
        QCOMPARE(g.view->BeatDisplayText(), QString::number(bol + 1));
        const QImage image = g.view->viewport()->grab().toImage();
        QVERIFY(HasOtherThan(image, pinned.intersected(image.rect()), g.view->Colours().banner));

        g.view->ShowPlayingPosition(1.5f, 0); // the next cycle
        Flush();
        QCOMPARE(bar->value(), 0);
        QVERIFY(!g.view->BeatBandShown());
        g.session.Play();
        g.session.Stop();
        QVERIFY(!g.view->BeatBandShown());
        QVERIFY(g.view->BeatDisplayOnScreen().isEmpty());
    }

    // Playing Teentaal on the virtual output and pausing: the grid's lit
    // cell, the notation's lit text and the dial all show the bol the engine
    // says is sounding; each in its own colour, apart from the selection's.
    // Stopped, nothing is lit.
    void soundingBolLitInGridNotationAndDial() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        CMainFrame& frame = *app->MainFrame();
        CLorvantaSession& session = app->Session();
        CLorvantaView& view = *frame.GetGridView();
        CTaalTextView& text = *frame.GetTextView();
        session.Editor().SelectBol(0, true);
        session.Play();
        QTRY_VERIFY(session.PlayingBol() >= 2);
        session.Pause();
        Flush();
        const int sounding = static_cast<int>(session.Engine().PlayingBolIndex());
        QCOMPARE(view.SoundingBol(), sounding);
        QCOMPARE(text.SoundingBol(), sounding);
        QCOMPARE(frame.Dial()->SoundingBol(), sounding);

        const QImage page = view.viewport()->grab().toImage();
        const QRect cell = view.ToClient(view.GetBolView(sounding)->frame);
        QCOMPARE(page.pixelColor(cell.left() + 3, cell.top() + 3), view.Colours().sounding);
        const QRect selected = view.ToClient(view.GetBolView(0)->frame);
        QCOMPARE(page.pixelColor(selected.left() + 3, selected.top() + 3),
                 view.Colours().selection);
        QVERIFY(view.Colours().sounding != view.Colours().selection);

        const QList<QTextEdit::ExtraSelection> lit = text.TextControl()->extraSelections();
        QCOMPARE(lit.size(), 1);
        const auto [start, end] = text.BolCharRange(sounding);
        QCOMPARE(lit[0].cursor.selectionStart(), start);
        QCOMPARE(lit[0].cursor.selectionEnd(), end);
        QVERIFY(lit[0].format.background().color() != CTaalTextView::HighlightColour());

        session.Play();
        frame.Commands().Action(kCmdAudioStop)->trigger();
        Flush();
        QCOMPARE(view.SoundingBol(), -1);
        QVERIFY(text.TextControl()->extraSelections().isEmpty());
        QCOMPARE(frame.Dial()->SoundingBol(), -1);
    }

    // Audio > Count-In: Play from the start counts down in the beat display
    // and the dial, nothing lit, then the Taal from its first bol.
    void countInCountsDown() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        CMainFrame& frame = *app->MainFrame();
        CLorvantaSession& session = app->Session();
        session.SetTempo(0.25f);
        frame.Commands().Action(kCmdAudioCountIn)->trigger();
        QVERIFY(frame.Commands().Action(kCmdAudioCountIn)->isChecked());
        QCOMPARE(session.CountInBeats(), frame.Layout().countInBeats);
        CLorvantaView& view = *frame.GetGridView();
        frame.Commands().Action(kCmdAudioPlay)->trigger();
        QTRY_VERIFY(view.CountInShown() > 0);
        QVERIFY(view.BeatDisplayText().startsWith(QStringLiteral("in ")));
        QCOMPARE(view.SoundingBol(), -1);
        QTRY_VERIFY(frame.Dial()->CentreText().startsWith(QStringLiteral("in ")) ||
                    view.CountInShown() == 0);
        QTRY_VERIFY(view.CountInShown() == 0 && view.SoundingBol() >= 0);
        QCOMPARE(session.CyclesCompleted(), 0u);
        frame.Commands().Action(kCmdAudioStop)->trigger();
        frame.Commands().Action(kCmdAudioCountIn)->trigger();
        QCOMPARE(session.CountInBeats(), 0);
    }

    // The dial's marks stand at their beats, sam at the top and time running
    // clockwise: Teentaal's four vibhags at the quarters, Rupak's sam on
    // its khali, Jhaptaal's 2 + 3 + 2 + 3.
    void dialAnglesAndMarks() {
        const auto marks = [](const char* vibhags) { return DialMarks(Vibhags(vibhags)); };
        const std::pair<const char*, std::vector<DialMark>> taals[] = {
            {"X:4 2:4 0:4 3:4", {{1, 'X', 0.0}, {5, '2', 90.0}, {9, '0', 180.0}, {13, '3', 270.0}}},
            {"0:3 1:2 2:2", {{1, '0', 0.0}, {4, '1', 3 * 360.0 / 7}, {6, '2', 5 * 360.0 / 7}}},
            {"X:2 2:3 0:2 3:3", {{1, 'X', 0.0}, {3, '2', 72.0}, {6, '0', 180.0}, {8, '3', 252.0}}}};
        for (const auto& [vibhags, expected] : taals) {
            const std::vector<DialMark> got = marks(vibhags);
            QCOMPARE(got.size(), expected.size());
            for (std::size_t i = 0; i < got.size(); ++i) {
                QCOMPARE(std::pair(got[i].beat, got[i].mark),
                         std::pair(expected[i].beat, expected[i].mark));
                QVERIFY(std::abs(got[i].angle - expected[i].angle) < 1e-9);
            }
        }
        for (const auto& [beats, cycle, angle] : {std::tuple(0.0, 16.0, 0.0),
                                                  {4.0, 16.0, 90.0},
                                                  {16.0, 16.0, 0.0},
                                                  {17.0, 16.0, 22.5},
                                                  {3.5, 7.0, 180.0},
                                                  {1.0, 0.0, 0.0}})
            QCOMPARE(DialAngle(beats, cycle), angle);

        // The pane: Rupak's marks from its file, points round the middle, the
        // count in the middle while playing.
        AppFixture fixture;
        const auto app = fixture.Start({QStringLiteral(LORVANTA_SOURCE_DIR "/Taals/Rupak.tal")});
        CTaalDial& dial = *app->MainFrame()->Dial();
        QCOMPARE(dial.CycleBeats(), 7);
        QCOMPARE(dial.Marks(), marks("0:3 1:2 2:2"));
        QCOMPARE(dial.CentreText(), QStringLiteral("7 beats"));
        dial.resize(300, 300);
        const QPointF top = dial.PointAt(0.0, 1.0);
        const QPointF right = dial.PointAt(90.0, 1.0);
        QVERIFY(std::abs(top.x() - 150.0) < 1e-9 && top.y() < 150.0);
        QVERIFY(std::abs(right.y() - 150.0) < 1e-9 && right.x() > 150.0);
        dial.SetPosition(2.5f, 1);
        QCOMPARE(dial.CentreText(), QStringLiteral("Cycle 1"));
        QVERIFY(app->MainFrame()->Commands().Action(kCmdViewDial)->isChecked());
        app->MainFrame()->Commands().Action(kCmdViewDial)->trigger();
        QVERIFY(app->MainFrame()->DialDock()->isHidden());
    }

    // Fit widens the cells in a wide pane and shrinks the page in a short
    // one; the zoom steps, Ctrl+wheel, and clicks land on the cells drawn.
    void gridZoomsAndFits() {
        QCOMPARE(CLorvantaView::FitZoomFor({1500, 800}, 8), 1.76);
        QCOMPARE(CLorvantaView::FitZoomFor({850, 800}, 8), 1.0);
        QCOMPARE(CLorvantaView::FitZoomFor({3000, 800}, 4), CLorvantaView::kMaxFitZoom);
        QCOMPARE(CLorvantaView::FitZoomFor({1500, 188}, 8), 0.8);
        QCOMPARE(CLorvantaView::FitZoomFor({1500, 50}, 8), CLorvantaView::kMinZoom);
        // Short and narrow: smaller still, so that a vibhag of 4 keeps a row.
        QCOMPARE(CLorvantaView::FitZoomFor({330, 194}, 2, 4), 0.73);
        QCOMPARE(CLorvantaView::FitZoomFor({330, 194}, 2), 0.82);

        Grid g(16, {1500, 600}, "X:4 2:4 0:4 3:4");
        QCOMPARE(g.view->Zoom(), 1.0);
        g.view->SetFitZoom();
        QVERIFY(g.view->Zoom() > 1.5);
        const QRect first = g.view->ToClient(g.view->GetBolView(0)->frame);
        QVERIFY(first.width() > 150);
        const int beats = (g.view->Layout().RowRight() - g.view->Layout().RowLeft()) / 100;
        const QRect last = g.view->ToClient(g.view->GetBolView(beats - 1)->frame);
        QVERIFY(g.view->viewport()->rect().contains(first.united(last)));
        // Centred under the title.
        QVERIFY(std::abs(first.left() - (g.view->viewport()->width() - last.right())) < 4);
        QTest::mouseClick(g.view->viewport(), Qt::LeftButton, {}, last.center());
        QCOMPARE(g.view->Editor().SelectedIndices(), std::vector<int>{beats - 1});

        g.view->SetZoom(1.0);
        g.view->ZoomIn();
        QCOMPARE(g.view->Zoom(), 1.25);
        g.view->ZoomOut();
        g.view->ZoomOut();
        QCOMPARE(g.view->Zoom(), 0.8);
        QWheelEvent wheel(QPointF(100, 100), g.view->mapToGlobal(QPointF(100, 100)), QPoint(),
                          QPoint(0, 120), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(g.view->viewport(), &wheel);
        QCOMPARE(g.view->Zoom(), 1.0);
    }

    // The grid, the notation and the dial take the palette's colours; on a
    // dark one the page is dark and the marks stay apart from each other and
    // from the paper.
    void coloursComeFromThePalette() {
        const PageColours light = PageColoursFor(QPalette(Qt::white));
        QCOMPARE(PageColoursFor(QApplication::palette()).selection, QColor(192, 192, 192));
        const PageColours dark = PageColoursFor(DarkPalette());
        QCOMPARE(dark.paper, QColor(30, 30, 30));
        QCOMPARE(dark.ink, QColor(230, 230, 230));
        for (const PageColours& colours : {light, dark}) {
            QVERIFY(Distinct(colours.sam, colours.khali));
            QVERIFY(Distinct(colours.sam, colours.paper));
            QVERIFY(Distinct(colours.khali, colours.paper));
            QVERIFY(Distinct(colours.ink, colours.sounding) ||
                    Distinct(colours.paper, colours.sounding));
            QVERIFY(colours.sounding != colours.selection);
        }

        Grid g(8, {850, 300});
        g.view->setPalette(DarkPalette());
        QCOMPARE(g.view->Colours().paper, QColor(30, 30, 30));
        const QImage page = g.view->viewport()->grab().toImage();
        QCOMPARE(page.pixelColor(5, 290), QColor(30, 30, 30));

        const QPalette saved = QApplication::palette();
        QApplication::setPalette(DarkPalette());
        QCOMPARE(CTaalTextView::NormalFormat().foreground().color(), QColor(230, 230, 230));
        QCOMPARE(CTaalTextView::HighlightColour(), dark.khali);
        CTaalDial dial(g.session);
        QCOMPARE(dial.Colours().paper, QColor(30, 30, 30));
        QApplication::setPalette(saved);
    }

    // Every menu, its popups and the grid's own, gives each item a letter
    // of its own (the recent files have their numbers).
    void everyMenuHasUniqueMnemonics() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        CMainFrame& frame = *app->MainFrame();
        QList<QMenu*> menus = frame.findChildren<QMenu*>();
        QVERIFY(menus.size() >= 7);
        for (const QMenu* menu : menus) {
            QMap<QChar, QString> seen;
            for (const QAction* action : menu->actions()) {
                if (action->isSeparator() || action->text().isEmpty())
                    continue;
                const QString text = action->text();
                const QChar letter = Mnemonic(text);
                const bool recent = action->data().toInt() >= kCmdFileMruFirst &&
                                    action->data().toInt() < kCmdFileMruFirst + 4;
                if (!recent)
                    QVERIFY2(!letter.isNull(), qPrintable(menu->title() + ": " + text));
                if (letter.isNull())
                    continue;
                QVERIFY2(!seen.contains(letter),
                         qPrintable(menu->title() + ": " + seen.value(letter) + " and " + text));
                seen.insert(letter, text);
            }
        }
    }

    // Tab and Shift+Tab leave the notation; Shift+F10 and the Menu key open
    // the grid's menu of the caret's bol; Space plays and stops from the
    // browser, but types in a text field.
    void keyboardReachesEverything() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        CMainFrame& frame = *app->MainFrame();
        frame.show();
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        QTextEdit* notation = frame.GetTextView()->TextControl();
        notation->setFocus();
        QTest::keyClick(notation, Qt::Key_Tab);
        QVERIFY(!notation->hasFocus());
        QVERIFY(!notation->toPlainText().contains(QLatin1Char('\t')));
        notation->setFocus();
        QTest::keyClick(notation, Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(!notation->hasFocus());

        CLorvantaView& view = *frame.GetGridView();
        view.setFocus();
        view.Editor().SelectBol(3, true);
        QMenu* edit = CCommandSet::Popup(frame.menuBar(), QStringLiteral("&Edit"));
        int shown = 0;
        connect(edit, &QMenu::aboutToShow, this, [&shown] { ++shown; });
        for (const auto& [key, modifiers] :
             {std::pair{Qt::Key_F10, Qt::ShiftModifier}, {Qt::Key_Menu, Qt::NoModifier}}) {
            CloseNextPopup();
            QTest::keyClick(&view, key, modifiers);
        }
        QCOMPARE(shown, 2);

        CLorvantaSession& session = app->Session();
        frame.GetTreeView()->setFocus();
        QTest::keyClick(frame.GetTreeView(), Qt::Key_Space);
        QVERIFY(session.IsPlaying());
        QTest::keyClick(frame.GetTreeView(), Qt::Key_Space);
        QVERIFY(!session.IsPlaying());
        notation->setFocus();
        QTest::keyClick(notation, Qt::Key_Space);
        QVERIFY(!session.IsPlaying());
        QVERIFY(SpaceBarPlay::TakesSpace(notation));
        QVERIFY(!SpaceBarPlay::TakesSpace(frame.GetTreeView()));
    }

    // The window's layout at its size (1200 x 800 on the desktop screen,
    // 960 x 540 points at twice the scale): the grid shows bols, the
    // notation is no taller than its text, the bol form shows every field
    // and button where it has the room, and a new selection shows the form
    // from its top even after an Apply scrolled it.
    void windowLayoutLeavesEveryPaneUsable() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        CMainFrame& frame = *app->MainFrame();
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        Flush();
        CLorvantaView& view = *frame.GetGridView();
        QVERIFY(view.viewport()->rect().contains(view.ToClient(view.GetBolView(0)->frame)));
        CTaalTextView& text = *frame.GetTextView();
        QVERIFY(text.height() <= std::max(text.minimumHeight(), text.TextHeight()) + 2);

        CBolPropertiesPane& pane = *frame.GetBolPropertiesView();
        auto* area = pane.findChild<QScrollArea*>(QStringLiteral("bolFormArea"));
        QVERIFY(area);
        app->Session().Editor().SelectBol(2, true);
        Flush();
        const auto showsWhole = [area](const QWidget* control) {
            const QRect at(control->mapTo(area->viewport(), QPoint(0, 0)), control->size());
            return area->viewport()->rect().contains(at);
        };
        const bool roomy = frame.screen()->availableGeometry().height() >= 800;
        for (const QWidget* control : area->widget()->findChildren<QWidget*>()) {
            if (control->isVisibleTo(area->widget()) && control->parentWidget() == area->widget() &&
                roomy)
                QVERIFY2(showsWhole(control), qPrintable(control->objectName()));
        }
        auto* apply = pane.findChild<QPushButton*>(QStringLiteral("bolApplyButton"));
        area->ensureWidgetVisible(apply);
        app->Session().Editor().SelectBol(5, true);
        Flush();
        QCOMPARE(area->verticalScrollBar()->value(), 0);
        QVERIFY(showsWhole(pane.findChild<QComboBox*>(QStringLiteral("bolNameBox"))));
    }

    // The panes' sizes, the dial and the zoom come back at the next start.
    void windowLayoutIsRemembered() {
        AppFixture fixture;
        auto app = fixture.Start({AppFixture::Teentaal()});
        app->MainFrame()->show();
        QVERIFY(QTest::qWaitForWindowExposed(app->MainFrame()));
        app->MainFrame()->Commands().Action(kCmdViewDial)->trigger();
        app->MainFrame()->GetGridView()->SetZoom(1.5);
        QList<int> sizes = app->MainFrame()->RightSplitter()->sizes();
        sizes = {sizes[0] - 40, sizes[1] + 40};
        app->MainFrame()->RightSplitter()->setSizes(sizes);
        sizes = app->MainFrame()->RightSplitter()->sizes();
        app.reset();
        QCOMPARE(ReadWindowSettings().gridZoomPercent, 150);

        app = fixture.Start({AppFixture::Teentaal()});
        app->MainFrame()->show();
        QVERIFY(QTest::qWaitForWindowExposed(app->MainFrame()));
        QCOMPARE(app->MainFrame()->GetGridView()->Zoom(), 1.5);
        QVERIFY(app->MainFrame()->DialDock()->isHidden());
        QVERIFY(!app->MainFrame()->Commands().Action(kCmdViewDial)->isChecked());
        QCOMPARE(app->MainFrame()->RightSplitter()->sizes(), sizes);
    }

    // Every control the accessibility API reaches has a name; the grid's
    // and the dial's children are the bols, named and described, selected
    // and sounding as the window shows them, and selectable through them.
    void accessibilityNamesEveryControlAndTheBols() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        CMainFrame& frame = *app->MainFrame();
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        const QSet<QAccessible::Role> controls = {
            QAccessible::PushButton, QAccessible::CheckBox,     QAccessible::RadioButton,
            QAccessible::ComboBox,   QAccessible::EditableText, QAccessible::SpinBox,
            QAccessible::Slider,     QAccessible::ButtonMenu,   QAccessible::ButtonDropDown,
            QAccessible::List,       QAccessible::Tree};
        QStringList nameless;
        int reached = 0;
        std::function<void(QAccessibleInterface*, int)> walk = [&](QAccessibleInterface* node,
                                                                   int depth) {
            if (!node || depth > 30)
                return;
            ++reached;
            if (controls.contains(node->role()) && !node->state().invisible &&
                node->text(QAccessible::Name).trimmed().isEmpty() && node->object())
                nameless << QStringLiteral("%1 (%2)").arg(
                    node->object()->objectName(),
                    QString::fromLatin1(node->object()->metaObject()->className()));
            for (int i = 0; i < node->childCount(); ++i)
                walk(node->child(i), depth + 1);
        };
        walk(QAccessible::queryAccessibleInterface(&frame), 0);
        QVERIFY(reached > 50);
        QVERIFY2(nameless.isEmpty(), qPrintable(nameless.join(QStringLiteral(", "))));

        CTaalEditor& editor = app->Session().Editor();
        const CTaal& taal = app->Session().Document().Taal();
        for (QWidget* widget : std::initializer_list<QWidget*>{frame.GetGridView(), frame.Dial()}) {
            QAccessibleInterface* list = QAccessible::queryAccessibleInterface(widget);
            QVERIFY(list);
            QCOMPARE(list->childCount(), taal.Count());
            for (int i = 0; i < taal.Count(); ++i) {
                QAccessibleInterface* bol = list->child(i);
                QCOMPARE(bol->text(QAccessible::Name), QString::fromStdString(taal.BolAt(i)->name));
                QCOMPARE(list->indexOfChild(bol), i);
                QCOMPARE(bol->parent(), list);
            }
            QVERIFY(list->child(4)
                        ->text(QAccessible::Description)
                        .startsWith(QStringLiteral("bol 5, beat 5, 1 beat")));
            editor.SelectBol(2, true);
            QVERIFY(list->child(2)->state().selected);
            QVERIFY(!list->child(3)->state().selected);
            list->child(3)->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
            QCOMPARE(editor.SelectedIndices(), (std::vector<int>{2, 3}));
            QVERIFY(list->child(3)
                        ->text(QAccessible::Description)
                        .endsWith(QStringLiteral("selected")));
        }
        const QRect cell = frame.GetGridView()->ToClient(frame.GetGridView()->GetBolView(1)->frame);
        QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(frame.GetGridView());
        const QPoint centre = frame.GetGridView()->viewport()->mapToGlobal(cell.center());
        QCOMPARE(grid->childAt(centre.x(), centre.y()), grid->child(1));

        app->Session().Play();
        QTRY_VERIFY(frame.GetGridView()->SoundingBol() >= 0);
        app->Session().Pause();
        Flush();
        const int sounding = frame.GetGridView()->SoundingBol();
        QVERIFY(grid->child(sounding)
                    ->text(QAccessible::Description)
                    .contains(QStringLiteral("sounding")));
        QVERIFY(grid->child(sounding)->state().active);
    }

    // The defects: Bol Properties stays disabled; the ramp's label names its
    // box; the Expand dialog's title fits; Merge Taal asks with its own
    // dialog; the browser follows File > Open; the status bar says once when
    // the vibhags stop fitting, what Save Sound wrote and where a ramp runs
    // to; the mixer's switches are mutes.
    void defectsMended() {
        AppFixture fixture;
        const auto app = fixture.Start({AppFixture::Teentaal()});
        CMainFrame& frame = *app->MainFrame();
        QVERIFY(!frame.Commands().Action(kCmdBolProperties)->isEnabled());
        frame.UpdateCommandUI();
        QVERIFY(!frame.ToolBar()
                     ->widgetForAction(frame.Commands().Action(kCmdBolProperties))
                     ->isEnabled());

        RecordingMessageSink sink;
        CTempoRampDialog ramp(100.0, false, sink);
        bool buddied = false;
        for (const QLabel* label : ramp.findChildren<QLabel*>())
            buddied |= label->text() == QStringLiteral("To &target tempo") && label->buddy();
        QVERIFY(buddied);
        CExpandDlg expand(sink);
        QVERIFY(expand.minimumWidth() >
                expand.fontMetrics().horizontalAdvance(QString::fromLatin1(CExpandDlg::kTitle)));

        frame.Commands().Action(kCmdFileMergeTaal)->trigger();
        QCOMPARE(fixture.shell.mergeAsks, 1);

        // The browser selects the Taal opened, and nothing for a new one.
        CTaalTree& tree = *frame.GetTreeView();
        frame.Settings().taalsFolder = QStringLiteral(LORVANTA_SOURCE_DIR "/Taals");
        frame.RefreshTaalTree();
        const QString rupak = QStringLiteral(LORVANTA_SOURCE_DIR "/Taals/Rupak.tal");
        QVERIFY(app->OpenDocumentFile(rupak));
        QCOMPARE(tree.selectedItems().size(), 1);
        QCOMPARE(tree.PathOf(tree.selectedItems().first()), rupak);
        frame.Commands().Action(kCmdFileNew)->trigger();
        QVERIFY(tree.selectedItems().isEmpty());
        QVERIFY(app->OpenDocumentFile(rupak));

        // An edit that stops the vibhags fitting: said once, not again on the
        // next edit; Taal Properties says why.
        CTaalEditor& editor = app->Session().Editor();
        editor.SelectBol(0, true);
        frame.statusBar()->clearMessage();
        frame.Commands().Action(kCmdExpandDouble)->trigger();
        QCOMPARE(frame.statusBar()->currentMessage(),
                 QString::fromLatin1(CMainFrame::kVibhagsHidden));
        frame.statusBar()->clearMessage();
        frame.Commands().Action(kCmdExpandDouble)->trigger();
        QCOMPARE(frame.statusBar()->currentMessage(),
                 QString::fromLatin1(CMainFrame::kIdleMessage));
        const CLorvantaDoc& doc = app->Session().Document();
        QVERIFY(
            !VibhagDisplayNote(VibhagsToShow(doc.Params(), doc.Taal().Total()), doc.Taal().Total())
                 .empty());

        fixture.shell.soundFile = fixture.Path("rupak-sound");
        frame.Commands().Action(kCmdFileSaveSound)->trigger();
        QVERIFY(frame.statusBar()->currentMessage().startsWith(
            QStringLiteral("Saved rupak-sound.wav: one cycle of ")));

        QCOMPARE(app->Session().StartRamp({RampRequest::Form::Stepped, 165.0, 5.0, 1, 0.0}),
                 RampStatus::Ok);
        frame.UpdateCommandUI();
        QCOMPARE(frame.RampLabel()->text(), QStringLiteral("Ramp \u2192 165 bpm"));
        app->Session().EndRamp();
        frame.UpdateCommandUI();
        QCOMPARE(frame.RampLabel()->text(), QString());

        QToolButton* mute = frame.MixerBar()->OffButton(CMixerBar::kBass);
        QCOMPARE(mute->text(), QStringLiteral("Mute"));
        mute->click();
        QVERIFY(app->Session().Levels().bass.off);
        mute->click();
        QVERIFY(!app->Session().Levels().bass.off);
    }
};

QTEST_MAIN(PracticeWindowTest)
#include "PracticeWindowTest.moc"
