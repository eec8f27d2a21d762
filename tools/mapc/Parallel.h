#pragma once
// Running independent pieces of a compiler pass on several threads.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <new>
#include <thread>
#include <vector>

namespace mapc {

// Runs work(i, worker) for every i below count on `threads` threads (the
// calling one included, worker 0); each index is taken once, in rising
// order per thread. The worker's number lets it keep its own scratch memory.
// Running out of memory on any thread stops them all and is thrown again
// in the caller, so the tool can say so instead of aborting.
template <typename Work>
void forEachIndexOnWorker(size_t count, int threads, Work work)
{
    std::atomic<size_t> next{0};
    std::atomic<bool> outOfMemory{false};
    auto loop = [&](int worker) {
        try {
            for (size_t i; (i = next.fetch_add(1)) < count;) work(i, worker);
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
            next = count;
        }
    };
    int helpers = std::max(0, std::min(threads, static_cast<int>(count)) - 1);
    std::vector<std::thread> pool;
    for (int t = 0; t < helpers; ++t) pool.emplace_back(loop, t + 1);
    loop(0);
    for (std::thread& t : pool) t.join();
    if (outOfMemory) throw std::bad_alloc();
}

// The same without the worker's number.
template <typename Work>
void forEachIndex(size_t count, int threads, Work work)
{
    forEachIndexOnWorker(count, threads, [&](size_t i, int) { work(i); });
}

// Threads to use when none are asked for: every core.
inline int defaultThreads()
{
    unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(std::min(n, 64u));
}

} // namespace mapc
