#pragma once

#include "audio/output/OutputBuffer.h"
#include "audio/output/OutputTypes.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

namespace lorvanta {

// An audio output: creates sound buffers and plays every playing one of them,
// mixed. Backends (a sound card, a virtual clock) derive from it and run the
// consumer: one thread, or one device callback, that takes samples from the
// buffers inside a ConsumerPass.
class OutputDevice {
public:
    static constexpr std::size_t kMaxBuffers = 8;

    virtual ~OutputDevice();
    OutputDevice(const OutputDevice&) = delete;
    OutputDevice& operator=(const OutputDevice&) = delete;

    // A new, silent, stopped buffer at position 0 with the format's rate as its
    // frequency. Only 16-bit mono PCM; the size is a whole number of samples.
    HResult CreateBuffer(const BufferDesc& desc, std::unique_ptr<OutputBuffer>& out);

    // The mixing format asked for. Devices keep their own rate, so this only
    // checks the format.
    virtual HResult SetPrimaryFormat(const PcmFormat& format);

    virtual const char* Name() const noexcept = 0;

    // Outputs that offer several devices: moves playing to another one at
    // once (empty: the default), the buffers going on where they are.
    virtual HResult SelectDevice(const std::string& /*name*/) { return HResult::NotImplemented; }
    // The device playing ("HOST: DEVICE"), or the output's name.
    virtual std::string DeviceLabel() const { return Name(); }
    // The device asked for was not there, and the default plays instead.
    virtual bool FellBack() const noexcept { return false; }

protected:
    OutputDevice() = default;

    // Brackets the consumer's work on the buffers: a buffer is never freed
    // while a pass that may have seen it runs. Passes must not nest.
    class ConsumerPass {
    public:
        explicit ConsumerPass(OutputDevice& device) noexcept : m_device(device) {
            m_device.m_passes.fetch_add(1, std::memory_order_seq_cst);
        }
        ~ConsumerPass() { m_device.m_passes.fetch_add(1, std::memory_order_seq_cst); }
        ConsumerPass(const ConsumerPass&) = delete;
        ConsumerPass& operator=(const ConsumerPass&) = delete;

    private:
        OutputDevice& m_device;
    };

    // The buffer in a slot, or null. Only inside a ConsumerPass.
    OutputBuffer* BufferInSlot(std::size_t slot) const noexcept {
        return m_slots[slot].load(std::memory_order_seq_cst);
    }

    // Called by Restore of a lost buffer: reopen what has gone. HResult::BufferLost
    // while that is not yet possible.
    virtual HResult RestoreDevice() noexcept { return HResult::Ok; }
    // A buffer started playing (writer's thread): a device that sleeps while
    // nothing plays wakes up.
    virtual void OnBufferStarted() noexcept {}
    // Per-slot state of a backend, set up before the consumer can see the
    // buffer and torn down after it can no longer (writer's thread).
    virtual HResult OnBufferAttached(std::size_t /*slot*/, OutputBuffer& /*buffer*/) {
        return HResult::Ok;
    }
    virtual void OnBufferDetached(std::size_t /*slot*/) noexcept {}

    // Every buffer loses its memory (the device vanished).
    void MarkAllLost() noexcept;
    // Wakes the writers of every playing buffer (nothing takes from them).
    void SignalPlayingBuffers() noexcept;
    // Buffers alive, for backends that have nothing to do without any.
    std::size_t BufferCount() const;
    // Whether any buffer is playing now.
    bool AnyBufferPlaying() const;

private:
    friend class OutputBuffer;
    void Detach(OutputBuffer& buffer) noexcept;

    mutable std::mutex m_slotsMutex; // writers only; the consumer never takes it
    std::array<std::atomic<OutputBuffer*>, kMaxBuffers> m_slots{};
    std::atomic<std::uint64_t> m_passes{0}; // odd while a pass runs
};

} // namespace lorvanta
