// The host services that modules call, one line each: name, service vector,
// slot, result type, parameters, and the parameters' names. Everything about a
// service follows from its line: the Service constants and the service table
// of the binary interface, the module's stubs under both of their names, the
// modules' export lists, the reference host's slots and the tests.
//
// The host receives each service's parameters and, after them, the service
// identifier vector * 2^32 + slot as one more 64-bit integer.
//
// This file holds nothing but the list, so that the export lists can be made
// from it by the preprocessor alone.
#ifndef MCN_FRAME_SERVICES_H
#define MCN_FRAME_SERVICES_H

// clang-format off
#define MCN_SERVICES(X)                                                                           \
  /* lower-cases a text in place */                                                               \
  X(wzstrlo, 0, 330, std::int32_t, (char* text, std::int32_t length), (text, length))             \
  /* upper-cases a text in place */                                                               \
  X(wzstrup, 0, 331, std::int32_t, (char* text, std::int32_t length), (text, length))             \
  /* writes translation 0 of multi-byte text */                                                   \
  X(wzsxcch, 4, 7, std::int32_t,                                                                  \
    (const char* src, std::int32_t srclen, char* dst, std::int32_t dstlen, std::int32_t mode),    \
    (src, srclen, dst, dstlen, mode))                                                             \
  /* writes translation 1 of multi-byte text */                                                   \
  X(wzsxrch, 4, 39, std::int32_t,                                                                 \
    (const char* src, std::int32_t srclen, char* dst, std::int32_t dstlen, std::int32_t mode),    \
    (src, srclen, dst, dstlen, mode))                                                             \
  /* ends processing */                                                                           \
  X(xexit, 39, 4, void, (std::int32_t code, std::int32_t arg), (code, arg))                       \
  /* a date value to an opaque day */                                                             \
  X(zjuldat, 164, 9, double, (double date), (date))                                               \
  /* an opaque day to year, month and day */                                                      \
  X(zymdjul, 164, 21, std::int32_t, (double day, double* year, double* month, double* mday),      \
    (day, year, month, mday))
// clang-format on

// A service's parameter list with the service identifier appended: the
// parameters of the host routine in its slot.
#define MCN_WITH_SERVICE_ID(...) (__VA_ARGS__, std::uint64_t service_identifier)

#endif  // MCN_FRAME_SERVICES_H
