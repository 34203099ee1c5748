// Paint figures of the bol grid with a 1,000-bol Taal: the repaint after each
// playing-position notification and after each scroll step, against a full
// repaint of the same view measured in the same run. Prints the figures; the
// checks are on the areas repainted, never on times.
#include "AppTestSupport.h"

#include "app/AppSettings.h"
#include "audio/SampleBank.h"
#include "audio/output/device/SystemOutput.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "ui/grid/LorvantaView.h"

#include <QPaintEvent>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>

using namespace lorvanta;
using namespace lorvanta::test;

namespace {

// Adds up the pixels the viewport is asked to paint.
class AreaSpy : public QObject {
public:
    long long pixels = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            for (const QRect& rect : static_cast<QPaintEvent*>(event)->region())
                pixels += static_cast<long long>(rect.width()) * rect.height();
        }
        return false;
    }
};

double Micro(std::chrono::nanoseconds time, long long count) {
    return count == 0 ? 0.0 : static_cast<double>(time.count()) / 1000.0 / count;
}

} // namespace

class GridPaintFigures : public QObject {
    Q_OBJECT

private slots:
    void paintPerNotification() {
        CLorvantaDoc doc;
        CSampleBank bank;
        RecordingMessageSink sink;
        AppSettings settings;
        const float durations[] = {1.0f, 0.5f, 0.5f, 1.0f, 0.25f, 0.75f, 1.0f, 2.0f};
        for (int i = 0; i < 1000; ++i) {
            const CBol2 bol(i % 3 ? "Dha" : "Tirakita", 0, durations[i % 8], Tabla);
            doc.InsertBol(doc.Taal().Count() - 1, &bol);
        }
        doc.SetEmpty(false);
        CLorvantaView view(doc, bank, sink, settings, OpenChosenOutput);
        view.resize(1000, 700);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.OnInitialUpdate();
        // Paused: the progress line and the beat display are drawn.
        view.OnAudioPlay();
        view.OnAudioPause();
        QVERIFY(view.IsPaused());
        Flush();
        const long long viewportArea =
            static_cast<long long>(view.viewport()->width()) * view.viewport()->height();

        // Baseline: the whole viewport painted.
        constexpr int kFullRuns = 100;
        auto time = view.PaintTime();
        auto paints = view.PaintCount();
        for (int i = 0; i < kFullRuns; ++i)
            view.viewport()->repaint();
        const double full = Micro(view.PaintTime() - time, static_cast<long long>(kFullRuns));

        // Playing: notifications every 10 ms at 100 bpm move the position by
        // 1/60 beat, over 40 beats (several rows, each row change included).
        AreaSpy spy;
        view.viewport()->installEventFilter(&spy);
        constexpr int kNotifications = 2400;
        time = view.PaintTime();
        paints = view.PaintCount();
        std::chrono::nanoseconds worst{0};
        int worstAt = 0;
        for (int i = 1; i <= kNotifications; ++i) {
            const auto before = view.PaintTime();
            view.ShowPlayingPosition(1.0f + static_cast<float>(i) / 60.0f, i / 60);
            Flush();
            if (view.PaintTime() - before > worst) {
                worst = view.PaintTime() - before;
                worstAt = i;
            }
        }
        const double perNotification = Micro(view.PaintTime() - time, kNotifications);
        const long long notificationPaints = static_cast<long long>(view.PaintCount() - paints);
        const double areaPerNotification = static_cast<double>(spy.pixels) / kNotifications;

        // Scrolling one line at a time down the page.
        spy.pixels = 0;
        QScrollBar* bar = view.verticalScrollBar();
        constexpr int kScrollSteps = 200;
        time = view.PaintTime();
        paints = view.PaintCount();
        for (int i = 0; i < kScrollSteps; ++i) {
            bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            Flush();
        }
        const double perScroll = Micro(view.PaintTime() - time, kScrollSteps);
        const double areaPerScroll = static_cast<double>(spy.pixels) / kScrollSteps;
        view.viewport()->removeEventFilter(&spy);

        std::printf("\nGrid paint figures, 1,000 bols (%d ruler rows), viewport %dx%d\n",
                    view.Layout().RulerRowCount(), view.viewport()->width(),
                    view.viewport()->height());
        std::printf("  full repaint (baseline):     %8.1f us\n", full);
        std::printf("  per position notification:   %8.1f us  (%.3f of a full repaint), "
                    "%lld paints for %d notifications, worst %.1f us (beat %.2f)\n",
                    perNotification, perNotification / full, notificationPaints, kNotifications,
                    static_cast<double>(worst.count()) / 1000.0, 1.0 + worstAt / 60.0);
        std::printf("  pixels per notification:     %8.0f  (%.4f of the viewport)\n",
                    areaPerNotification, areaPerNotification / viewportArea);
        std::printf("  per 25-pixel scroll step:    %8.1f us  (%.3f of a full repaint), "
                    "%.0f pixels\n",
                    perScroll, perScroll / full, areaPerScroll);

        // Only strips are repainted while playing: well under a hundredth of
        // the viewport on average, and a scroll step paints only the strip
        // that comes into view.
        QVERIFY(areaPerNotification < viewportArea / 100.0);
        QVERIFY(areaPerScroll <= 25.0 * view.viewport()->width() + 1);
    }
};

QTEST_MAIN(GridPaintFigures)
#include "GridPaintFigures.moc"
