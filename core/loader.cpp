#include "core/loader.h"

#include <dirent.h>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "core/quote.h"

namespace dmcore {

namespace {

// Module record lists longer than this are taken as unterminated.
constexpr int kMaxModuleRecords = 64;
// Item descriptors announcing more functions than this are taken as corrupt.
constexpr int kMaxFunctionItems = 1024;

bool has_nul(const char* field, std::size_t width) {
  return std::memchr(field, '\0', width) != nullptr;
}

bool is_module_file(const std::string& name) {
  return name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0;
}

// A refusal of a file: its name shown safely, then what is wrong, a text made
// here (or made safe here, as the dynamic loader's is).
bool fail(std::string& error, const std::string& path, const std::string& what) {
  error = shown_path(path) + ": " + what;
  return false;
}

// A name from a module's records, which messages, SQL and the other faces use
// as it is: printable ASCII only.
bool printable(const std::string& name) {
  for (const char c : name)
    if (c <= 0x20 || c >= 0x7F) return false;
  return true;
}

// Program headers beyond this many are taken as a corrupt header.
constexpr unsigned kMaxProgramHeaders = 256;

// Reads exactly `size` bytes at `offset`; false on a read error or a short file.
bool read_at(int fd, void* out, std::size_t size, std::uint64_t offset) {
  auto* p = static_cast<unsigned char*>(out);
  while (size > 0) {
    const ssize_t got = pread(fd, p, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    size -= static_cast<std::size_t>(got);
    offset += static_cast<std::uint64_t>(got);
  }
  return true;
}

// What is wrong with an open file as an x86-64 shared object, or "" when
// nothing is: the ELF header and every segment that the dynamic loader maps
// must lie inside the file, since a mapping past its end faults on first touch.
std::string elf_fault(int fd, std::uint64_t file_size) {
  Elf64_Ehdr h;
  if (file_size < sizeof h || !read_at(fd, &h, sizeof h, 0) ||
      std::memcmp(h.e_ident, ELFMAG, SELFMAG) != 0)
    return "not an ELF file";
  if (h.e_ident[EI_CLASS] != ELFCLASS64 || h.e_ident[EI_DATA] != ELFDATA2LSB)
    return "not a 64-bit little-endian ELF file";
  if (h.e_machine != EM_X86_64)
    return "not built for x86-64 (ELF machine " + std::to_string(h.e_machine) + ")";
  if (h.e_type != ET_DYN) return "not a shared object (ELF type " + std::to_string(h.e_type) + ")";
  if (h.e_phentsize != sizeof(Elf64_Phdr) || h.e_phnum == 0 || h.e_phnum > kMaxProgramHeaders)
    return "malformed program header table";
  const std::uint64_t table_size = std::uint64_t{h.e_phnum} * sizeof(Elf64_Phdr);
  if (h.e_phoff > file_size || table_size > file_size - h.e_phoff)
    return "truncated: the program header table ends past the end of the file";
  Elf64_Phdr ph[kMaxProgramHeaders];
  if (!read_at(fd, ph, table_size, h.e_phoff)) return "cannot read the program header table";
  for (unsigned i = 0; i < h.e_phnum; ++i) {
    if (ph[i].p_type == PT_NULL) continue;
    if (ph[i].p_offset > file_size || ph[i].p_filesz > file_size - ph[i].p_offset)
      return "truncated: segment " + std::to_string(i) + " ends at byte " +
             std::to_string(ph[i].p_offset + ph[i].p_filesz) + ", the file has " +
             std::to_string(file_size);
  }
  return "";
}

}  // namespace

bool check_module_file(const std::string& path, std::string& error) {
  // Non-blocking, so that a FIFO that appeared under the name cannot hang the open.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return fail(error, path, std::string("cannot load: ") + std::strerror(errno));
  struct stat st;
  std::string why;
  if (fstat(fd, &st) != 0)
    why = std::strerror(errno);
  else if (!S_ISREG(st.st_mode))
    why = "not a regular file";
  else
    why = elf_fault(fd, static_cast<std::uint64_t>(st.st_size));
  close(fd);
  return why.empty() || fail(error, path, "cannot load: " + why);
}

std::string module_path(const std::string& dir, const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  return dir + "/" + name + (is_module_file(name) ? "" : ".so");
}

std::string arity_text(const Function& f) {
  return f.min_args == f.max_args
             ? std::to_string(f.min_args)
             : std::to_string(f.min_args) + " to " + std::to_string(f.max_args);
}

std::vector<IdentityField> identity(const Module& m) {
  const mcn::ImageInfo& image = *m.image;
  const mcn::VersionBlock& v = m.version;
  constexpr const char* kImage = "image information";
  constexpr const char* kVersion = "version block";
  // Every field is the module's own bytes: shown safely, cut when long.
  const auto shown = [](std::string_view text) { return escaped(text, kPathLimit); };
  const auto fixed = [&](const char* label, const char* field, std::size_t width) {
    return IdentityField{kImage, label, shown(field_text(field, width)), false};
  };
  const auto word = [&](const char* label, const char* text) {
    return IdentityField{kVersion, label, text ? shown(text) : "(null)", text != nullptr};
  };
  return {
      fixed("marker", image.marker, sizeof image.marker),
      fixed("release", image.release, sizeof image.release),
      fixed("release (short)", image.release_short, sizeof image.release_short),
      fixed("build date", image.build_date, sizeof image.build_date),
      fixed("level", image.level, sizeof image.level),
      {kImage, "copyright", image.copyright ? shown(image.copyright) : "(none)", false},
      word("release", v.release),
      word("build path", v.build_path),
      {kVersion, "build time (s)", std::to_string(v.build_time), false},
      word("build time", v.build_stamp),
      word("build host", v.build_host),
      word("module identifier", v.module_ident),
      word("shared identifier", v.shared_ident),
      word("build identifier", v.build_ident),
      word("hotfix field", v.hotfix),
      word("description field", v.description),
  };
}

std::string field_text(const char* field, std::size_t width) {
  const void* nul = std::memchr(field, '\0', width);
  return std::string(field, nul ? static_cast<const char*>(nul) - field : width);
}

namespace {

// Registers the functions of one module record: its item descriptor (request
// type 1) names them, its function vector (request type 2) holds their entries.
bool register_record(const mcn::ModuleRecord& record, Module& module, std::string& error) {
  const std::string& path = module.path;
  if (!has_nul(record.name, sizeof record.name))
    return fail(error, path, "module name is not NUL-terminated");
  const std::string name = field_text(record.name, sizeof record.name);
  if (name.empty()) return fail(error, path, "module record has no name");
  if (!printable(name))
    return fail(error, path, "module name " + quoted(name) + " is not printable ASCII");
  if (record.entry == nullptr)
    return fail(error, path, "module " + name + " has no entry function");
  if (module.name.empty()) module.name = name;

  const auto* items = static_cast<const mcn::ItemDescriptor*>(record.entry(mcn::kRequestItems));
  if (items == nullptr) return fail(error, path, "module " + name + " describes no functions");
  if (items->count < 0 || items->count > kMaxFunctionItems ||
      (items->count > 0 && items->items == nullptr))
    return fail(error, path, "module " + name + " has a malformed item descriptor");
  const auto* vector = static_cast<const mcn::FunctionVector*>(record.entry(mcn::kRequestVector));
  if (vector == nullptr) return fail(error, path, "module " + name + " gives no function vector");

  for (int i = 0; i < items->count; ++i) {
    const mcn::FunctionItem& item = items->items[i];
    if (!has_nul(item.name, sizeof item.name))
      return fail(error, path, "function name is not NUL-terminated");
    Function f{field_text(item.name, sizeof item.name),
               item.min_args,
               item.max_args,
               vector->entries[i],
               name,
               path,
               nullptr};
    f.declared = declaration(f.name, f.min_args, f.max_args);
    if (f.name.empty()) return fail(error, path, "function item has no name");
    if (!printable(f.name))
      return fail(error, path, "function name " + quoted(f.name) + " is not printable ASCII");
    if (f.min_args > f.max_args || f.max_args > mcn::kMaxArgs)
      return fail(error, path,
                  "function " + f.name + " has argument counts out of order (" +
                      std::to_string(f.min_args) + " to " + std::to_string(f.max_args) + ")");
    if (f.impl == nullptr)
      return fail(error, path, "function " + f.name + " has no implementation");
    module.functions.push_back(std::move(f));
  }
  return true;
}

// Follows the image information's null-terminated module record list.
bool register_records(const mcn::ImageInfo& image, Module& module, std::string& error) {
  if (image.pcns == nullptr)
    return fail(error, module.path, "image information lists no module records");
  int records = 0;
  for (const mcn::ModuleRecord* const* r = image.pcns; *r != nullptr; ++r) {
    if (++records > kMaxModuleRecords)
      return fail(error, module.path, "module record list has no end");
    if (!register_record(**r, module, error)) return false;
  }
  return records > 0 || fail(error, module.path, "module record list is empty");
}

bool load_one(Runtime& host, const std::string& path, Module& out, std::string& error) {
  if (!check_module_file(path, error)) return false;
  dlerror();
  void* raw = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (raw == nullptr) {
    const char* why = dlerror();
    return fail(
        error, path,
        "cannot load: " + (why ? escaped(why, kLoaderLimit) : std::string("unknown error")));
  }
  std::shared_ptr<void> handle(raw, [](void* h) { dlclose(h); });

  const auto main_entry = reinterpret_cast<McnMain>(dlsym(raw, "mcn_main"));
  if (main_entry == nullptr) return fail(error, path, "not a module: no mcn_main");
  const auto vercn = reinterpret_cast<TkVercn1>(dlsym(raw, "tkvercn1"));
  if (vercn == nullptr) return fail(error, path, "not a module: no tkvercn1");

  const mcn::ImageInfo* image = main_entry(host.gcb(), host.pidb());
  if (image == nullptr) return fail(error, path, "mcn_main returned no image information");
  if (std::memcmp(image->marker, mcn::kImageMarker, sizeof mcn::kImageMarker) != 0)
    return fail(error, path, "image information has no image marker");

  Module module;
  module.path = path;
  module.image = image;
  vercn(&module.version);
  if (!register_records(*image, module, error)) return false;
  module.handle = std::move(handle);
  out = std::move(module);
  return true;
}

}  // namespace

bool load_module(Runtime& host, const std::string& path, Module& out, std::string& error) {
  const std::uint64_t refused = host.refused_allocations();
  if (load_one(host, path, out, error)) return true;
  // A module that found no memory for itself is not at fault: the process is
  // out of memory, and says so as it says it anywhere else.
  if (host.refused_allocations() != refused) throw std::bad_alloc();
  return false;
}

Registry load_directory(Runtime& host, const std::string& dir) {
  return load_directory(dir, [&host](const std::string& path, std::string& error) {
    auto m = std::make_shared<Module>();
    return load_module(host, path, *m, error) ? std::shared_ptr<const Module>(std::move(m))
                                              : nullptr;
  });
}

Registry load_directory(const std::string& dir, const ModuleSource& source) {
  Registry registry;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) {
    registry.errors.push_back(shown_path(dir) +
                              ": cannot read the module directory: " + std::strerror(errno));
    return registry;
  }
  std::vector<std::string> files;
  errno = 0;
  while (const dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (is_module_file(name)) files.push_back(name);
  }
  if (errno != 0)
    registry.errors.push_back(shown_path(dir) +
                              ": cannot read the module directory: " + std::strerror(errno));
  closedir(d);
  std::sort(files.begin(), files.end());

  for (const std::string& file : files) {
    std::string error;
    std::shared_ptr<const Module> m = source(dir + "/" + file, error);
    if (m == nullptr) {
      registry.errors.push_back(error);
      continue;
    }
    for (const Function& f : m->functions) {
      const auto [it, added] = registry.functions.emplace(f.name, f);
      if (!added)
        registry.duplicates.push_back("function " + f.name + " is registered by both " +
                                      shown_path(it->second.path) + " and " + shown_path(m->path) +
                                      "; " + shown_path(it->second.path) + " is used");
    }
    registry.modules.push_back(std::move(m));
  }
  return registry;
}

}  // namespace dmcore
