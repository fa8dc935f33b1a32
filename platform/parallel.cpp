#include "platform/parallel.h"

#include "platform/process.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace kormial {

namespace {

thread_local bool t_inJob = false;  // this thread is running items of a job
std::atomic<bool> g_forked{false};

// Marks the thread as running a job while it lives.
struct InJob {
    InJob() { t_inJob = true; }
    ~InJob() { t_inJob = false; }
    InJob(const InJob&) = delete;
    InJob& operator=(const InJob&) = delete;
};

class Pool {
public:
    Pool()
    {
        platform::onForkInChild([] { g_forked = true; });  // the pool is made once
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        // KORMIAL_THREADS caps the threads used (1: the calling thread alone)
        unsigned cap = 64;
        if (const char* given = std::getenv("KORMIAL_THREADS")) {
            const long n = std::strtol(given, nullptr, 10);
            cap = n >= 1 ? static_cast<unsigned>(std::min(n, 64L)) : cap;
        }
        computingHelpers_ = std::min(std::min(cores, cap) - 1, 3u);
        readingHelpers_ = std::max(std::min(kReaders, cap) - 1, computingHelpers_);
        for (unsigned t = 0; t < readingHelpers_; ++t) {
            threads_.emplace_back([this, t] { work(t); });
        }
    }
    ~Pool() = delete;
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    // A child forked from this process has none of the helper threads.
    std::size_t helpers(JobKind kind) const
    {
        return g_forked ? 0 : kind == JobKind::Reading ? readingHelpers_ : computingHelpers_;
    }

    void run(std::size_t count, const std::function<void(std::size_t)>& fn, const std::function<void()>& whileWaiting,
             JobKind kind)
    {
        const std::lock_guard one(running_);  // one job at a time
        {
            const std::lock_guard lock(mutex_);
            fn_ = &fn;
            count_ = count;
            next_.store(0);
            error_ = nullptr;
            wanted_ = std::min(helpers(kind), count - 1);
            busy_ = wanted_;
            ++generation_;
        }
        wake_.notify_all();
        take(fn, count, whileWaiting);
        std::unique_lock lock(mutex_);
        if (whileWaiting) {
            using namespace std::chrono_literals;
            // a system-clock deadline waits in pthread_cond_timedwait, which
            // every thread checker knows
            while (!done_.wait_until(lock, std::chrono::system_clock::now() + 5ms, [this] { return busy_ == 0; })) {
                lock.unlock();
                try {
                    whileWaiting();
                } catch (...) {
                    fail(std::current_exception(), count);
                }
                lock.lock();
            }
        } else {
            done_.wait(lock, [this] { return busy_ == 0; });
        }
        fn_ = nullptr;
        if (error_) {
            std::rethrow_exception(std::exchange(error_, nullptr));
        }
    }

private:
    void take(const std::function<void(std::size_t)>& fn, std::size_t count,
              const std::function<void()>& between = {})
    {
        const InJob marked;
        for (std::size_t k = next_.fetch_add(1); k < count; k = next_.fetch_add(1)) {
            try {
                fn(k);
                if (between) {
                    between();
                }
            } catch (...) {
                fail(std::current_exception(), count);
            }
        }
    }

    // Keeps the first exception of the job for its caller; the items not
    // yet begun are skipped.
    void fail(std::exception_ptr error, std::size_t count)
    {
        {
            const std::lock_guard lock(mutex_);
            if (!error_) {
                error_ = std::move(error);
            }
        }
        next_.store(count);
    }

    // Helper `index` takes part in the jobs that want that many helpers.
    void work(unsigned index)
    {
        std::uint64_t seen = 0;
        for (;;) {
            const std::function<void(std::size_t)>* fn = nullptr;
            std::size_t count = 0;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return generation_ != seen && index < wanted_; });
                seen = generation_;
                fn = fn_;
                count = count_;
            }
            take(*fn, count);
            {
                const std::lock_guard lock(mutex_);
                --busy_;
            }
            done_.notify_one();
        }
    }

    // Reads of files that are not in memory wait for the disk: this many
    // threads keep several in flight however few the cores.
    static constexpr unsigned kReaders = 6;

    std::vector<std::thread> threads_;
    unsigned computingHelpers_ = 0;
    unsigned readingHelpers_ = 0;
    std::mutex running_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    const std::function<void(std::size_t)>* fn_ = nullptr;
    std::size_t count_ = 0;
    std::atomic<std::size_t> next_{0};
    std::size_t wanted_ = 0;  // helpers that take part in the job
    std::size_t busy_ = 0;    // of them, those not yet done
    std::uint64_t generation_ = 0;
    std::exception_ptr error_;  // the job's first exception
};

Pool& pool()
{
    // never destroyed: the helpers wait until the process ends, and a child
    // forked from this process, which has none of them, never joins them
    static Pool* const p = new Pool;
    return *p;
}

}  // namespace

std::size_t parallelHelpers(JobKind kind)
{
    return pool().helpers(kind);
}

bool inParallelJob()
{
    return t_inJob;
}

void parallelFor(std::size_t count, const std::function<void(std::size_t)>& fn,
                 const std::function<void()>& whileWaiting, JobKind kind)
{
    // work handed out from within a job runs on the thread that has it
    if (count < 2 || t_inJob || parallelHelpers(kind) == 0) {
        for (std::size_t k = 0; k < count; ++k) {
            fn(k);
            if (whileWaiting) {
                whileWaiting();
            }
        }
        return;
    }
    pool().run(count, fn, whileWaiting, kind);
}

}  // namespace kormial
