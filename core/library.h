// The modules as a process holds them: one host runtime for the whole
// process, each module file loaded and initialised once, and the directory
// that every face looks in when it is given none. Modules keep the address of
// the runtime's control block, so neither the runtime nor a loaded module is
// ever ended: mcn_main runs once per file while any number of threads
// evaluate, and opening the same directory again costs no memory.
#ifndef DMCORE_LIBRARY_H
#define DMCORE_LIBRARY_H

#include <memory>
#include <string>
#include <vector>

#include "core/loader.h"
#include "core/runtime.h"

namespace dmcore {

// The process's host runtime, made on first use.
Runtime& process_runtime();

// A module file through the process's modules: loaded on first use, the same
// Module ever after. Null with `error` set when the file is refused (it is
// looked at again next time).
std::shared_ptr<const Module> process_module(const std::string& path, std::string& error);

// Every module of a directory, through the process's modules.
Registry open_directory(const std::string& dir);

// What a face reports of an opened directory, one line each: the files
// refused and the functions registered twice.
std::vector<std::string> notices(const Registry& registry);

// The environment variable that names the module directory, and the older
// name that modhost still reads.
constexpr char kModulesVariable[] = "DATEMODULES_MODULES";
constexpr char kModulesAlias[] = "MODHOST_MODULES";

// The module directory when none is given: $DATEMODULES_MODULES (or
// $MODHOST_MODULES), else the modules installed with the program or library
// that holds this code, found from its own file (PREFIX/LIBDIR/datemodules/
// modules, or modules/ of a build tree: core/paths.h). Never a directory relative to the
// working directory unless the variable says so; "" when the file cannot be
// found, with `error` set.
std::string default_module_dir(std::string& error);

}  // namespace dmcore

#endif  // DMCORE_LIBRARY_H
