#include "tools/output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace modhost {

void Output::pad(std::string_view s, std::size_t width) {
  put(s);
  for (std::size_t i = s.size(); i < width; ++i) put(' ');
}

void Output::put_long(std::string_view s) {
  flush();
  if (s.size() >= sizeof buf_) return write_out(s.data(), s.size());
  std::memcpy(buf_, s.data(), s.size());
  used_ = s.size();
}

bool Output::flush() {
  write_out(buf_, used_);
  used_ = 0;
  return ok();
}

void Output::write_out(const char* data, std::size_t size) {
  if (sink_ != nullptr) {
    sink_->append(data, size);
    return;
  }
  // After a failure nothing more is written: the output already has a hole.
  while (size > 0 && error_ == 0) {
    const ssize_t n = write(fd_, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = n < 0 ? errno : EIO;
      return;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

}  // namespace modhost
