#include "audiodevice/PortAudioOutput.h"

#include "audiodevice/BufferResampler.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <portaudio.h>
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
constexpr auto kMonitorPeriod = std::chrono::milliseconds(250);
constexpr int kSilentChecksBeforeLost = 4; // a second without a callback
constexpr auto kReopenInterval = std::chrono::seconds(1);
// Closing a stream whose server has died can wait for a callback that never
// comes; after this long the library is given up for the process.
constexpr auto kTeardownLimit = std::chrono::seconds(2);

// PortAudio is one per process: once a teardown has hung inside it, it is not
// used again.
std::atomic<bool> g_portAudioWedged{false};

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
#ifdef LORVANTA_HAVE_ALSA
        snd_lib_error_set_handler(&QuietAlsa);
#endif
#ifdef LORVANTA_HAVE_JACK
        jack_set_error_function(&QuietJack);
        jack_set_info_function(&QuietJack);
#endif
    });
}

} // namespace

struct PortAudioOutputDevice::Impl {
    PaStream* stream = nullptr;
    bool initialized = false; // PortAudio is initialised
    std::atomic<double> rate{0.0};
    int channels = 2;
    std::string deviceName;
    std::string hostApiName;

    std::array<std::unique_ptr<BufferResampler>, kMaxBuffers> resamplers;
    // Callback's own: the buffer last seen in each slot and its start generation.
    std::array<std::uint64_t, kMaxBuffers> serial{};
    std::array<std::uint32_t, kMaxBuffers> generation{};
    std::array<float, BufferResampler::kMaxFrames> mix{};

    std::atomic<std::uint64_t> callbacks{0};
    std::atomic<std::uint64_t> frames{0};
    std::atomic<std::uint64_t> underflows{0};
    std::atomic<double> latency{0.0};

    std::mutex deviceMutex; // opening and closing the stream; never the callback
    std::atomic<bool> lost{false};

    std::mutex monitorMutex;
    std::condition_variable monitorWake;
    bool stopMonitor = false;
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

HResult PortAudioOutputDevice::Open(std::unique_ptr<PortAudioOutputDevice>& out) {
    QuietenSoundLibraries();
    std::unique_ptr<PortAudioOutputDevice> device(new PortAudioOutputDevice());
    {
        std::lock_guard lock(device->m_impl->deviceMutex);
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
    if (Pa_Initialize() != paNoError)
        return HResult::NoDriver;
    impl.initialized = true;
    const PaDeviceIndex index = Pa_GetDefaultOutputDevice();
    const PaDeviceInfo* info = index != paNoDevice ? Pa_GetDeviceInfo(index) : nullptr;
    if (info == nullptr || info->maxOutputChannels < 1) {
        CloseStream();
        return HResult::NoDriver;
    }
    PaStreamParameters parameters{};
    parameters.device = index;
    parameters.channelCount = std::min(info->maxOutputChannels, 2);
    parameters.sampleFormat = paFloat32;
    parameters.suggestedLatency = std::max(info->defaultLowOutputLatency, 0.02);
    const double rate = info->defaultSampleRate > 0.0 ? info->defaultSampleRate : 48000.0;
    PaStream* stream = nullptr;
    if (Pa_OpenStream(&stream, nullptr, &parameters, rate, kFramesPerCallback, paNoFlag,
                      &Impl::Callback, this) != paNoError) {
        CloseStream();
        return HResult::NoDriver;
    }
    impl.stream = stream;
    impl.channels = parameters.channelCount;
    impl.rate.store(rate);
    impl.deviceName = info->name != nullptr ? info->name : "";
    const PaHostApiInfo* host = Pa_GetHostApiInfo(info->hostApi);
    impl.hostApiName = host != nullptr && host->name != nullptr ? host->name : "";
    if (const PaStreamInfo* streamInfo = Pa_GetStreamInfo(stream))
        impl.latency.store(streamInfo->outputLatency);
    if (Pa_StartStream(stream) != paNoError) {
        CloseStream();
        return HResult::NoDriver;
    }
    return HResult::Ok;
}

void PortAudioOutputDevice::CloseStream() noexcept {
    Impl& impl = *m_impl;
    PaStream* stream = std::exchange(impl.stream, nullptr);
    const bool initialized = std::exchange(impl.initialized, false);
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
            if (stream != nullptr) {
                Pa_AbortStream(stream);
                Pa_CloseStream(stream);
            }
            if (initialized)
                Pa_Terminate();
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

HResult PortAudioOutputDevice::RestoreDevice() noexcept {
    // The monitor reopens the device in the background; a writer only learns
    // whether it is back, and never waits for it.
    return m_impl->lost.load() ? HResult::BufferLost : HResult::Ok;
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
    int silentChecks = 0;
    auto nextReopen = std::chrono::steady_clock::now();
    std::unique_lock lock(impl.monitorMutex);
    while (!impl.monitorWake.wait_for(lock, kMonitorPeriod, [&] { return impl.stopMonitor; })) {
        if (impl.lost.load()) {
            if (std::chrono::steady_clock::now() >= nextReopen) {
                std::lock_guard device(impl.deviceMutex);
                CloseStream();
                if (!Failed(OpenStream())) {
                    lastCallbacks = impl.callbacks.load();
                    silentChecks = 0;
                    impl.lost.store(false);
                }
                nextReopen = std::chrono::steady_clock::now() + kReopenInterval;
            }
            // Nothing takes from the buffers: wake their writers so that they
            // restore them once the device is back.
            SignalPlayingBuffers();
            continue;
        }
        bool active = true;
        {
            std::lock_guard device(impl.deviceMutex);
            active = impl.stream != nullptr && Pa_IsStreamActive(impl.stream) == 1;
        }
        const std::uint64_t callbacks = impl.callbacks.load();
        silentChecks = callbacks == lastCallbacks ? silentChecks + 1 : 0;
        lastCallbacks = callbacks;
        if (!active || silentChecks >= kSilentChecksBeforeLost) {
            impl.lost.store(true);
            MarkAllLost();
            SignalPlayingBuffers();
            nextReopen = std::chrono::steady_clock::now() + kReopenInterval;
        }
    }
}

DeviceOutputStats PortAudioOutputDevice::Stats() const {
    DeviceOutputStats stats;
    stats.sampleRate = m_impl->rate.load();
    stats.callbacks = m_impl->callbacks.load();
    stats.frames = m_impl->frames.load();
    stats.deviceUnderflows = m_impl->underflows.load();
    stats.outputLatency = m_impl->latency.load();
    return stats;
}

const char* PortAudioOutputDevice::DeviceName() const noexcept {
    return m_impl->deviceName.c_str();
}

const char* PortAudioOutputDevice::HostApiName() const noexcept {
    return m_impl->hostApiName.c_str();
}

} // namespace lorvanta
