#include "tests/instruments/host.h"

#include <cstring>
#include <type_traits>

namespace testhost {

std::atomic<bool> Host::recording_{false};

namespace {

// An argument as the log keeps it: a word, or the floating-point value.
template <typename T>
void note(T v, std::uint64_t* words, std::size_t& n, double& value) {
  if constexpr (std::is_floating_point_v<T>)
    value = v;
  else if constexpr (std::is_pointer_v<T>)
    words[n++] = reinterpret_cast<std::uintptr_t>(v);
  else
    words[n++] = static_cast<std::uint64_t>(static_cast<std::int64_t>(v));
}

template <typename... A>
void record(mcn::Service s, A... args) {
  if (!Host::recording()) return;
  std::uint64_t words[5] = {};
  std::size_t n = 0;
  double value = 0.0;
  (note(args, words, n, value), ...);
  Host::instrumented().log(s, {words[0], words[1], words[2], words[3], words[4]}, value);
}

// Each service, logged and then served by the runtime's own routine.
#define MCN_ARGUMENTS(...) __VA_ARGS__
#define MCN_LOGGED_ROUTINE(name, vector, slot, result, params, args)       \
  result logged_##name MCN_WITH_SERVICE_ID params {                        \
    record(mcn::service::name, MCN_ARGUMENTS args);                        \
    return dmcore::services::name(MCN_ARGUMENTS args, service_identifier); \
  }
MCN_SERVICES(MCN_LOGGED_ROUTINE)
#undef MCN_LOGGED_ROUTINE
#undef MCN_ARGUMENTS

}  // namespace

Host::Host() {
#define MCN_INSTALL_LOGGED(name, ...) install(mcn::service::name, dmcore::routine(logged_##name));
  MCN_SERVICES(MCN_INSTALL_LOGGED)
#undef MCN_INSTALL_LOGGED
}

Host::~Host() { recording_.store(false); }

void* Host::allocate(std::uint64_t size, std::int32_t flags) {
  if (fail_allocations_.load()) return nullptr;
  void* memory = Runtime::allocate(size, flags);
  if (memory == nullptr) return nullptr;
  std::memset(memory, kFreshByte, size);
  std::lock_guard<std::mutex> lock(mutex_);
  allocations_.push_back({memory, size, flags});
  return memory;
}

std::vector<Allocation> Host::allocations() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return allocations_;
}

std::size_t Host::allocation_count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return allocations_.size();
}

void Host::log(mcn::Service s, std::initializer_list<std::uint64_t> words, double value) {
  // The flag byte is read and re-armed atomically: stubs clear it on any thread.
  ServiceCall call{
      mcn::service_id(s), __atomic_exchange_n(flag(s), kFlagArmed, __ATOMIC_RELAXED), {}, value};
  std::size_t i = 0;
  for (std::uint64_t w : words) call.words[i++] = w;
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back(call);
}

std::vector<ServiceCall> Host::calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

void Host::clear_calls() {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.clear();
}

}  // namespace testhost
