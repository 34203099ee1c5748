#include "audiodevice/LibraryLineFilter.h"

#include <cerrno>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>

namespace lorvanta {

bool IsSoundLibraryLine(std::string_view line) {
    return line.starts_with("Expression '") && line.find("' failed in '") != std::string_view::npos;
}

namespace {

void WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

// stderr's own descriptor, a pipe in its place and the thread that reads it.
// Ends with the program: stderr goes back and what is pending is written.
class StderrFilter {
public:
    StderrFilter() {
        int ends[2];
        m_original = ::dup(STDERR_FILENO);
        if (m_original < 0 || ::pipe(ends) != 0)
            return;
        if (::dup2(ends[1], STDERR_FILENO) < 0) {
            ::close(ends[0]);
            ::close(ends[1]);
            return;
        }
        ::close(ends[1]);
        try {
            m_reader = std::thread([this, in = ends[0]] { Pass(in); });
        } catch (...) {
            ::dup2(m_original, STDERR_FILENO);
            ::close(ends[0]);
        }
    }
    ~StderrFilter() {
        if (!m_reader.joinable())
            return;
        // The pipe's last writer goes; the reader drains it and ends.
        ::dup2(m_original, STDERR_FILENO);
        m_reader.join();
    }
    StderrFilter(const StderrFilter&) = delete;
    StderrFilter& operator=(const StderrFilter&) = delete;

private:
    void Pass(int in) {
        std::string pending;
        char chunk[1024];
        for (;;) {
            const ssize_t got = ::read(in, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            pending.append(chunk, static_cast<std::size_t>(got));
            for (std::size_t end = pending.find('\n'); end != std::string::npos;
                 end = pending.find('\n')) {
                const std::string_view line(pending.data(), end + 1);
                if (!IsSoundLibraryLine(line))
                    WriteAll(m_original, line.data(), line.size());
                pending.erase(0, end + 1);
            }
        }
        if (!pending.empty() && !IsSoundLibraryLine(pending))
            WriteAll(m_original, pending.data(), pending.size());
        ::close(in);
    }

    int m_original = -1;
    std::thread m_reader;
};

} // namespace

void FilterSoundLibraryLines() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Made once, torn down when the program ends.
        static StderrFilter filter;
    });
}

} // namespace lorvanta
