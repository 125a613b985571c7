/*
 * An allocator that fails on request, preloaded (LD_PRELOAD) into a host
 * that cannot be rebuilt: Python, R, a PostgreSQL backend. It stands in
 * front of the C library's malloc, calloc, realloc and the aligned forms.
 * Disarmed, it passes every call on. Armed with failalloc_arm(at, callers),
 * it counts the allocations made straight from the code of the shared objects
 * whose file names contain one of the comma-separated `callers` (every
 * allocation when callers is null or empty) and fails the at-th of them, once.
 * The host's own allocations go through, so that a sweep tests the code
 * under test and not the host's own handling of out of memory.
 *
 *   failalloc_arm(at, callers)   count from now and fail the at-th
 *   failalloc_disarm()           stop; the number of allocations counted
 *   failalloc_failed()           whether the failure was made since arming
 *
 * and the same with an _r suffix for R's .C. A host whose processes cannot be
 * called into is armed through a file instead (FAILALLOC_CONTROL, below).
 *
 * An allocation is counted by the object that made it: the caller of malloc,
 * or with FAILALLOC_DEPTH=N any of the N callers above it, so that what the
 * code under test allocates through other libraries (operator new, a string
 * of the host's own kind) counts as its own, while the host's work goes on.
 */
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
}

namespace {

enum { kMaxCallers = 512 };

int every_caller;
char callers[kMaxCallers];
long armed_at;
long counted;
int failed;
int inside;  // a check in progress on this thread: the allocations it makes go through
pid_t controlled;
int depth;  // callers above the allocator that count (FAILALLOC_DEPTH, else 1)

void arm(long at, const char* only) {
  armed_at = 0;
  every_caller = only == nullptr || only[0] == '\0';
  if (!every_caller) {
    strncpy(callers, only, kMaxCallers - 1);
    callers[kMaxCallers - 1] = '\0';
  }
  counted = 0;
  failed = 0;
  armed_at = at;
}

bool wanted(const char* path) {
  if (path == nullptr || path[0] == '\0') return false;
  const char* c = callers;
  while (*c != '\0') {
    const char* comma = strchr(c, ',');
    const size_t n = comma ? static_cast<size_t>(comma - c) : strlen(c);
    char part[kMaxCallers];
    memcpy(part, c, n);
    part[n] = '\0';
    if (n > 0 && strstr(path, part) != nullptr) return true;
    c += n + (comma != nullptr);
  }
  return false;
}

// A process under control of a file (FAILALLOC_CONTROL: "AT CALLERS"), for a
// host whose processes cannot be called into, such as a PostgreSQL server: each
// process arms itself from the file at its first allocation and, when it has
// counted any, writes how many to the file's name with ".count" added, at exit.
void take_control() {
  const char* file = getenv("FAILALLOC_CONTROL");
  if (file == nullptr || controlled == getpid()) return;
  controlled = getpid();
  char text[kMaxCallers + 32] = {};
  const int fd = open(file, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  const ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  if (n <= 0) return;
  char* rest = nullptr;
  const long at = strtol(text, &rest, 10);
  while (*rest == ' ') ++rest;
  rest[strcspn(rest, "\n")] = '\0';
  arm(at, rest);
}

__attribute__((destructor)) void report() {
  const char* file = getenv("FAILALLOC_CONTROL");
  if (file == nullptr || controlled != getpid() || counted == 0) return;
  char path[4096];
  char text[64];
  snprintf(path, sizeof path, "%s.count", file);
  const int length = snprintf(text, sizeof text, "%ld %d\n", counted, failed);
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  const ssize_t written = write(fd, text, static_cast<size_t>(length));
  close(fd);
  if (written != length) unlink(path);  // no count rather than a wrong one
}

bool made_by_wanted(const void* address) {
  Dl_info info{};
  return dladdr(address, &info) != 0 && wanted(info.dli_fname);
}

bool fail_now(const void* caller) {
  if (inside) return false;
  inside = 1;
  take_control();
  bool fail = false;
  if (armed_at != 0) {
    if (depth == 0) {
      const char* d = getenv("FAILALLOC_DEPTH");
      depth = d != nullptr && atoi(d) > 1 ? (atoi(d) < 30 ? atoi(d) : 30) : 1;
    }
    bool ours = every_caller || made_by_wanted(caller);
    if (!ours && depth > 1) {
      void* frames[32];
      const int n = backtrace(frames, depth + 2);  // this check and the allocator first
      for (int i = 1; i < n && !ours; ++i) ours = made_by_wanted(frames[i]);
    }
    if (ours) fail = ++counted == armed_at;
  }
  if (fail) failed = 1;
  inside = 0;
  return fail;
}

}  // namespace

extern "C" {
void failalloc_arm(long at, const char* only) { arm(at, only); }

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
