#include "audio/output/OutputDevice.h"

#include <cassert>
#include <new>
#include <thread>

namespace lorvanta {

namespace {
std::atomic<std::uint64_t> g_nextSerial{1}; // buffer serials are unique in the process
} // namespace

OutputDevice::~OutputDevice() {
    assert(BufferCount() == 0 && "every buffer goes before its device");
}

HResult OutputDevice::SetPrimaryFormat(const PcmFormat& format) {
    if (format.formatTag != 1 || format.channels == 0 || format.channels > 2 ||
        (format.bitsPerSample != 8 && format.bitsPerSample != 16) || format.sampleRate == 0)
        return HResult::InvalidArg;
    return HResult::Ok;
}

HResult OutputDevice::CreateBuffer(const BufferDesc& desc, std::unique_ptr<OutputBuffer>& out) {
    const PcmFormat& f = desc.format;
    if (f.formatTag != 1 || f.channels != 1 || f.bitsPerSample != 16 || f.blockAlign != 2 ||
        f.sampleRate < kMinBufferFrequency || f.sampleRate > kMaxBufferFrequency ||
        desc.bytes < 4 || desc.bytes % 2 != 0 || desc.bytes > (1u << 30))
        return HResult::InvalidArg;
    std::unique_ptr<OutputBuffer> buffer;
    try {
        buffer.reset(new OutputBuffer(*this, desc, g_nextSerial.fetch_add(1)));
    } catch (const std::bad_alloc&) {
        return HResult::OutOfMemory;
    }
    HResult result = HResult::OutOfMemory; // when every slot is taken
    {
        std::lock_guard lock(m_slotsMutex);
        for (std::size_t slot = 0; slot < kMaxBuffers; ++slot) {
            if (m_slots[slot].load(std::memory_order_relaxed) != nullptr)
                continue;
            try {
                result = OnBufferAttached(slot, *buffer);
            } catch (const std::bad_alloc&) {
                result = HResult::OutOfMemory;
            }
            if (!Failed(result)) {
                m_slots[slot].store(buffer.get(), std::memory_order_seq_cst);
                out = std::move(buffer);
                return HResult::Ok;
            }
            break;
        }
    }
    buffer.reset(); // never published; its destructor takes the slots' lock
    return result;
}

void OutputDevice::Detach(OutputBuffer& buffer) noexcept {
    std::lock_guard lock(m_slotsMutex);
    for (std::size_t slot = 0; slot < kMaxBuffers; ++slot) {
        if (m_slots[slot].load(std::memory_order_relaxed) != &buffer)
            continue;
        m_slots[slot].store(nullptr, std::memory_order_seq_cst);
        // A pass running now may still hold the buffer; wait for it to end.
        const std::uint64_t passes = m_passes.load(std::memory_order_seq_cst);
        if (passes % 2 != 0) {
            while (m_passes.load(std::memory_order_seq_cst) == passes)
                std::this_thread::yield();
        }
        OnBufferDetached(slot);
        return;
    }
}

void OutputDevice::MarkAllLost() noexcept {
    std::lock_guard lock(m_slotsMutex);
    for (auto& slot : m_slots) {
        if (OutputBuffer* buffer = slot.load(std::memory_order_relaxed))
            buffer->MarkLost();
    }
}

void OutputDevice::SignalPlayingBuffers() noexcept {
    std::lock_guard lock(m_slotsMutex);
    for (auto& slot : m_slots) {
        OutputBuffer* buffer = slot.load(std::memory_order_relaxed);
        if (buffer != nullptr && buffer->IsPlaying())
            buffer->SignalNotifications();
    }
}

bool OutputDevice::AnyBufferPlaying() const {
    std::lock_guard lock(m_slotsMutex);
    for (const auto& slot : m_slots) {
        const OutputBuffer* buffer = slot.load(std::memory_order_relaxed);
        if (buffer != nullptr && buffer->IsPlaying())
            return true;
    }
    return false;
}

std::size_t OutputDevice::BufferCount() const {
    std::lock_guard lock(m_slotsMutex);
    std::size_t count = 0;
    for (const auto& slot : m_slots)
        count += slot.load(std::memory_order_relaxed) != nullptr ? 1 : 0;
    return count;
}

} // namespace lorvanta
