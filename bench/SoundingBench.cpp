// The sounding bol lit in the grid and the notation against the progress
// line alone: a cycle of Teentaal four times over (64 bols) followed at the
// grid's 15 ms pace, once with the playing bol held (what the progress line
// and beat display cost) and once moving with the sound (the lit cells and
// the notation's lit text besides). Prints the extra as a ratio of the
// progress line's own cost.
#include "audio/SampleBank.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "model/Taal.h"
#include "session/LorvantaSession.h"
#include "ui/Services.h"
#include "ui/grid/LorvantaView.h"
#include "ui/panes/TaalTextView.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace lorvanta;

namespace {

constexpr int kRuns = 5;
constexpr int kBols = 64;
// 100 bpm read every 15 ms.
constexpr float kBeatsPerTick = 100.0f / 60.0f * 0.015f;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QApplication application(argc, argv);
    CSampleBank bank;
    RecordingMessageSink sink;
    AppSettings settings;
    CLorvantaSession session(bank, sink, nullptr, nullptr, SessionSound::Silent);
    CLorvantaDoc& doc = session.Document();
    for (int i = 0; i < kBols; ++i) {
        const CBol2 bol(i % 4 == 0 ? "Dha" : "Dhin", 0, 1.0f, Tabla);
        doc.InsertBol(doc.Taal().Count() - 1, &bol);
    }
    doc.SetEmpty(false);
    CLorvantaView view(session, sink, settings);
    view.resize(850, 600);
    view.show();
    CTaalTextView text(sink);
    text.SetSession(&session);
    text.resize(850, 150);
    text.show();
    session.OnInitialUpdate();
    QApplication::processEvents();

    // One cycle, painted as it goes; the time of the whole loop.
    const auto cycle = [&](bool moveBol) {
        QElapsedTimer timer;
        timer.start();
        for (float beat = 1.0f; beat < kBols + 1.0f; beat += kBeatsPerTick) {
            const int bol = moveBol ? static_cast<int>(beat) - 1 : 0;
            view.ShowPlayingPosition(beat, bol);
            text.ShowSoundingBol(bol);
            QApplication::processEvents();
        }
        view.ShowPlayingPosition(1.0f, 0);
        QApplication::processEvents();
        return timer.nsecsElapsed() * 1e-9;
    };
    cycle(true); // warms the caches
    std::vector<double> held, moving;
    for (int run = 0; run < kRuns; ++run) {
        held.push_back(cycle(false));
        moving.push_back(cycle(true));
    }
    const double progress = Median(held);
    const double lit = Median(moving);
    std::printf("A cycle of 64 bols at 100 bpm, read every 15 ms, median of %d:\n", kRuns);
    std::printf("  %-40s %8.1f ms\n", "progress line and beat display", progress * 1e3);
    std::printf("  %-40s %8.2f x progress line\n", "lighting the sounding bol (extra)",
                (lit - progress) / progress);
    return 0;
}
