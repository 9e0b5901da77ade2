#include "platform/modules.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace rzd {

std::unique_ptr<Module> Module::Load(const std::filesystem::path& path, std::string* error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    if (error != nullptr) {
      const char* why = dlerror();
      *error = why != nullptr ? why : "cannot load";
    }
    return nullptr;
  }
  return std::unique_ptr<Module>(new Module(handle, path));
}

Module::~Module() {
  if (handle_ != nullptr) dlclose(handle_);
}

void* Module::Symbol(const char* name) const { return handle_ != nullptr ? dlsym(handle_, name) : nullptr; }

std::filesystem::path ModulePathOf(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
  std::filesystem::path path(info.dli_fname);
  // The main program reports the name it was started by; make it absolute without resolving links.
  return std::filesystem::absolute(path).lexically_normal();
}

std::filesystem::path ExecutablePath() {
  // /proc/self/exe resolves symbolic links; the start name is what names a per-unit service
  // executable, so prefer argv[0] made absolute when it names an existing file.
  static const std::filesystem::path path = [] {
    std::filesystem::path resolved;
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n > 0) resolved = std::filesystem::path(std::string(buffer, static_cast<size_t>(n)));
    FILE* f = fopen("/proc/self/cmdline", "rb");
    if (f != nullptr) {
      std::string arg0;
      int c;
      while ((c = fgetc(f)) != EOF && c != 0) arg0.push_back(static_cast<char>(c));
      fclose(f);
      if (!arg0.empty() && arg0.find('/') != std::string::npos) {
        std::error_code ec;
        std::filesystem::path started = std::filesystem::absolute(arg0, ec).lexically_normal();
        if (!ec && std::filesystem::exists(started, ec)) return started;
      }
    }
    return resolved;
  }();
  return path;
}

std::optional<std::filesystem::path> FindBesideProgram(const std::filesystem::path& name) {
  const std::filesystem::path bin = ExecutablePath().parent_path();
  for (const std::filesystem::path& candidate : {bin / name, bin.parent_path() / "lib" / name}) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
  }
  return std::nullopt;
}

}  // namespace rzd
