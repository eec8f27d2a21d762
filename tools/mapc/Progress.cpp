// The compiler's progress line: stage names, counts and elapsed time.
#include "Progress.h"
#include <sys/resource.h>
#include <unistd.h>

namespace mapc {

Progress::Progress(FILE* o, double quietSeconds)
    : out(o), quiet(quietSeconds), terminal(o && isatty(fileno(o))), start(Clock::now()), stageStart(start)
{
}

void Progress::stage(const char* name, long long total)
{
    std::lock_guard<std::mutex> lock(printing);
    if (!times.empty()) times.back().seconds = since(stageStart);
    stageStart = Clock::now();
    times.push_back({name, 0.0});
    doneSteps.store(0);
    totalSteps = total;
    lastTenth = -1;
    announced = false;
    show();
}

void Progress::advance(long long n)
{
    long long done = doneSteps.fetch_add(n, std::memory_order_relaxed) + n;
    if (!out) return;
    // A terminal line updates four times a second; plain lines every tenth.
    bool due = terminal ? since(start) - lastShown.load() >= 0.25
                        : totalSteps > 0 && static_cast<int>(std::min(10LL, done * 10 / totalSteps)) != lastTenth.load();
    if (!due) return;
    std::unique_lock<std::mutex> lock(printing, std::try_to_lock);
    if (lock.owns_lock()) show();
}

// Called with `printing` held.
void Progress::show()
{
    if (!out || times.empty() || !loud()) return;
    lastShown = since(start);
    const std::string& name = times.back().name;
    int percent = -1;
    if (totalSteps > 0)
        percent = static_cast<int>(std::min(100LL, doneSteps.load(std::memory_order_relaxed) * 100 / totalSteps));
    if (terminal) {
        std::fprintf(out, "\r%-24s", name.c_str());
        if (percent >= 0) std::fprintf(out, " %3d%%", percent);
        else std::fprintf(out, "     ");
        lineOpen = true;
    } else {
        // Plain lines: the stage once, then every tenth.
        int tenth = percent < 0 ? -1 : percent / 10;
        if (!announced || (percent >= 0 && tenth != lastTenth)) {
            if (percent >= 0) std::fprintf(out, "%s %d%%\n", name.c_str(), percent);
            else std::fprintf(out, "%s\n", name.c_str());
            announced = true;
            lastTenth = tenth;
        }
    }
    std::fflush(out);
}

void Progress::finish()
{
    std::lock_guard<std::mutex> lock(printing);
    if (!times.empty()) times.back().seconds = since(stageStart);
    if (!out || !loud()) return;
    if (lineOpen) std::fprintf(out, "\r%-30s\r", "");
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::fprintf(out, "%-24s %8s\n", "stage", "seconds");
    for (const StageTime& t : times) std::fprintf(out, "%-24s %8.2f\n", t.name.c_str(), t.seconds);
    std::fprintf(out, "%-24s %8.2f\npeak memory %.0f MB\n", "total", since(start), usage.ru_maxrss / 1024.0);
    std::fflush(out);
}

} // namespace mapc
