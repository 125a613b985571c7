#include "core/runtime.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/calendar.h"

namespace dmcore {

std::atomic<Runtime*> Runtime::active_{nullptr};

namespace {

using mcn::Service;

// A service reached with the wrong identifier was reached through the wrong
// slot or stub: a protocol fault that no host can carry on from.
void check_id(Service s, std::uint64_t id) {
  if (id != mcn::service_id(s)) {
    std::fprintf(stderr, "dmcore: service %u/%u called with identifier %#llx\n", s.vector, s.slot,
                 static_cast<unsigned long long>(id));
    std::abort();
  }
}

unsigned char ascii_upper(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }
unsigned char ascii_lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

// Case services work on ASCII letters only, so multi-byte (UTF-8) text keeps
// its other bytes.
template <unsigned char (*Map)(unsigned char)>
std::int32_t change_case(Service s, char* text, std::int32_t length, std::uint64_t id) {
  check_id(s, id);
  for (std::int32_t i = 0; i < length; ++i)
    text[i] = static_cast<char>(Map(static_cast<unsigned char>(text[i])));
  return 0;
}

// Multi-byte translations 0 and 1: the single-byte tables for ASCII, other
// bytes (parts of multi-byte characters) copied as they are.
std::int32_t multibyte_translate(Service s, int table, const char* src, std::int32_t srclen,
                                 char* dst, std::int32_t dstlen, std::uint64_t id) {
  check_id(s, id);
  const unsigned char* map = Runtime::active()->table(table);
  const std::int32_t n = srclen < dstlen ? srclen : dstlen;
  for (std::int32_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(src[i]);
    dst[i] = static_cast<char>(c < 0x80 ? map[c] : c);
  }
  return 0;
}

// The date value rounded down, without a library call: this runs twice per evaluation.
double floor_day(double date) {
  constexpr double kWhole = 4503599627370496.0;  // 2^52: from here on every double is whole
  if (!(date > -kWhole && date < kWhole)) return date;
  const double t = static_cast<double>(static_cast<std::int64_t>(date));
  return t > date ? t - 1.0 : t;
}

void* allocate_routine(mcn::HostAllocator*, std::uint64_t size, std::int32_t flags) {
  return Runtime::active()->allocate(size, flags);
}

}  // namespace

namespace services {

std::int32_t wzstrlo(char* text, std::int32_t length, std::uint64_t id) {
  return change_case<ascii_lower>(mcn::service::wzstrlo, text, length, id);
}

std::int32_t wzstrup(char* text, std::int32_t length, std::uint64_t id) {
  return change_case<ascii_upper>(mcn::service::wzstrup, text, length, id);
}

std::int32_t wzsxcch(const char* src, std::int32_t srclen, char* dst, std::int32_t dstlen,
                     std::int32_t, std::uint64_t id) {
  return multibyte_translate(mcn::service::wzsxcch, 0, src, srclen, dst, dstlen, id);
}

std::int32_t wzsxrch(const char* src, std::int32_t srclen, char* dst, std::int32_t dstlen,
                     std::int32_t, std::uint64_t id) {
  return multibyte_translate(mcn::service::wzsxrch, 1, src, srclen, dst, dstlen, id);
}

void xexit(std::int32_t code, std::int32_t arg, std::uint64_t id) {
  check_id(mcn::service::xexit, id);
  Runtime::active()->exit_requested(code, arg);
}

// zjuldat hands back the day that holds the moment: the date value rounded down.
double zjuldat(double date, std::uint64_t id) {
  check_id(mcn::service::zjuldat, id);
  return floor_day(date);
}

std::int32_t zymdjul(double day, double* year, double* month, double* mday, std::uint64_t id) {
  check_id(mcn::service::zymdjul, id);
  if (!(std::fabs(day) < kDayLimit)) {  // not a day this calendar can name
    *year = *month = *mday = std::nan("");
    return 1;
  }
  const Civil c = civil_from_days(static_cast<std::int64_t>(day));
  *year = static_cast<double>(c.year);
  *month = c.month;
  *mday = c.day;
  return 0;
}

}  // namespace services

Runtime::Runtime() {
  Runtime* expected = nullptr;
  if (!active_.compare_exchange_strong(expected, this)) {
    std::fprintf(stderr, "dmcore: only one host runtime may be live at a time\n");
    std::abort();
  }
  for (const mcn::ServiceEntry& e : mcn::kServices)
    vectors_[e.service.vector] = vector_storage_[vector_index(e.service.vector)].data();
#define MCN_INSTALL_ROUTINE(name, ...) install(mcn::service::name, routine(services::name));
  MCN_SERVICES(MCN_INSTALL_ROUTINE)
#undef MCN_INSTALL_ROUTINE

  // Table 0: identity. 1: control bytes become blanks. 2: upper-case ASCII.
  // 3: lower-case ASCII. 4: ASCII case swapped.
  for (int b = 0; b < 256; ++b) {
    const auto c = static_cast<unsigned char>(b);
    tables_[0][b] = c;
    tables_[1][b] = c < 0x20 || c == 0x7F ? ' ' : c;
    tables_[2][b] = ascii_upper(c);
    tables_[3][b] = ascii_lower(c);
    tables_[4][b] = ascii_upper(c) != c ? ascii_upper(c) : ascii_lower(c);
  }
  table_slots_[0] = tables_[0].data();
  table_slots_[1] = tables_[0].data();
  for (int n = 0; n < mcn::kTranslationTableCount; ++n)
    table_slots_[mcn::kTranslationFirstSlot + n] = tables_[n].data();

  allocator_.allocate = allocate_routine;
  text_record_.flags = &text_flags_;
  arm_flags();

  gcb_.vectors = vectors_.data();
  gcb_.flags = flags_.data();
  gcb_.allocator = &allocator_;
  gcb_.text_record = &text_record_;
  gcb_.translation_tables = table_slots_.data();
  gcb_.tk_handle = kTkHandle;
}

Runtime::~Runtime() {
  for (void* m : memory_) std::free(m);
  active_.store(nullptr);
}

void Runtime::install(mcn::Service s, mcn::ServiceRoutine r) {
  vector_storage_[vector_index(s.vector)][s.slot] = r;
}

void* Runtime::allocate(std::uint64_t size, std::int32_t) {
  // Called from a module, which has no way to take an exception: none leaves.
  void* memory = std::malloc(size == 0 ? 1 : size);
  if (memory != nullptr) {
    std::lock_guard<std::mutex> lock(mutex_);
    try {
      memory_.push_back(memory);
      return memory;
    } catch (...) {  // no room to keep it
      std::free(memory);
    }
  }
  refused_.fetch_add(1, std::memory_order_relaxed);
  return nullptr;
}

void Runtime::arm_flags() {
  for (std::uint8_t& f : flags_) __atomic_store_n(&f, kFlagArmed, __ATOMIC_RELAXED);
}

void Runtime::exit_requested(std::int32_t code, std::int32_t arg) {
  if (xexit_handler_) xexit_handler_(code, arg);
}

}  // namespace dmcore
