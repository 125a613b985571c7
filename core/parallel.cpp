#include "core/parallel.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>
#include <thread>

namespace dmcore {
namespace {

constexpr unsigned kMaxThreads = 256;

// DATEMODULES_THREADS when it is a count, else the CPUs the process may run on.
unsigned wanted_threads() {
  if (const char* v = std::getenv("DATEMODULES_THREADS"); v != nullptr && *v != '\0') {
    char* end = nullptr;
    const long n = std::strtol(v, &end, 10);
    if (*end == '\0' && n >= 1) return static_cast<unsigned>(std::min<long>(n, kMaxThreads));
  }
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) >= 1)
    return std::min(static_cast<unsigned>(CPU_COUNT(&set)), kMaxThreads);
  return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxThreads);
}

// Threads that wait for the chunks of one array at a time. It lives as long
// as the process (its threads are never joined), and belongs to the process
// that made it: a child of fork makes its own.
class Pool {
 public:
  explicit Pool(unsigned threads) : pid_(getpid()) {
    for (unsigned i = 1; i < threads; ++i) {
      try {
        std::thread(&Pool::work, this).detach();
      } catch (...) {  // no more threads: the pool is smaller
        break;
      }
      std::lock_guard<std::mutex> lock(mutex_);
      ++workers_;
    }
  }

  pid_t pid() const { return pid_; }

  // Runs body over the chunks of [0, n) on the workers and the calling
  // thread; false, having run nothing, when another caller has the pool or it
  // has no workers.
  bool run(std::size_t n, ChunkBody body, void* context) {
    std::unique_lock<std::mutex> caller(caller_, std::try_to_lock);
    if (!caller.owns_lock()) return false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (workers_ == 0) return false;
      body_ = body;
      context_ = context;
      n_ = n;
      chunks_ = (n + kChunkElements - 1) / kChunkElements;
      next_.store(0, std::memory_order_relaxed);
      finished_ = 0;
      ++generation_;
    }
    wake_.notify_all();
    take();
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return finished_ == workers_; });
    body_ = nullptr;
    return true;
  }

 private:
  void take() {
    for (std::size_t i; (i = next_.fetch_add(1, std::memory_order_relaxed)) < chunks_;)
      body_(context_, i * kChunkElements, std::min(n_, (i + 1) * kChunkElements));
  }

  void work() {
    std::uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return generation_ != seen; });
      seen = generation_;
      lock.unlock();
      take();
      lock.lock();
      if (++finished_ == workers_) done_.notify_one();
    }
  }

  const pid_t pid_;
  std::mutex caller_;  // one array at a time
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  unsigned workers_ = 0;
  unsigned finished_ = 0;
  std::uint64_t generation_ = 0;
  ChunkBody body_ = nullptr;
  void* context_ = nullptr;
  std::size_t n_ = 0;
  std::size_t chunks_ = 0;
  std::atomic<std::size_t> next_{0};
};

std::mutex making;
std::atomic<Pool*> current{nullptr};

// The pool of this process, made on first need; null when there is no room.
Pool* pool() {
  Pool* p = current.load(std::memory_order_acquire);
  if (p != nullptr && p->pid() == getpid()) return p;
  std::lock_guard<std::mutex> lock(making);
  p = current.load(std::memory_order_acquire);
  if (p == nullptr || p->pid() != getpid()) {
    // A parent's pool stays as it is: its threads are not in this process.
    p = new (std::nothrow) Pool(wanted_threads());
    if (p == nullptr) return nullptr;
    current.store(p, std::memory_order_release);
  }
  return p;
}

}  // namespace

void for_each_chunk(std::size_t n, ChunkBody body, void* context) noexcept {
  if (n >= kParallelElements) {
    Pool* p = nullptr;
    try {
      p = pool();
    } catch (...) {  // no pool: the calling thread does it all
    }
    if (p != nullptr && p->run(n, body, context)) return;
  }
  body(context, 0, n);
}

}  // namespace dmcore
