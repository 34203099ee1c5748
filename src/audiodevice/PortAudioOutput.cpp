#include "audiodevice/PortAudioOutput.h"

#include "audiodevice/BufferResampler.h"
#include "audiodevice/LibraryLineFilter.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <pa_linux_alsa.h>
#include <portaudio.h>
#include <sched.h>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#ifdef LORVANTA_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif
#ifdef LORVANTA_HAVE_JACK
#include <jack/jack.h>
#endif

namespace lorvanta {

namespace {

// Device frames per callback: small enough that one callback never takes a
// whole notification chunk of a buffer (220 samples) even at the highest
// pitch, so the feeding thread is woken once per chunk.
constexpr unsigned long kFramesPerCallback = 256;
// What the device holds ahead of what is heard. A busy machine (a compile on
// every core) can keep the callback thread away for tens of milliseconds;
// the position shown takes the latency off, so it costs no accuracy.
constexpr double kStreamLatency = 0.06;
constexpr auto kMonitorPeriod = std::chrono::milliseconds(250);
constexpr int kSilentChecksBeforeLost = 4; // a second without a callback
constexpr int kSilentChecksAtStart = 14;   // before the stream has got going
constexpr std::uint64_t kCallbacksGoing = 32;
constexpr int kIdleChecksBeforeStop = 4; // a second with nothing playing
constexpr auto kReopenInterval = std::chrono::seconds(1);
// Closing a stream whose server has died can wait for a callback that never
// comes; after this long the library is given up for the process.
constexpr auto kTeardownLimit = std::chrono::seconds(2);

// PortAudio is one per process: once a teardown has hung inside it, it is not
// used again.
std::atomic<bool> g_portAudioWedged{false};

#ifdef __linux__
// The pulse plugin carries the callback's samples to the sound server on a
// thread of its own ("threaded-ml"), started at normal priority: on a busy
// machine it comes too late now and then, and the server plays a gap although
// the callback ran in time. It gets the callback's real-time class.
void RaiseSoundServerClientThreads() noexcept {
    std::error_code error;
    for (std::filesystem::directory_iterator task("/proc/self/task", error), end;
         !error && task != end; task.increment(error)) {
        std::ifstream comm(task->path() / "comm");
        std::string name;
        if (!std::getline(comm, name) || name != "threaded-ml")
            continue;
        const pid_t tid =
            static_cast<pid_t>(std::strtol(task->path().filename().c_str(), nullptr, 10));
        if (tid <= 0 || sched_getscheduler(tid) != SCHED_OTHER)
            continue;
        sched_param param{};
        param.sched_priority = sched_get_priority_min(SCHED_RR) + 10;
        sched_setscheduler(tid, SCHED_RR, &param);
    }
}
#else
void RaiseSoundServerClientThreads() noexcept {}
#endif

// PortAudio's set-up and teardown are not safe from two threads at once (the
// window lists devices while a monitor reopens one); they go through this.
std::timed_mutex& LibraryLock() {
    static std::timed_mutex lock;
    return lock;
}

#ifdef LORVANTA_HAVE_ALSA
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
#endif
#ifdef LORVANTA_HAVE_JACK
void QuietJack(const char*) {}
#endif

// The sound libraries describe every device they probe on stderr; the
// program reports failures its own way.
void QuietenSoundLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        FilterSoundLibraryLines();
#ifdef LORVANTA_HAVE_ALSA
        snd_lib_error_set_handler(&QuietAlsa);
#endif
#ifdef LORVANTA_HAVE_JACK
        jack_set_error_function(&QuietJack);
        jack_set_info_function(&QuietJack);
#endif
    });
}

std::string EntryName(const PaDeviceInfo& info) {
    const PaHostApiInfo* host = Pa_GetHostApiInfo(info.hostApi);
    const std::string hostName = host != nullptr && host->name != nullptr ? host->name : "";
    return hostName + ": " + (info.name != nullptr ? info.name : "");
}

// Under the library lock, initialised: the device to open for `wanted`.
PaDeviceIndex FindOutputDevice(const std::string& wanted, bool& fellBack) {
    fellBack = false;
    if (wanted.empty())
        return Pa_GetDefaultOutputDevice();
    PaDeviceIndex byOwnName = paNoDevice;
    int ownNameCount = 0;
    for (PaDeviceIndex index = 0; index < Pa_GetDeviceCount(); ++index) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
        if (info == nullptr || info->maxOutputChannels < 1)
            continue;
        if (EntryName(*info) == wanted)
            return index;
        if (info->name != nullptr && wanted == info->name) {
            byOwnName = index;
            ++ownNameCount;
        }
    }
    if (ownNameCount == 1)
        return byOwnName;
    fellBack = true;
    return Pa_GetDefaultOutputDevice();
}

} // namespace

std::vector<OutputDeviceEntry> ListOutputDevices() {
    QuietenSoundLibraries();
    std::vector<OutputDeviceEntry> entries;
    if (g_portAudioWedged.load())
        return entries;
    std::unique_lock lock(LibraryLock(), std::defer_lock);
    if (!lock.try_lock_for(kTeardownLimit) || Pa_Initialize() != paNoError)
        return entries;
    const PaDeviceIndex defaultIndex = Pa_GetDefaultOutputDevice();
    for (PaHostApiIndex host = 0; host < Pa_GetHostApiCount(); ++host) {
        for (PaDeviceIndex index = 0; index < Pa_GetDeviceCount(); ++index) {
            const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
            if (info == nullptr || info->hostApi != host || info->maxOutputChannels < 1)
                continue;
            const PaHostApiInfo* hostInfo = Pa_GetHostApiInfo(host);
            entries.push_back({EntryName(*info),
                               hostInfo != nullptr && hostInfo->name ? hostInfo->name : "",
                               info->name != nullptr ? info->name : "", index == defaultIndex});
        }
    }
    Pa_Terminate();
    return entries;
}

struct PortAudioOutputDevice::Impl {
    PaStream* stream = nullptr; // guarded by deviceMutex
    bool initialized = false;   // PortAudio is initialised
    std::atomic<bool> running{false};
    std::atomic<double> rate{0.0};
    int channels = 2;
    std::string wanted;
    std::string deviceName;
    std::string hostApiName;
    std::atomic<bool> fellBack{false};

    std::array<std::unique_ptr<BufferResampler>, kMaxBuffers> resamplers;
    // Callback's own: the buffer last seen in each slot and its start generation.
    std::array<std::uint64_t, kMaxBuffers> serial{};
    std::array<std::uint32_t, kMaxBuffers> generation{};
    std::array<float, BufferResampler::kMaxFrames> mix{};

    std::atomic<std::uint64_t> callbacks{0};
    std::atomic<std::uint64_t> frames{0};
    std::atomic<std::uint64_t> underflows{0};
    std::atomic<std::uint64_t> starts{0};
    std::atomic<double> latency{0.0};

    mutable std::mutex deviceMutex; // opening, starting, stopping, closing; never the callback
    std::atomic<bool> lost{false};

    std::mutex monitorMutex;
    std::condition_variable monitorWake;
    bool stopMonitor = false;
    bool woken = false; // the stream started: the monitor watches it again
    std::thread monitor;

    static int Callback(const void*, void* output, unsigned long count,
                        const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags flags,
                        void* user) {
        auto* device = static_cast<PortAudioOutputDevice*>(user);
        Impl& impl = *device->m_impl;
        impl.callbacks.fetch_add(1, std::memory_order_relaxed);
        if ((flags & paOutputUnderflow) != 0)
            impl.underflows.fetch_add(1, std::memory_order_relaxed);
        double dac = 0.0;
        if (time != nullptr && time->outputBufferDacTime > time->currentTime)
            dac = std::min(time->outputBufferDacTime - time->currentTime, 1.0);
        auto* out = static_cast<float*>(output);
        std::uint32_t left = static_cast<std::uint32_t>(count);
        while (left > 0) {
            const std::uint32_t step = std::min(left, BufferResampler::kMaxFrames);
            device->Mix(out, step, dac);
            out += static_cast<std::size_t>(step) * impl.channels;
            left -= step;
        }
        impl.frames.fetch_add(count, std::memory_order_relaxed);
        return paContinue;
    }
};

PortAudioOutputDevice::PortAudioOutputDevice() : m_impl(std::make_unique<Impl>()) {}

HResult PortAudioOutputDevice::Open(const std::string& wanted,
                                    std::unique_ptr<PortAudioOutputDevice>& out) {
    QuietenSoundLibraries();
    std::unique_ptr<PortAudioOutputDevice> device(new PortAudioOutputDevice());
    {
        std::lock_guard lock(device->m_impl->deviceMutex);
        device->m_impl->wanted = wanted;
        if (const HResult result = device->OpenStream(); Failed(result))
            return result;
    }
    device->m_impl->monitor = std::thread([raw = device.get()] { raw->Monitor(); });
    out = std::move(device);
    return HResult::Ok;
}

PortAudioOutputDevice::~PortAudioOutputDevice() {
    if (m_impl->monitor.joinable()) {
        {
            std::lock_guard lock(m_impl->monitorMutex);
            m_impl->stopMonitor = true;
        }
        m_impl->monitorWake.notify_all();
        m_impl->monitor.join();
    }
    std::lock_guard lock(m_impl->deviceMutex);
    CloseStream();
}

HResult PortAudioOutputDevice::OpenStream() noexcept {
    Impl& impl = *m_impl;
    if (g_portAudioWedged.load())
        return HResult::NoDriver;
    std::unique_lock library(LibraryLock(), std::defer_lock);
    if (!library.try_lock_for(kTeardownLimit))
        return HResult::NoDriver;
    if (Pa_Initialize() != paNoError)
        return HResult::NoDriver;
    impl.initialized = true;
    bool fellBack = false;
    const PaDeviceIndex index = FindOutputDevice(impl.wanted, fellBack);
    impl.fellBack.store(fellBack);
    const PaDeviceInfo* info = index != paNoDevice ? Pa_GetDeviceInfo(index) : nullptr;
    if (info == nullptr || info->maxOutputChannels < 1) {
        library.unlock();
        CloseStream();
        return HResult::NoDriver;
    }
    const PaHostApiInfo* host = Pa_GetHostApiInfo(info->hostApi);
    PaStreamParameters parameters{};
    parameters.device = index;
    parameters.channelCount = std::min(info->maxOutputChannels, 2);
    parameters.sampleFormat = paFloat32;
    // A JACK server keeps its own period; the other hosts get headroom.
    const bool jack = host != nullptr && host->type == paJACK;
    parameters.suggestedLatency = jack ? info->defaultLowOutputLatency
                                       : std::max(info->defaultLowOutputLatency, kStreamLatency);
    const double rate = info->defaultSampleRate > 0.0 ? info->defaultSampleRate : 48000.0;
    PaStream* stream = nullptr;
    if (Pa_OpenStream(&stream, nullptr, &parameters, rate, kFramesPerCallback, paNoFlag,
                      &Impl::Callback, this) != paNoError) {
        library.unlock();
        CloseStream();
        return HResult::NoDriver;
    }
    // The callback thread at real-time priority (where the system allows it),
    // as the feeding thread is: on a busy machine an ordinary thread comes
    // too late for the device now and then.
    if (host != nullptr && host->type == paALSA) {
        PaAlsa_EnableRealtimeScheduling(stream, 1);
        RaiseSoundServerClientThreads();
    }
    impl.stream = stream;
    impl.channels = parameters.channelCount;
    impl.rate.store(rate);
    impl.deviceName = info->name != nullptr ? info->name : "";
    impl.hostApiName = host != nullptr && host->name != nullptr ? host->name : "";
    if (const PaStreamInfo* streamInfo = Pa_GetStreamInfo(stream))
        impl.latency.store(streamInfo->outputLatency);
    // A stream opened but never started can still hold its server's sink awake
    // (the pulse plugin connects it uncorked); started and stopped at once, it
    // is handed back idle until something plays.
    if (!AnyBufferPlaying() && Pa_StartStream(stream) == paNoError)
        Pa_AbortStream(stream);
    return HResult::Ok;
}

bool PortAudioOutputDevice::StartStream() noexcept {
    Impl& impl = *m_impl;
    if (impl.stream == nullptr)
        return false;
    if (impl.running.load())
        return true;
    if (Pa_StartStream(impl.stream) != paNoError) {
        impl.lost.store(true);
        MarkAllLost();
        return false;
    }
    impl.starts.fetch_add(1);
    impl.running.store(true);
    {
        std::lock_guard lock(impl.monitorMutex);
        impl.woken = true;
    }
    impl.monitorWake.notify_all();
    return true;
}

void PortAudioOutputDevice::CloseStream() noexcept {
    Impl& impl = *m_impl;
    PaStream* stream = std::exchange(impl.stream, nullptr);
    const bool initialized = std::exchange(impl.initialized, false);
    impl.running.store(false);
    if (stream == nullptr && !initialized)
        return;
    // On a thread of its own, so that a library stuck waiting for a vanished
    // server cannot take this thread with it.
    struct Done {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
    };
    auto done = std::make_shared<Done>();
    try {
        std::thread([stream, initialized, done] {
            {
                std::lock_guard library(LibraryLock());
                if (stream != nullptr) {
                    Pa_AbortStream(stream);
                    Pa_CloseStream(stream);
                }
                if (initialized)
                    Pa_Terminate();
            }
            std::lock_guard lock(done->mutex);
            done->done = true;
            done->finished.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        g_portAudioWedged.store(true);
        return;
    }
    std::unique_lock lock(done->mutex);
    if (!done->finished.wait_for(lock, kTeardownLimit, [&] { return done->done; }))
        g_portAudioWedged.store(true);
}

HResult PortAudioOutputDevice::SelectDevice(const std::string& wanted) {
    Impl& impl = *m_impl;
    std::lock_guard lock(impl.deviceMutex);
    impl.wanted = wanted;
    CloseStream();
    if (Failed(OpenStream())) {
        impl.lost.store(true);
        MarkAllLost();
        SignalPlayingBuffers();
        {
            std::lock_guard monitor(impl.monitorMutex);
            impl.woken = true;
        }
        impl.monitorWake.notify_all();
        return HResult::NoDriver;
    }
    // The buffers go on where they are, on the new device.
    if (AnyBufferPlaying())
        StartStream();
    return HResult::Ok;
}

HResult PortAudioOutputDevice::RestoreDevice() noexcept {
    // The monitor reopens the device in the background; a writer only learns
    // whether it is back, and never waits for it.
    return m_impl->lost.load() ? HResult::BufferLost : HResult::Ok;
}

void PortAudioOutputDevice::OnBufferStarted() noexcept {
    Impl& impl = *m_impl;
    if (impl.running.load() || impl.lost.load())
        return;
    std::lock_guard lock(impl.deviceMutex);
    if (!impl.lost.load())
        StartStream();
}

HResult PortAudioOutputDevice::OnBufferAttached(std::size_t slot, OutputBuffer&) {
    auto resampler = BufferResampler::Create();
    if (!resampler)
        return HResult::OutOfMemory;
    m_impl->resamplers[slot] = std::move(resampler);
    return HResult::Ok;
}

void PortAudioOutputDevice::OnBufferDetached(std::size_t slot) noexcept {
    m_impl->resamplers[slot].reset();
}

void PortAudioOutputDevice::Mix(float* output, std::uint32_t frames, double dacLatency) noexcept {
    Impl& impl = *m_impl;
    float* mix = impl.mix.data();
    const double rate = impl.rate.load(std::memory_order_relaxed);
    std::fill(mix, mix + frames, 0.0f);
    const auto now = std::chrono::steady_clock::now();
    {
        ConsumerPass pass(*this);
        for (std::size_t slot = 0; slot < kMaxBuffers; ++slot) {
            OutputBuffer* buffer = BufferInSlot(slot);
            if (buffer == nullptr)
                continue;
            BufferResampler& resampler = *impl.resamplers[slot];
            const std::uint32_t generation = buffer->StartGeneration();
            if (buffer->Serial() != impl.serial[slot] || generation != impl.generation[slot]) {
                impl.serial[slot] = buffer->Serial();
                impl.generation[slot] = generation;
                resampler.Reset();
            }
            if (!buffer->IsPlaying() && resampler.PendingFrames() <= 0.0)
                continue;
            const std::int32_t volume = buffer->Volume();
            const float gain = volume == 0 ? 1.0f : std::pow(10.0f, volume / 2000.0f);
            resampler.MixInto(*buffer, rate, mix, frames, gain);
            // Taken but not heard: what the converter holds plus the device's delay.
            const double behind = resampler.PendingFrames() + dacLatency * buffer->Frequency();
            buffer->SetLatencyBytes(2 * static_cast<std::uint32_t>(std::lround(behind)));
            buffer->StampTaken(now);
        }
    }
    const int channels = impl.channels;
    for (std::uint32_t i = 0; i < frames; ++i) {
        const float sample = std::clamp(mix[i], -1.0f, 1.0f);
        for (int c = 0; c < channels; ++c)
            output[static_cast<std::size_t>(i) * channels + c] = sample;
    }
}

void PortAudioOutputDevice::Monitor() {
    Impl& impl = *m_impl;
    std::uint64_t lastCallbacks = impl.callbacks.load();
    std::uint64_t callbacksAtStart = lastCallbacks;
    int silentChecks = 0;
    int idleChecks = 0;
    auto nextReopen = std::chrono::steady_clock::now();
    std::unique_lock lock(impl.monitorMutex);
    for (;;) {
        // Asleep, without a timer, while the stream is stopped and sound.
        if (impl.running.load() || impl.lost.load())
            impl.monitorWake.wait_for(lock, kMonitorPeriod,
                                      [&] { return impl.stopMonitor || impl.woken; });
        else
            impl.monitorWake.wait(lock, [&] { return impl.stopMonitor || impl.woken; });
        if (impl.stopMonitor)
            return;
        if (std::exchange(impl.woken, false)) {
            // Just started: the next look judges it.
            lastCallbacks = impl.callbacks.load();
            callbacksAtStart = lastCallbacks;
            silentChecks = 0;
            idleChecks = 0;
            continue;
        }
        lock.unlock();
        if (impl.lost.load()) {
            if (std::chrono::steady_clock::now() >= nextReopen) {
                std::lock_guard device(impl.deviceMutex);
                CloseStream();
                if (!Failed(OpenStream())) {
                    lastCallbacks = impl.callbacks.load();
                    callbacksAtStart = lastCallbacks;
                    silentChecks = 0;
                    idleChecks = 0;
                    impl.lost.store(false);
                    if (AnyBufferPlaying())
                        StartStream();
                }
                nextReopen = std::chrono::steady_clock::now() + kReopenInterval;
            }
            // Nothing takes from the buffers: wake their writers so that they
            // restore them once the device is back.
            SignalPlayingBuffers();
        } else if (impl.running.load()) {
            std::lock_guard device(impl.deviceMutex);
            const bool active = impl.stream != nullptr && Pa_IsStreamActive(impl.stream) == 1;
            const std::uint64_t callbacks = impl.callbacks.load();
            silentChecks = callbacks == lastCallbacks ? silentChecks + 1 : 0;
            lastCallbacks = callbacks;
            idleChecks = AnyBufferPlaying() ? 0 : idleChecks + 1;
            // A stream that has not yet got going may be held back by its
            // server for a while (a sink that was idle renders ahead of
            // time); one that ran and went quiet has lost its server.
            const bool going = callbacks - callbacksAtStart > kCallbacksGoing;
            if (!active ||
                silentChecks >= (going ? kSilentChecksBeforeLost : kSilentChecksAtStart)) {
                impl.lost.store(true);
                MarkAllLost();
                SignalPlayingBuffers();
                nextReopen = std::chrono::steady_clock::now() + kReopenInterval;
            } else if (idleChecks >= kIdleChecksBeforeStop) {
                // Nothing has played for a while: let the server idle. What
                // the device still holds is silence by now.
                Pa_AbortStream(impl.stream);
                impl.running.store(false);
                idleChecks = 0;
            }
        }
        lock.lock();
    }
}

DeviceOutputStats PortAudioOutputDevice::Stats() const {
    DeviceOutputStats stats;
    stats.sampleRate = m_impl->rate.load();
    stats.callbacks = m_impl->callbacks.load();
    stats.frames = m_impl->frames.load();
    stats.deviceUnderflows = m_impl->underflows.load();
    stats.outputLatency = m_impl->latency.load();
    stats.streamStarts = m_impl->starts.load();
    stats.running = m_impl->running.load();
    return stats;
}

std::string PortAudioOutputDevice::DeviceName() const {
    std::lock_guard lock(m_impl->deviceMutex);
    return m_impl->deviceName;
}

std::string PortAudioOutputDevice::HostApiName() const {
    std::lock_guard lock(m_impl->deviceMutex);
    return m_impl->hostApiName;
}

std::string PortAudioOutputDevice::DeviceLabel() const {
    std::lock_guard lock(m_impl->deviceMutex);
    return m_impl->hostApiName + ": " + m_impl->deviceName;
}

bool PortAudioOutputDevice::FellBack() const noexcept {
    return m_impl->fellBack.load();
}

} // namespace lorvanta
