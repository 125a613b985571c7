// The reference host: a stand-in for the host runtime that loads and drives
// the modules. It builds a global control block with the service vectors, flag
// area, allocator, text-flag chain, translation tables and TK handle that the
// modules read, and lets tests watch and steer every service.
//
// One Host is live per process at a time; its services find it through a
// process-wide pointer, as a real runtime's services find their own state.
#ifndef REFHOST_HOST_H
#define REFHOST_HOST_H

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <iterator>
#include <mutex>
#include <vector>

#include "frame/abi.h"

namespace refhost {

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

class Host {
 public:
  // Fresh allocations are filled with this byte, so what a module leaves
  // untouched can be told apart.
  static constexpr unsigned char kFreshByte = 0xA5;
  static constexpr std::uint64_t kTkHandle = 0x544B48414E444C45u;  // "ELDNAHKT"
  static constexpr std::uint8_t kFlagArmed = 1;

  Host();
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // What mcn_main receives.
  void* gcb() { return &gcb_; }
  void* pidb() { return &pidb_; }

  // The text-flag chain: record B present or not, and its multi-byte flag.
  void set_multibyte(bool on) { text_flags_.multibyte = on ? 1 : 0; }
  void set_record_b(bool present) { text_record_.flags = present ? &text_flags_ : nullptr; }

  // The allocator: it can be made to fail; every grant is kept and released
  // when the host ends.
  void fail_allocations(bool fail) { fail_allocations_.store(fail); }
  std::vector<Allocation> allocations() const;
  std::size_t allocation_count() const;

  // The service log, off by default.
  void record_calls(bool on) { recording_.store(on, std::memory_order_relaxed); }
  std::vector<ServiceCall> calls() const;
  void clear_calls();
  void arm_flags();

  // What xexit does: by default it returns to the caller after being logged.
  void on_xexit(std::function<void(std::int32_t code, std::int32_t arg)> handler) {
    xexit_handler_ = std::move(handler);
  }

  // The translation table of table number n (0..4).
  const unsigned char* table(int n) const { return tables_[n].data(); }

  // Used by the service routines.
  static Host* active() { return active_.load(std::memory_order_acquire); }
  void log(mcn::Service s, std::initializer_list<std::uint64_t> words, double value = 0.0);
  // One load on the evaluation path: the flag lives beside the active host.
  static bool recording() { return recording_.load(std::memory_order_relaxed); }
  void* allocate(std::uint64_t size, std::int32_t flags);
  void exit_requested(std::int32_t code, std::int32_t arg);

 private:
  static std::atomic<Host*> active_;
  static std::atomic<bool> recording_;

  mcn::Gcb gcb_{};
  std::uint64_t pidb_ = 0x50494442u;  // "PIDB"
  std::array<std::uint8_t, kVectorTableLength> flags_{};
  // Storage for the service vectors that the service list uses, each as long
  // as the highest slot of the list needs, and the vector table and flag area.
  std::array<std::array<mcn::ServiceRoutine, kSlots>, kVectorCount> vector_storage_{};
  std::array<const mcn::ServiceRoutine*, kVectorTableLength> vectors_{};
  mcn::HostAllocator allocator_{};
  mcn::HostTextFlags text_flags_{};
  mcn::HostTextRecord text_record_{};
  std::array<std::array<unsigned char, 256>, 5> tables_{};
  std::array<const unsigned char*, mcn::kTranslationFirstSlot + mcn::kTranslationTableCount>
      table_slots_{};

  std::atomic<bool> fail_allocations_{false};
  mutable std::mutex mutex_;
  std::vector<Allocation> allocations_;
  std::vector<ServiceCall> calls_;
  std::function<void(std::int32_t, std::int32_t)> xexit_handler_;
};

}  // namespace refhost

#endif  // REFHOST_HOST_H
