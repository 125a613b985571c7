// Output that knows when it failed. Every write of modhost goes through an
// Output, which buffers, writes with write(2) and keeps the first error
// (a full disk, a closed descriptor, a pipe whose reader went away), so that
// the program can stop and say so instead of exiting as if all went well.
#ifndef MODHOST_OUTPUT_H
#define MODHOST_OUTPUT_H

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace modhost {

class Output {
 public:
  // Writes to a file descriptor, buffered.
  explicit Output(int fd) : fd_(fd) {}
  // Collects everything in a string, for tests and fuzzing.
  explicit Output(std::string& sink) : sink_(&sink) {}
  ~Output() { flush(); }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void put(std::string_view s) {
    if (s.size() > sizeof buf_ - used_) return put_long(s);
    if (s.empty()) return;  // an empty view may have no data pointer at all
    std::memcpy(buf_ + used_, s.data(), s.size());
    used_ += s.size();
  }
  void put(char c) { put(std::string_view(&c, 1)); }
  // `s`, then blanks up to `width` characters.
  void pad(std::string_view s, std::size_t width);

  // Writes out what is buffered. Returns false once any write has failed.
  bool flush();
  bool ok() const { return error_ == 0; }
  // The errno of the first failed write, 0 if none.
  int error() const { return error_; }

 private:
  void put_long(std::string_view s);
  void write_out(const char* data, std::size_t size);

  int fd_ = -1;
  std::string* sink_ = nullptr;
  int error_ = 0;
  std::size_t used_ = 0;
  char buf_[1 << 16];
};

}  // namespace modhost

#endif  // MODHOST_OUTPUT_H
