// Initialisation entry, descriptor builder and the module globals.
#include <cstring>

#include "frame/frame.h"

extern "C" {

void* v_global_gcb_anchor = nullptr;
void* v_global_pidb_anchor = nullptr;
std::uint64_t Exported_TKHandle = 0;

const mcn::ImageInfo* mcn_main(void* gcb, void* pidb) {
  v_global_gcb_anchor = gcb;
  v_global_pidb_anchor = pidb;
  himodcn();
  Exported_TKHandle = mcn::gcb()->tk_handle;
  return &vi_mcn;
}

void himodcn() {}

void* xfmuent(std::int32_t request, std::int32_t count, const mcn::FunctionItem* items,
              const mcn::ImplEntry* functions) {
  using namespace mcn;
  if (request != kRequestItems && request != kRequestVector) return nullptr;
  // A negative count describes nothing; refuse it before it sizes an allocation.
  if (count < 0) return nullptr;

  const std::uint64_t size =
      request == kRequestItems ? sizeof(ItemDescriptor) : function_vector_size(count);
  HostAllocator* allocator = gcb()->allocator;
  void* memory = allocator->allocate(allocator, size, kAllocFlags);
  if (memory == nullptr) {
    xexit(kExitNoMemory, 0);
    return nullptr;  // only if the host's xexit came back
  }

  auto* bytes = static_cast<unsigned char*>(memory);
  if (request == kRequestItems) {
    // Offsets 4..7 stay as the allocator left them.
    std::memcpy(bytes + offsetof(ItemDescriptor, count), &count, sizeof count);
    std::memcpy(bytes + offsetof(ItemDescriptor, items), &items, sizeof items);
  } else if (count > 0) {
    // Word 0 stays as the allocator left it.
    std::memcpy(bytes + offsetof(FunctionVector, entries), functions,
                sizeof(ImplEntry) * static_cast<std::uint64_t>(count));
  }
  return memory;
}

}  // extern "C"
