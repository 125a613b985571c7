/*
 * An allocator that fails on request, preloaded (LD_PRELOAD) into a host
 * that cannot be rebuilt: Python, R, a PostgreSQL backend. It stands in
 * front of the C library's malloc, calloc, realloc and the aligned forms.
 * Disarmed, it passes every call on. Armed with failalloc_arm(at, callers),
 * it counts the allocations made straight from the code of the shared objects
 * whose file names contain one of the comma-separated `callers` (every
 * allocation when callers is nullptr or empty) and fails the at-th of them, once.
 * The host's own allocations go through, so that a sweep tests the code
 * under test and not the host's own handling of out of memory.
 *
 *   failalloc_arm(at, callers)   count from now and fail the at-th
 *   failalloc_disarm()           stop; the number of allocations counted
 *   failalloc_failed()           whether the failure was made since arming
 *
 * and the same with an _r suffix for R's .C.
 */
#include <link.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
}

namespace {

enum { kMaxRanges = 64, kMaxCallers = 512 };

struct Range {
  uintptr_t from, to;
};
Range ranges[kMaxRanges];
int range_count;
int every_caller;
char callers[kMaxCallers];
long armed_at;
long counted;
int failed;

int wanted(const char* path) {
  if (path == nullptr || path[0] == '\0') return 0;
  const char* c = callers;
  while (*c != '\0') {
    const char* comma = strchr(c, ',');
    const size_t n = comma ? static_cast<size_t>(comma - c) : strlen(c);
    char part[kMaxCallers];
    memcpy(part, c, n);
    part[n] = '\0';
    if (n > 0 && strstr(path, part) != nullptr) return 1;
    c += n + (comma != nullptr);
  }
  return 0;
}

int collect(dl_phdr_info* info, size_t, void*) {
  if (!wanted(info->dlpi_name)) return 0;
  for (int i = 0; i < info->dlpi_phnum && range_count < kMaxRanges; i++) {
    const ElfW(Phdr)* p = &info->dlpi_phdr[i];
    if (p->p_type != PT_LOAD || !(p->p_flags & PF_X)) continue;
    ranges[range_count].from = info->dlpi_addr + p->p_vaddr;
    ranges[range_count].to = info->dlpi_addr + p->p_vaddr + p->p_memsz;
    range_count++;
  }
  return 0;
}

int fail_now(const void* caller) {
  if (armed_at == 0) return 0;
  if (!every_caller) {
    const uintptr_t a = reinterpret_cast<uintptr_t>(caller);
    int ours = 0;
    for (int i = 0; i < range_count && !ours; i++) ours = a >= ranges[i].from && a < ranges[i].to;
    if (!ours) return 0;
  }
  if (++counted != armed_at) return 0;
  failed = 1;
  return 1;
}

}  // namespace

extern "C" {
void failalloc_arm(long at, const char* only) {
  armed_at = 0;
  range_count = 0;
  every_caller = only == nullptr || only[0] == '\0';
  if (!every_caller) {
    strncpy(callers, only, kMaxCallers - 1);
    callers[kMaxCallers - 1] = '\0';
    dl_iterate_phdr(collect, nullptr);
  }
  counted = 0;
  failed = 0;
  armed_at = at;
}

long failalloc_disarm(void) {
  armed_at = 0;
  return counted;
}

int failalloc_failed(void) { return failed; }

// The same for R's .C, which passes every argument by pointer.
void failalloc_arm_r(int* at, char** only) { failalloc_arm(*at, *only); }
void failalloc_disarm_r(int* count) { *count = static_cast<int>(failalloc_disarm()); }
void failalloc_failed_r(int* out) { *out = failalloc_failed(); }

void* malloc(size_t n) {
  return fail_now(__builtin_return_address(0)) ? nullptr : __libc_malloc(n);
}

void* calloc(size_t n, size_t size) {
  return fail_now(__builtin_return_address(0)) ? nullptr : __libc_calloc(n, size);
}

void* realloc(void* p, size_t n) {
  return fail_now(__builtin_return_address(0)) ? nullptr : __libc_realloc(p, n);
}

void* memalign(size_t alignment, size_t n) {
  return fail_now(__builtin_return_address(0)) ? nullptr : __libc_memalign(alignment, n);
}

void* aligned_alloc(size_t alignment, size_t n) {
  return fail_now(__builtin_return_address(0)) ? nullptr : __libc_memalign(alignment, n);
}

int posix_memalign(void** out, size_t alignment, size_t n) {
  if (fail_now(__builtin_return_address(0))) return ENOMEM;
  void* p = __libc_memalign(alignment, n);
  if (p == nullptr) return ENOMEM;
  *out = p;
  return 0;
}
}
