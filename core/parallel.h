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
#include <functional>

namespace dmcore {

// Elements per chunk, and the fewest elements that are split at all.
constexpr std::size_t kChunkElements = 16384;
constexpr std::size_t kParallelElements = 2 * kChunkElements;

// Calls body(begin, end) for consecutive ranges that cover [0, n), each once,
// from the pool's threads and the calling thread when n is large, else from
// the calling thread alone. Returns when all have returned. `body` must not
// throw.
void for_each_chunk(std::size_t n, const std::function<void(std::size_t, std::size_t)>& body);

// The threads that take part in a large array, the calling thread among them.
unsigned pool_threads();

}  // namespace dmcore

#endif  // DMCORE_PARALLEL_H
