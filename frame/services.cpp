// Host service stubs. Each one clears the flag byte of its service vector and
// passes control to the host routine in its slot, handing over its arguments
// unchanged and its service identifier as one extra trailing argument.
#include "frame/frame.h"

namespace {

using mcn::Service;

template <typename R, typename... A>
inline R call_service(Service s, A... args) {
  const mcn::Gcb* g = mcn::gcb();
  // Several host threads may run stubs at once: relaxed atomics are the plain
  // byte load and store, free of data races. The byte is stored only when it
  // is not clear already, so that threads evaluating at once on other cores
  // only read its cache line, instead of taking it from each other at every
  // call.
  std::uint8_t* flag = &g->flags[s.vector];
  if (__atomic_load_n(flag, __ATOMIC_RELAXED) != 0)
    __atomic_store_n(flag, std::uint8_t{0}, __ATOMIC_RELAXED);
  const auto routine = reinterpret_cast<R (*)(A..., std::uint64_t)>(g->vectors[s.vector][s.slot]);
  return routine(args..., mcn::service_id(s));
}

}  // namespace

// Each service's stub, and the same stub under the name that carries its
// vector and slot (_zjuldat_164_9).
#define MCN_ARGUMENTS(...) __VA_ARGS__
#define MCN_SERVICE_STUB(name, vector, slot, result, params, args)       \
  extern "C" result name params {                                        \
    return call_service<result>(mcn::service::name, MCN_ARGUMENTS args); \
  }                                                                      \
  extern "C" MCN_EXPORT result _##name##_##vector##_##slot params __attribute__((alias(#name)));
MCN_SERVICES(MCN_SERVICE_STUB)
#undef MCN_SERVICE_STUB
#undef MCN_ARGUMENTS
