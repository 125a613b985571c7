// Work over large arrays on every core the process may use: a pool of
// threads that starts once, on first need, and takes chunks of an array
// beside the calling thread. Small arrays, a pool of one thread and a pool
// busy with another caller's array stay on the calling thread, so that the
// results and the order of the work within a chunk never depend on the pool.
//
// The pool has as many threads as the process may run on (its CPU affinity),
// or DATEMODULES_THREADS (1: no threads). A thread that cannot be started
// leaves the pool smaller; a child of fork starts its own pool.
#ifndef DMCORE_PARALLEL_H
#define DMCORE_PARALLEL_H

#include <cstddef>
#include <type_traits>

namespace dmcore {

// Elements per chunk, and the fewest elements that are split at all.
constexpr std::size_t kChunkElements = 16384;
constexpr std::size_t kParallelElements = 2 * kChunkElements;

// Calls body(context, begin, end) for consecutive ranges that cover [0, n),
// each once, from the pool's threads and the calling thread when n is large,
// else from the calling thread alone. Returns when all have returned. Nothing
// here allocates on the way to a body, so that an array call can neither
// throw nor fail for want of memory; `body` must not throw.
using ChunkBody = void (*)(void* context, std::size_t begin, std::size_t end);
void for_each_chunk(std::size_t n, ChunkBody body, void* context) noexcept;

// The same for a callable f(begin, end).
template <typename F>
void for_each_chunk(std::size_t n, F&& f) noexcept {
  using Body = std::remove_reference_t<F>;
  for_each_chunk(
      n, [](void* c, std::size_t begin, std::size_t end) { (*static_cast<Body*>(c))(begin, end); },
      const_cast<void*>(static_cast<const void*>(&f)));
}

}  // namespace dmcore

#endif  // DMCORE_PARALLEL_H
