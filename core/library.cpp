#include "core/library.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>

#include "core/paths.h"

namespace dmcore {

namespace {

std::mutex modules_mutex;

// Loaded module files by their real path. Never destroyed: the modules hold
// pointers into the runtime, and other threads may still evaluate at exit.
std::map<std::string, std::shared_ptr<const Module>>& loaded() {
  static auto* modules = new std::map<std::string, std::shared_ptr<const Module>>;
  return *modules;
}

bool is_directory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The file that holds this code: a shared library by dladdr, the program
// itself by /proc/self/exe (dladdr names the main program "").
std::string own_file() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&default_module_dir), &info) != 0 &&
      info.dli_fname != nullptr && info.dli_fname[0] == '/') {
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) != nullptr) return resolved;
  }
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

Runtime& process_runtime() {
  static Runtime* runtime = new Runtime;
  return *runtime;
}

std::shared_ptr<const Module> process_module(const std::string& path, std::string& error) {
  char resolved[PATH_MAX];
  const std::string key = realpath(path.c_str(), resolved) != nullptr ? resolved : path;
  Runtime& host = process_runtime();
  std::lock_guard<std::mutex> lock(modules_mutex);
  auto& modules = loaded();
  if (const auto it = modules.find(key); it != modules.end()) return it->second;
  auto m = std::make_shared<Module>();
  if (!load_module(host, path, *m, error)) return nullptr;
  return modules[key] = std::move(m);
}

Registry open_directory(const std::string& dir) { return load_directory(dir, process_module); }

std::vector<std::string> notices(const Registry& registry) {
  std::vector<std::string> lines;
  for (const std::string& e : registry.errors) lines.push_back("skipped " + e);
  lines.insert(lines.end(), registry.duplicates.begin(), registry.duplicates.end());
  return lines;
}

std::string default_module_dir(std::string& error) {
  for (const char* variable : {kModulesVariable, kModulesAlias})
    if (const char* dir = std::getenv(variable); dir != nullptr && *dir != '\0') return dir;
  const std::string file = own_file();
  const std::size_t slash = file.rfind('/');
  if (file.empty() || slash == std::string::npos) {
    error = "cannot find the installed modules: the location of this program is unknown; set " +
            std::string(kModulesVariable);
    return "";
  }
  const std::string dir = file.substr(0, slash);
  // A library in PREFIX/LIBDIR, a program in PREFIX/BINDIR, either in a build tree.
  for (const char* relative : {kModulesFromLibrary, kModulesFromProgram, kModulesInBuildTree}) {
    char resolved[PATH_MAX];
    if (realpath((dir + "/" + relative).c_str(), resolved) != nullptr && is_directory(resolved))
      return resolved;
  }
  return dir + "/" + kModulesFromLibrary;
}

}  // namespace dmcore
