// Loading a module the way the host runtime does: dlopen, mcn_main, walk the
// module records, register every function. A file that is not such a module is
// refused with a message, never followed into a crash.
#ifndef DMCORE_LOADER_H
#define DMCORE_LOADER_H

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/catalogue.h"
#include "core/runtime.h"
#include "frame/abi.h"

namespace dmcore {

// A registered function: name, argument counts and implementation entry, and
// its declaration when it is one of the functions built here.
struct Function {
  std::string name;
  int min_args;
  int max_args;
  mcn::ImplEntry impl;
  std::string module;           // the module that registered it
  std::string path;             // and its file
  const Declaration* declared;  // core/catalogue.h; null for another module's function

  // Its results are whole numbers of days, as its declaration says.
  bool whole_days() const { return declared != nullptr && declared->whole_days; }
};

struct Module {
  std::string path;
  std::string name;             // from the module record
  const mcn::ImageInfo* image;  // what mcn_main returned
  mcn::VersionBlock version;    // copied out by tkvercn1
  std::vector<Function> functions;
  std::shared_ptr<void> handle;  // dlclose when the last copy goes
};

// What identifies a module: the fields of its image information and version
// block, in order, as every face shows them (modhost inspect, the C
// interface). A text word of the version block is quoted unless it is null,
// which shows as (null).
struct IdentityField {
  const char* record;  // "image information" or "version block"
  const char* label;
  std::string text;
  bool quoted;
};
std::vector<IdentityField> identity(const Module& m);

// Checks, without loading it, that a file is a regular file holding an x86-64
// ELF shared object whose loadable segments all lie inside it: dlopen of a
// truncated object dies of SIGBUS, and of a FIFO waits for ever. On failure
// returns false with `error` set to a message that names the file.
bool check_module_file(const std::string& path, std::string& error);

// Loads one module file into `out`, after check_module_file. On failure
// returns false with `error` set. Out of memory, the module's own requests
// for memory among them, is std::bad_alloc.
bool load_module(Runtime& host, const std::string& path, Module& out, std::string& error);

// Every module in a directory (files ending in .so, in name order), and the
// functions they register by name. A file that cannot be loaded is refused and
// the others go on. A function name registered by two files stays with the
// first in name order.
struct Registry {
  std::vector<std::shared_ptr<const Module>> modules;
  std::map<std::string, Function> functions;
  std::vector<std::string> errors;      // one line per file refused, or the directory
  std::vector<std::string> duplicates;  // one line per function registered twice
};
// Where a directory's module files come from: loaded afresh, or from the
// process's modules (core/library.h). Null with `error` set for a file refused.
using ModuleSource =
    std::function<std::shared_ptr<const Module>(const std::string& path, std::string& error)>;
Registry load_directory(const std::string& dir, const ModuleSource& source);
// Each file loaded afresh into `host`.
Registry load_directory(Runtime& host, const std::string& dir);

// The file of a module named on a command line: a path as given when it holds
// a slash, else the name in `dir`, with ".so" added when it has none.
std::string module_path(const std::string& dir, const std::string& name);

// A function's argument counts as people read them: "3" or "2 to 3".
std::string arity_text(const Function& f);

// A text field of a record: the bytes before the first NUL, at most `width`.
std::string field_text(const char* field, std::size_t width);

}  // namespace dmcore

#endif  // DMCORE_LOADER_H
