// Start-up to the first painted window with each built-in kit and with a
// 30-file kit folder, and the folder's loading alone, each as a ratio to the
// same run's start-up with no kit option (the setting's kit, the default).
// In-process, on the platform and audio output the environment chooses
// (offscreen and the virtual output unless set).

#include "app/LorvantaApp.h"
#include "app/MainFrame.h"
#include "audiodevice/SystemOutput.h"
#include "model/Messages.h"
#include "soundfiles/StrokeKit.h"
#include "ui/grid/LorvantaView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace lorvanta;

namespace {

constexpr int kRuns = 9;

// Notes the first paint of the grid, which is drawn last of the window.
class FirstPaint : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted = true;
        return QObject::eventFilter(watched, event);
    }
};

// Seconds from creating the application to the grid's first paint.
double StartOnce(const QStringList& arguments) {
    RecordingMessageSink sink;
    QElapsedTimer timer;
    timer.start();
    CLorvantaApp app(sink, ShellServices{}, OpenChosenOutput);
    app.SetBolTablePath(LORVANTA_SOURCE_DIR "/resources/Tabla Bols.txt");
    FirstPaint watch;
    qApp->installEventFilter(&watch);
    if (!app.InitInstance(QStringList{QStringLiteral("lorvanta")} + arguments)) {
        std::fprintf(stderr, "start-up failed\n");
        std::exit(1);
    }
    while (!watch.painted)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double seconds = timer.nsecsElapsed() * 1e-9;
    qApp->removeEventFilter(&watch);
    return seconds;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("LORVANTA_AUDIO"))
        qputenv("LORVANTA_AUDIO", "virtual");
    // The platform's notes on every window would bury the figures.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QApplication application(argc, argv);
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());

    // The kit folder: the 30 strokes of the default kit, as bank writes them.
    const std::filesystem::path kit = (dir.path() + QStringLiteral("/kit")).toStdString();
    RecordingMessageSink sink;
    if (!WriteStrokeBank(CSampleBank(DefaultBuiltInKit()), kit, sink))
        return 1;

    const QString teentaal = QStringLiteral(LORVANTA_SOURCE_DIR "/Taals/Teentaal.tal");
    struct Case {
        const char* name;
        QStringList arguments;
    };
    std::vector<Case> cases{
        {"no kit option", {teentaal}},
        {"--kit synthesised", {"--kit", "synthesised", teentaal}},
        {"--kit FOLDER (30 files)", {"--kit", QString::fromStdString(kit.string()), teentaal}}};
    if (HasBuiltInKit(BuiltInKit::Recorded))
        cases.insert(cases.begin() + 1, {"--kit recorded", {"--kit", "recorded", teentaal}});

    StartOnce(cases[0].arguments); // warms the caches
    std::vector<std::vector<double>> times(cases.size());
    for (int run = 0; run < kRuns; ++run) {
        for (std::size_t i = 0; i < cases.size(); ++i)
            times[i].push_back(StartOnce(cases[i].arguments));
    }
    std::vector<double> loads;
    for (int run = 0; run < kRuns; ++run) {
        CSampleBank bank;
        QElapsedTimer timer;
        timer.start();
        LoadStrokeKit(bank, kit, sink);
        loads.push_back(timer.nsecsElapsed() * 1e-9);
    }

    const double baseline = Median(times[0]);
    std::printf("Start-up to the first painted window, median of %d (Teentaal):\n", kRuns);
    std::printf("  %-26s %8.1f ms\n", cases[0].name, baseline * 1e3);
    for (std::size_t i = 1; i < cases.size(); ++i)
        std::printf("  %-26s %8.2f x no kit option\n", cases[i].name, Median(times[i]) / baseline);
    std::printf("  %-26s %8.2f x no kit option\n", "loading the folder alone",
                Median(loads) / baseline);
    return 0;
}
