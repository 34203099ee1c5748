// lorvanta-playback-stress [SECONDS] [--device] [--drone] [--lehra]: plays the
// bundled Teentaal in real time for SECONDS (300 by default) on the virtual
// output (or the sound card), with the tanpura's drone and the lehra mixed in
// if asked (the lehra's loop rendered anew for each tempo and pitch by the
// session's lehra worker, off this thread), while every
// other core is kept busy and the tempo and the pitch change every 100 ms (the
// drone switched off and on every second), then reports the underruns of the playback ring. Exit
// status 0 when there were none (see the end for the others).

#include "audio/LehraMix.h"
#include "audio/SampleBank.h"
#include "audio/TaalRenderer.h"
#include "audio/Tanpura.h"
#include "audio/output/ThreadPriority.h"
#include "audio/output/VirtualOutput.h"
#include "audio/playback/PlaybackEngine.h"
#include "audiodevice/SystemOutput.h"
#include "lehra/LehraLibrary.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "persistence/TaalFile.h"
#include "session/LehraWorker.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace lorvanta;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    double seconds = 300.0;
    bool device = false;
    bool drone = false;
    bool lehra = false;
    bool ring = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--device") == 0) {
            device = true;
        } else if (std::strcmp(argv[i], "--drone") == 0) {
            drone = true;
        } else if (std::strcmp(argv[i], "--lehra") == 0) {
            lehra = true;
        } else if (std::strcmp(argv[i], "--ring") == 0) {
            ring = true;
        } else {
            char* end = nullptr;
            seconds = std::strtod(argv[i], &end);
            if (end == argv[i] || *end != '\0' || !(seconds > 0.0)) {
                std::fprintf(stderr,
                             "usage: %s [SECONDS] [--device] [--drone] [--ring] [--lehra]\n",
                             argv[0]);
                return 64;
            }
        }
    }

    CLorvantaDoc doc;
    RecordingMessageSink sink;
    const std::string path = std::string(LORVANTA_SOURCE_DIR) + "/Taals/Teentaal.tal";
    if (OpenTaalFile(doc, path, sink).structuralError || doc.IsEmpty()) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 2;
    }
    CSampleBank bank;
    CTaalRenderer renderer(doc.Taal(), bank, sink);
    renderer.SetTempo(0.6f);
    // --ring: strokes ring on, humanised, as the program plays by default.
    if (ring)
        renderer.SetStrokeStyle(kDefaultStrokeStyle);
    renderer.InitialUpdate();

    VirtualOutputDevice* virtualOutput = nullptr;
    const char* outputName = "";
    CPlaybackEngine engine(doc, renderer, sink, [&](std::unique_ptr<OutputDevice>& out) {
        if (device) {
            const HResult result = OpenChosenOutput(out);
            outputName = out ? out->Name() : "";
            return result;
        }
        auto created = std::make_unique<VirtualOutputDevice>();
        virtualOutput = created.get();
        outputName = created->Name();
        out = std::move(created);
        return HResult::Ok;
    });
    if (const SoundSetupStatus status = engine.InitDirectSound(); status != SoundSetupStatus::Ok) {
        std::fprintf(stderr, "%s\n", SoundInitFailureMessage(status).text.c_str());
        return 2;
    }

    // Every other core spins.
    std::atomic<bool> stop{false};
    std::vector<std::thread> load;
    const unsigned cores = std::max(2u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i + 1 < cores; ++i) {
        load.emplace_back([&stop] {
            volatile std::uint64_t spin = 0;
            while (!stop.load(std::memory_order_relaxed))
                spin = spin + 1;
        });
    }

    // A probe at the feeding thread's priority that only sleeps and wakes: how
    // late it wakes tells what the machine itself holds up, whatever plays.
    std::atomic<std::uint64_t> probeStalls{0};
    std::atomic<double> probeWorst{0.0};
    std::thread probe([&] {
        RaiseCurrentThreadPriority(ThreadPriority::TimeCritical);
        auto wake = Clock::now();
        while (!stop.load(std::memory_order_relaxed)) {
            wake += std::chrono::milliseconds(5);
            std::this_thread::sleep_until(wake);
            const double late = std::chrono::duration<double>(Clock::now() - wake).count();
            if (late > 0.050)
                probeStalls.fetch_add(1);
            if (late > probeWorst.load())
                probeWorst.store(late);
            if (Clock::now() > wake)
                wake = Clock::now();
        }
    });

    if (drone) {
        engine.SetDroneLoop(std::make_shared<const std::vector<std::int16_t>>(
            RenderTanpuraLoop({DroneTuning::Pa, 3}, kSampleRate)));
        engine.SetDroneLevel(0.0f);
        engine.SetDroneOn(true);
    }
    // The lehra chosen for Teentaal, its loop rendered for each new image.
    const LehraLibrary lehras = LehraLibrary::Load({std::string(LORVANTA_SOURCE_DIR) + "/Lehras"});
    const LehraEntry* lehraEntry = lehras.Auto(16.0, "Teentaal");
    std::optional<LehraWorker> worker;
    std::shared_ptr<const Lehra> lehraCopy;
    // After each change: how long until the worker handed over the loop for
    // the new image (the lehra is silent meanwhile).
    std::vector<double> handOverDelays;
    auto handLehra = [&] {
        if (worker)
            worker->Want({lehraCopy, lehraEntry->lehra.instrument, 1,
                          static_cast<std::size_t>(renderer.Image().DataSize() / 2), 0});
    };
    if (lehra) {
        if (lehraEntry == nullptr) {
            std::fprintf(stderr, "the lehra cannot play: none fits Teentaal\n");
            return 2;
        }
        lehraCopy = std::make_shared<const Lehra>(lehraEntry->lehra);
        worker.emplace(engine, SynthVoiceOpener(kSampleRate));
        handLehra();
        worker->Wait();
        if (const auto news = worker->TakeNews(); news.failure) {
            std::fprintf(stderr, "the lehra cannot play: %s\n", news.failure->c_str());
            return 2;
        }
        engine.SetLehraLevel(-6.0f);
        engine.SetLehraOn(true);
    }
    engine.OnAudioPlay();
    const float tempos[] = {0.6f, 0.5f, 0.4f, 0.75f, 0.3f, 0.55f, 1.0f};
    const int semitones[] = {0, 1, -2, 3, -6, 6, -1, 2};
    const auto start = Clock::now();
    auto next = start;
    std::uint64_t changes = 0;
    double longestRebuild = 0.0;
    while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
        next += std::chrono::milliseconds(100);
        std::this_thread::sleep_until(next);
        const auto before = Clock::now();
        if (changes % 2 == 0) {
            renderer.SetTempo(tempos[(changes / 2) % std::size(tempos)]);
        } else {
            const int s = semitones[(changes / 2) % std::size(semitones)];
            renderer.SetPitch(static_cast<float>(std::pow(2.0, s / 12.0)));
        }
        if (drone && changes % 10 == 9)
            engine.SetDroneOn(!engine.IsDroneOn());
        handLehra();
        longestRebuild =
            std::max(longestRebuild, std::chrono::duration<double>(Clock::now() - before).count());
        ++changes;
        if (worker) {
            const auto cycle = static_cast<std::size_t>(renderer.Image().DataSize() / 2);
            const auto until = next + std::chrono::milliseconds(90);
            LehraLoopPtr handed = worker->Handed();
            while ((!handed || handed->cycleSamples != cycle) && Clock::now() < until) {
                std::this_thread::sleep_for(std::chrono::microseconds(500));
                handed = worker->Handed();
            }
            handOverDelays.push_back(std::chrono::duration<double>(Clock::now() - before).count());
        }
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const CPlaybackEngine::Figures figures = engine.CurrentFigures();
    const std::uint64_t underruns = figures.underruns;
    const std::uint64_t notifications = figures.chunksPlayed;
    const std::uint64_t refills = figures.refills;
    const bool feeding = !engine.FeedingThreadExit().has_value();
    engine.OnAudioStop();
    stop.store(true);
    for (std::thread& t : load)
        t.join();
    probe.join();

    std::printf("output                 %s\n", outputName);
    std::printf("drone                  %s\n", drone ? "on, switched every second" : "off");
    std::printf("lehra                  %s\n", lehra ? lehraEntry->lehra.name.c_str() : "off");
    if (worker) {
        const LehraWorker::Figures lehraFigures = worker->CurrentFigures();
        std::sort(handOverDelays.begin(), handOverDelays.end());
        std::printf("lehra loops rendered   %llu (longest %.1f ms, on the worker)\n",
                    static_cast<unsigned long long>(lehraFigures.renders),
                    lehraFigures.longestRender * 1000.0);
        if (!handOverDelays.empty())
            std::printf("lehra back after       %.1f ms median, %.1f ms worst\n",
                        handOverDelays[handOverDelays.size() / 2] * 1000.0,
                        handOverDelays.back() * 1000.0);
    }
    std::printf("seconds played         %.1f\n", elapsed);
    std::printf("busy threads           %zu\n", load.size());
    std::printf("tempo/pitch changes    %llu (longest rebuild %.3f ms)\n",
                static_cast<unsigned long long>(changes), longestRebuild * 1000.0);
    std::printf("chunks played          %llu\n", static_cast<unsigned long long>(notifications));
    std::printf("refills                %llu\n", static_cast<unsigned long long>(refills));
    std::printf("feeding thread raised  %s\n", figures.feedingPriorityRaised ? "yes" : "no");
    if (virtualOutput != nullptr) {
        std::printf("clock raised           %s\n",
                    virtualOutput->ClockPriorityRaised() ? "yes" : "no");
        std::printf("late clock passes      %llu of %llu\n",
                    static_cast<unsigned long long>(virtualOutput->LatePasses()),
                    static_cast<unsigned long long>(virtualOutput->Passes()));
    }
    std::printf("probe stalls >= 50 ms  %llu (longest %.1f ms)\n",
                static_cast<unsigned long long>(probeStalls.load()), probeWorst.load() * 1000.0);
    std::printf("feeding thread         %s\n", feeding ? "running" : "ended");
    std::printf("underruns              %llu\n", static_cast<unsigned long long>(underruns));
    // 0: no underrun. 1: underruns (or a failed refill) on a machine that kept
    // its real-time threads running. 3: underruns while the machine itself
    // held real-time threads up for 50 ms or more (a shared or virtual machine
    // over its share): the figure says nothing about the program.
    if (underruns == 0 && feeding)
        return 0;
    return probeStalls.load() == 0 || !feeding ? 1 : 3;
}
