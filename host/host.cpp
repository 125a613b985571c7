#include "host/host.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/calendar.h"

namespace refhost {

std::atomic<Host*> Host::active_{nullptr};
std::atomic<bool> Host::recording_{false};

namespace {

using mcn::Service;

// A service reached with the wrong identifier was reached through the wrong
// slot or stub: a protocol fault that no host can carry on from.
void check_id(Service s, std::uint64_t id) {
  if (id != mcn::service_id(s)) {
    std::fprintf(stderr, "refhost: service %u/%u called with identifier %#llx\n", s.vector, s.slot,
                 static_cast<unsigned long long>(id));
    std::abort();
  }
}

Host& host() { return *Host::active(); }

template <typename T>
std::uint64_t word(T v) {
  if constexpr (std::is_pointer_v<T>)
    return reinterpret_cast<std::uintptr_t>(v);
  else
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(v));
}

unsigned char ascii_upper(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }
unsigned char ascii_lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

// Case services work on ASCII letters only, so multi-byte (UTF-8) text keeps
// its other bytes.
template <unsigned char (*Map)(unsigned char)>
std::int32_t change_case(Service s, char* text, std::int32_t length, std::uint64_t id) {
  check_id(s, id);
  if (Host::recording()) host().log(s, {word(text), word(length)});
  for (std::int32_t i = 0; i < length; ++i)
    text[i] = static_cast<char>(Map(static_cast<unsigned char>(text[i])));
  return 0;
}

std::int32_t svc_wzstrlo(char* text, std::int32_t length, std::uint64_t id) {
  return change_case<ascii_lower>(mcn::service::wzstrlo, text, length, id);
}
std::int32_t svc_wzstrup(char* text, std::int32_t length, std::uint64_t id) {
  return change_case<ascii_upper>(mcn::service::wzstrup, text, length, id);
}

// Multi-byte translations 0 and 1: the single-byte tables for ASCII, other
// bytes (parts of multi-byte characters) copied as they are.
std::int32_t multibyte_translate(Service s, int table, const char* src, std::int32_t srclen,
                                 char* dst, std::int32_t dstlen, std::int32_t mode,
                                 std::uint64_t id) {
  check_id(s, id);
  if (Host::recording())
    host().log(s, {word(src), word(srclen), word(dst), word(dstlen), word(mode)});
  const unsigned char* map = host().table(table);
  const std::int32_t n = srclen < dstlen ? srclen : dstlen;
  for (std::int32_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(src[i]);
    dst[i] = static_cast<char>(c < 0x80 ? map[c] : c);
  }
  return 0;
}

std::int32_t svc_wzsxcch(const char* src, std::int32_t srclen, char* dst, std::int32_t dstlen,
                         std::int32_t mode, std::uint64_t id) {
  return multibyte_translate(mcn::service::wzsxcch, 0, src, srclen, dst, dstlen, mode, id);
}
std::int32_t svc_wzsxrch(const char* src, std::int32_t srclen, char* dst, std::int32_t dstlen,
                         std::int32_t mode, std::uint64_t id) {
  return multibyte_translate(mcn::service::wzsxrch, 1, src, srclen, dst, dstlen, mode, id);
}

void svc_xexit(std::int32_t code, std::int32_t arg, std::uint64_t id) {
  check_id(mcn::service::xexit, id);
  host().log(mcn::service::xexit, {word(code), word(arg)});
  host().exit_requested(code, arg);
}

// The date value rounded down, without a library call: this runs twice per evaluation.
double floor_day(double date) {
  constexpr double kWhole = 4503599627370496.0;  // 2^52: from here on every double is whole
  if (!(date > -kWhole && date < kWhole)) return date;
  const double t = static_cast<double>(static_cast<std::int64_t>(date));
  return t > date ? t - 1.0 : t;
}

// zjuldat hands back the day that holds the moment: the date value rounded down.
double svc_zjuldat(double date, std::uint64_t id) {
  check_id(mcn::service::zjuldat, id);
  if (Host::recording()) host().log(mcn::service::zjuldat, {}, date);
  return floor_day(date);
}

std::int32_t svc_zymdjul(double day, double* year, double* month, double* mday, std::uint64_t id) {
  check_id(mcn::service::zymdjul, id);
  if (Host::recording())
    host().log(mcn::service::zymdjul, {word(year), word(month), word(mday)}, day);
  if (!(std::fabs(day) < 1e12)) {  // not a day this calendar can name
    *year = *month = *mday = std::nan("");
    return 1;
  }
  const Civil c = civil_from_days(static_cast<std::int64_t>(day));
  *year = static_cast<double>(c.year);
  *month = c.month;
  *mday = c.day;
  return 0;
}

void* svc_allocate(mcn::HostAllocator* self, std::uint64_t size, std::int32_t flags) {
  (void)self;
  return host().allocate(size, flags);
}

// Every service of the list has its routine here, of exactly the type that
// its line gives, with the service identifier appended.
#define MCN_CHECK_ROUTINE(name, vector, slot, result, params, args) \
  static_assert(std::is_same_v<decltype(svc_##name), result MCN_WITH_SERVICE_ID params>);
MCN_SERVICES(MCN_CHECK_ROUTINE)
#undef MCN_CHECK_ROUTINE

template <typename F>
mcn::ServiceRoutine routine(F* f) {
  return reinterpret_cast<mcn::ServiceRoutine>(f);
}

}  // namespace

Host::Host() {
  Host* expected = nullptr;
  if (!active_.compare_exchange_strong(expected, this)) {
    std::fprintf(stderr, "refhost: only one host may be live at a time\n");
    std::abort();
  }
  for (const mcn::ServiceEntry& e : mcn::kServices) {
    auto& vector = vector_storage_[vector_index(e.service.vector)];
    vectors_[e.service.vector] = vector.data();
  }
#define MCN_INSTALL_ROUTINE(name, vector, slot, ...) \
  vector_storage_[vector_index(vector)][slot] = routine(svc_##name);
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

  allocator_.allocate = svc_allocate;
  text_record_.flags = &text_flags_;
  arm_flags();

  gcb_.vectors = vectors_.data();
  gcb_.flags = flags_.data();
  gcb_.allocator = &allocator_;
  gcb_.text_record = &text_record_;
  gcb_.translation_tables = table_slots_.data();
  gcb_.tk_handle = kTkHandle;
}

Host::~Host() {
  for (const Allocation& a : allocations_) std::free(a.memory);
  recording_.store(false);
  active_.store(nullptr);
}

void* Host::allocate(std::uint64_t size, std::int32_t flags) {
  if (fail_allocations_.load()) return nullptr;
  void* memory = std::malloc(size == 0 ? 1 : size);
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
  std::uint8_t* flag = &flags_[s.vector];
  ServiceCall call{
      mcn::service_id(s), __atomic_exchange_n(flag, kFlagArmed, __ATOMIC_RELAXED), {}, value};
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

void Host::arm_flags() {
  for (std::uint8_t& f : flags_) __atomic_store_n(&f, kFlagArmed, __ATOMIC_RELAXED);
}

void Host::exit_requested(std::int32_t code, std::int32_t arg) {
  if (xexit_handler_) xexit_handler_(code, arg);
}

}  // namespace refhost
