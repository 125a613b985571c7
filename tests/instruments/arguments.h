// An argument block for one evaluation, built the way the host lays it out.
#ifndef TESTHOST_ARGUMENTS_H
#define TESTHOST_ARGUMENTS_H

#include <cstdint>
#include <cstring>
#include <string_view>

#include "frame/abi.h"

namespace testhost {

class Arguments {
 public:
  // Two date values.
  Arguments(double start, double end) : start_(start), end_(end), count_(2) {}
  // Two date values and a basis text.
  Arguments(double start, double end, std::string_view basis)
      : start_(start), end_(end), count_(3) {
    set_text(basis.data(), static_cast<std::int32_t>(basis.size()));
  }

  // Any text descriptor fields, for tests of bad input.
  void set_text(const char* text, std::int32_t length) {
    has_text_ = true;
    text_.text = text;
    text_.length = length;
  }
  void set_null_basis(bool null) { null_basis_ = null; }
  void set_count(std::int64_t count) { count_ = count; }

  // The block points into this object; it is rebuilt on every call so that
  // Arguments can be copied and moved freely.
  std::int32_t call(mcn::ImplEntry entry, double* result) {
    mcn::ArgBlock block;
    std::memset(&block, 0, sizeof block);
    block.count = count_;
    block.args[0].value = &start_;
    block.args[1].value = &end_;
    block.args[2].value = has_text_ && !null_basis_ ? &text_ : nullptr;
    return entry(&block, result);
  }

 private:
  double start_;
  double end_;
  std::int64_t count_;
  bool has_text_ = false;
  bool null_basis_ = false;
  mcn::TextDescriptor text_{};
};

}  // namespace testhost

#endif  // TESTHOST_ARGUMENTS_H
