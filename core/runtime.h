// The host runtime that any embedder of the modules needs: a global control
// block with the service vectors, flag area, allocator, text-flag chain,
// translation tables and TK handle that the modules read, and the services
// themselves. Nothing here watches or steers the modules: the test host
// (tests/instruments/host.h) adds that on top, in routines of its own, so that the
// runtime's evaluation path carries none of it.
//
// One Runtime is live per process at a time; its services find it through a
// process-wide pointer, as a real runtime's services find their own state.
// Evaluations may run on any number of threads at once.
#ifndef DMCORE_RUNTIME_H
#define DMCORE_RUNTIME_H

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <iterator>
#include <mutex>
#include <vector>

#include "frame/abi.h"

namespace dmcore {

// The service vectors that the service list uses, numbered from 0 in the
// order of their first service; a vector that the list does not use gets the
// number past the last.
constexpr std::size_t vector_index(std::uint32_t vector) {
  std::size_t index = 0;
  for (std::size_t i = 0; i < std::size(mcn::kServices); ++i) {
    const std::uint32_t v = mcn::kServices[i].service.vector;
    if (v == vector) return index;
    bool seen = false;
    for (std::size_t j = 0; j < i; ++j) seen |= mcn::kServices[j].service.vector == v;
    index += !seen;
  }
  return index;
}
constexpr std::size_t kVectorCount = vector_index(~std::uint32_t{0});
// One past the highest slot and the highest vector number of the list.
constexpr std::uint32_t kSlots = [] {
  std::uint32_t n = 0;
  for (const mcn::ServiceEntry& e : mcn::kServices) n = std::max(n, e.service.slot + 1);
  return n;
}();
constexpr std::uint32_t kVectorTableLength = [] {
  std::uint32_t n = 0;
  for (const mcn::ServiceEntry& e : mcn::kServices) n = std::max(n, e.service.vector + 1);
  return n;
}();

// The runtime's service routines, one per line of the service list, each of
// the type its line gives with the service identifier appended.
namespace services {
#define MCN_SERVICE_ROUTINE(name, vector, slot, result, params, args) \
  result name MCN_WITH_SERVICE_ID params;
MCN_SERVICES(MCN_SERVICE_ROUTINE)
#undef MCN_SERVICE_ROUTINE
}  // namespace services

class Runtime {
 public:
  static constexpr std::uint64_t kTkHandle = 0x544B48414E444C45u;  // "ELDNAHKT"
  static constexpr std::uint8_t kFlagArmed = 1;

  Runtime();
  virtual ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  // What mcn_main receives.
  void* gcb() { return &gcb_; }
  void* pidb() { return &pidb_; }

  // The text-flag chain: record B present or not, and its multi-byte flag.
  void set_multibyte(bool on) { text_flags_.multibyte = on ? 1 : 0; }
  void set_record_b(bool present) { text_record_.flags = present ? &text_flags_ : nullptr; }

  // What xexit does: by default it returns to the caller.
  void on_xexit(std::function<void(std::int32_t code, std::int32_t arg)> handler) {
    xexit_handler_ = std::move(handler);
  }

  // The translation table of table number n (0..4).
  const unsigned char* table(int n) const { return tables_[n].data(); }

  // Sets every flag byte of the flag area.
  void arm_flags();

  // Used by the service routines.
  static Runtime* active() { return active_.load(std::memory_order_acquire); }
  // Memory for a module: kept, and released when the runtime ends.
  virtual void* allocate(std::uint64_t size, std::int32_t flags);
  // How many requests for memory found none, since the runtime began.
  std::uint64_t refused_allocations() const { return refused_.load(std::memory_order_relaxed); }
  void exit_requested(std::int32_t code, std::int32_t arg);

 protected:
  // Puts a routine into a service's slot.
  void install(mcn::Service s, mcn::ServiceRoutine routine);
  std::uint8_t* flag(mcn::Service s) { return &flags_[s.vector]; }

 private:
  static std::atomic<Runtime*> active_;

  mcn::Gcb gcb_{};
  std::uint64_t pidb_ = 0x50494442u;  // "PIDB"
  // Storage for the service vectors that the service list uses, each as long
  // as the highest slot of the list needs, and the vector table and flag area.
  std::array<std::array<mcn::ServiceRoutine, kSlots>, kVectorCount> vector_storage_{};
  std::array<const mcn::ServiceRoutine*, kVectorTableLength> vectors_{};
  std::array<std::uint8_t, kVectorTableLength> flags_{};
  mcn::HostAllocator allocator_{};
  mcn::HostTextFlags text_flags_{};
  mcn::HostTextRecord text_record_{};
  std::array<std::array<unsigned char, 256>, 5> tables_{};
  std::array<const unsigned char*, mcn::kTranslationFirstSlot + mcn::kTranslationTableCount>
      table_slots_{};

  mutable std::mutex mutex_;
  std::vector<void*> memory_;
  std::atomic<std::uint64_t> refused_{0};
  std::function<void(std::int32_t, std::int32_t)> xexit_handler_;
};

// A service routine as a vector stores it.
template <typename F>
mcn::ServiceRoutine routine(F* f) {
  return reinterpret_cast<mcn::ServiceRoutine>(f);
}

}  // namespace dmcore

#endif  // DMCORE_RUNTIME_H
