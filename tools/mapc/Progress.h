#pragma once
// Stage and percentage lines of a long compile, and the closing table of
// time per stage and peak memory. Quiet for compiles shorter than a few
// seconds; one updating line on a terminal, plain lines otherwise.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace mapc {

class Progress {
public:
    // Nothing is printed before `quietSeconds` have passed.
    explicit Progress(FILE* out, double quietSeconds = 3.0);

    // Ends the stage before and starts the next; `total` steps make 100 %.
    void stage(const char* name, long long total = 0);
    // From any thread: `n` more steps of the current stage are done.
    void advance(long long n = 1);
    // Ends the last stage; prints the table when the compile was long.
    void finish();

    struct StageTime {
        std::string name;
        double seconds = 0;
    };
    const std::vector<StageTime>& stages() const { return times; }

private:
    using Clock = std::chrono::steady_clock;
    double since(Clock::time_point t) const { return std::chrono::duration<double>(Clock::now() - t).count(); }
    bool loud() const { return since(start) >= quiet; }
    void show();

    FILE* out;
    double quiet;
    bool terminal;
    Clock::time_point start, stageStart;
    std::atomic<double> lastShown{0.0};  // seconds since start
    std::vector<StageTime> times;
    std::atomic<long long> doneSteps{0};
    long long totalSteps = 0;
    std::atomic<int> lastTenth{-1};
    bool lineOpen = false;
    bool announced = false;  // the current stage's name was printed
    std::mutex printing;
};

} // namespace mapc
