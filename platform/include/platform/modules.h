// Shared libraries loaded at run time, module file names and file versions.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace rzd {

// A loaded shared library. Unloads on destruction.
class Module {
 public:
  // Loads the library at `path`; nullptr when it cannot be loaded (`error` gets the reason).
  static std::unique_ptr<Module> Load(const std::filesystem::path& path, std::string* error = nullptr);
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // Address of an exported symbol, or nullptr.
  void* Symbol(const char* name) const;
  template <typename Fn>
  Fn Bind(const char* name) const { return reinterpret_cast<Fn>(Symbol(name)); }
  const std::filesystem::path& Path() const { return path_; }

 private:
  Module(void* handle, std::filesystem::path path) : handle_(handle), path_(std::move(path)) {}
  void* handle_;
  std::filesystem::path path_;
};

// File of the module (executable or shared library) that contains `address`.
std::filesystem::path ModulePathOf(const void* address);

// The running executable's own path, as it was started: a copy or hard link keeps its own name,
// and a symbolic link is not resolved away from the name it was started by.
std::filesystem::path ExecutablePath();

// The file `name` beside the running executable, else in the library folder beside the
// executable's folder (`../lib`, as the build lays them out); nullopt when neither holds it.
std::optional<std::filesystem::path> FindBesideProgram(const std::filesystem::path& name);

}  // namespace rzd
