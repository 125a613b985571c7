// Host service stubs. Each one clears the flag byte of its service vector and
// passes control to the host routine in its slot, handing over its arguments
// unchanged and its service identifier as one extra trailing argument.
#include "frame/frame.h"

namespace {

using mcn::Service;

template <typename R, typename... A>
inline R call_service(Service s, A... args) {
  const mcn::Gcb* g = mcn::gcb();
  // Several host threads may run stubs at once; a relaxed atomic store is the
  // plain byte store, free of data races.
  __atomic_store_n(&g->flags[s.vector], std::uint8_t{0}, __ATOMIC_RELAXED);
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
