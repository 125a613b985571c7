// The test host: the host runtime with instruments for tests. It logs every
// service call with its arguments and the flag byte seen on entry, can make
// the allocator fail, and fills fresh memory with a known byte so that what a
// module leaves untouched can be told apart. Its instrumented routines take
// the place of the runtime's in the service vectors; the runtime itself
// carries none of this.
#ifndef TESTHOST_HOST_H
#define TESTHOST_HOST_H

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <vector>

#include "core/runtime.h"

namespace testhost {

// One call of a host service, as the host saw it.
struct ServiceCall {
  std::uint64_t id;        // service identifier handed over by the stub
  std::uint8_t flag_seen;  // the vector's flag byte when the service began
  std::uint64_t words[5];  // integer and pointer arguments, in order
  double value;            // the floating-point argument, if any
};

struct Allocation {
  void* memory;
  std::uint64_t size;
  std::int32_t flags;
};

class Host : public dmcore::Runtime {
 public:
  // Fresh allocations are filled with this byte, so what a module leaves
  // untouched can be told apart.
  static constexpr unsigned char kFreshByte = 0xA5;

  Host();
  ~Host() override;

  // The allocator: it can be made to fail; every grant is kept.
  void fail_allocations(bool fail) { fail_allocations_.store(fail); }
  std::vector<Allocation> allocations() const;
  std::size_t allocation_count() const;
  void* allocate(std::uint64_t size, std::int32_t flags) override;

  // The service log, off by default.
  void record_calls(bool on) { recording_.store(on, std::memory_order_relaxed); }
  std::vector<ServiceCall> calls() const;
  void clear_calls();

  // Used by the instrumented service routines.
  static Host& instrumented() { return *static_cast<Host*>(Runtime::active()); }
  static bool recording() { return recording_.load(std::memory_order_relaxed); }
  void log(mcn::Service s, std::initializer_list<std::uint64_t> words, double value);

 private:
  static std::atomic<bool> recording_;

  std::atomic<bool> fail_allocations_{false};
  mutable std::mutex mutex_;
  std::vector<Allocation> allocations_;
  std::vector<ServiceCall> calls_;
};

}  // namespace testhost

#endif  // TESTHOST_HOST_H
