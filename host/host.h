// The reference host: a stand-in for the host runtime that loads and drives
// the modules. It builds a global control block with the service vectors, flag
// area, allocator, text-flag chain, translation tables and TK handle that the
// modules read, and lets tests watch and steer every service.
//
// One Host is live per process at a time; its services find it through a
// process-wide pointer, as a real runtime's services find their own state.
#ifndef REFHOST_HOST_H
#define REFHOST_HOST_H

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "frame/abi.h"

namespace refhost {

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
  std::array<std::uint8_t, 256> flags_{};
  std::array<std::array<mcn::ServiceRoutine, 400>, 4> vector_storage_{};
  std::array<const mcn::ServiceRoutine*, 165> vectors_{};
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
