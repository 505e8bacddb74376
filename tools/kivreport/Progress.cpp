#include "tools/kivreport/Progress.h"

#include <chrono>
#include <unistd.h>

namespace kivcli {

namespace {
void writeAll(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (n <= 0) return;  // a terminal that went away takes no progress
        done += static_cast<size_t>(n);
    }
}
}  // namespace

Progress::Progress(bool shown, std::string what) : m_what(std::move(what)) {
    if (shown) m_thread = std::thread([this] { tick(); });
}

Progress::~Progress() {
    if (!m_thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_done = true;
    }
    m_wake.notify_all();
    m_thread.join();
    // Back to the start of the line, and the line erased (ANSI "erase in line").
    if (m_written) writeAll("\r\033[K");
}

bool Progress::terminal() { return ::isatty(STDERR_FILENO) == 1; }

void Progress::tick() {
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(m_mutex);
    for (int seconds = 1;; ++seconds) {
        if (m_wake.wait_until(lock, start + std::chrono::seconds(seconds), [this] { return m_done; })) return;
        writeAll("\r\033[Kkivreport: " + m_what + "... " + std::to_string(seconds) + " s");
        m_written = true;
    }
}

}  // namespace kivcli
