#pragma once
// A line on the terminal that says which long work is going on and for how long
// ("kivreport: converting report.pptx to PDF with LibreOffice... 12 s"). It
// appears on stderr once the work has taken a second, is rewritten every second
// in place, and is erased when the work ends. Callers show it only when stderr is
// a terminal and the command prints neither JSON nor -q output.
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace kivcli {

class Progress {
public:
    // Nothing happens when shown is false.
    Progress(bool shown, std::string what);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // True when stderr is a terminal.
    static bool terminal();

private:
    void tick();

    std::string m_what;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    bool m_written = false;
    std::thread m_thread;
};

}  // namespace kivcli
