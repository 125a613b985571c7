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

extern "C" {

std::int32_t wzstrlo(char* text, std::int32_t length) {
  return call_service<std::int32_t>(mcn::kWzstrlo, text, length);
}

std::int32_t wzstrup(char* text, std::int32_t length) {
  return call_service<std::int32_t>(mcn::kWzstrup, text, length);
}

std::int32_t wzsxcch(const char* src, std::int32_t srclen, char* dst, std::int32_t dstlen,
                     std::int32_t mode) {
  return call_service<std::int32_t>(mcn::kWzsxcch, src, srclen, dst, dstlen, mode);
}

std::int32_t wzsxrch(const char* src, std::int32_t srclen, char* dst, std::int32_t dstlen,
                     std::int32_t mode) {
  return call_service<std::int32_t>(mcn::kWzsxrch, src, srclen, dst, dstlen, mode);
}

void xexit(std::int32_t code, std::int32_t arg) { call_service<void>(mcn::kXexit, code, arg); }

double zjuldat(double date) { return call_service<double>(mcn::kZjuldat, date); }

std::int32_t zymdjul(double day, double* year, double* month, double* mday) {
  return call_service<std::int32_t>(mcn::kZymdjul, day, year, month, mday);
}

// The same stubs under the names that carry their vector and slot.
MCN_EXPORT std::int32_t _wzstrlo_0_330(char*, std::int32_t) __attribute__((alias("wzstrlo")));
MCN_EXPORT std::int32_t _wzstrup_0_331(char*, std::int32_t) __attribute__((alias("wzstrup")));
MCN_EXPORT std::int32_t _wzsxcch_4_7(const char*, std::int32_t, char*, std::int32_t, std::int32_t)
    __attribute__((alias("wzsxcch")));
MCN_EXPORT std::int32_t _wzsxrch_4_39(const char*, std::int32_t, char*, std::int32_t, std::int32_t)
    __attribute__((alias("wzsxrch")));
MCN_EXPORT void _xexit_39_4(std::int32_t, std::int32_t) __attribute__((alias("xexit")));
MCN_EXPORT double _zjuldat_164_9(double) __attribute__((alias("zjuldat")));
MCN_EXPORT std::int32_t _zymdjul_164_21(double, double*, double*, double*)
    __attribute__((alias("zymdjul")));

}  // extern "C"
