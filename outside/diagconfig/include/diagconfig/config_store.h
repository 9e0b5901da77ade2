// The diagnostics configuration as the stand-in server keeps it: a registry key of its own under
// HKEY_LOCAL_MACHINE, shared by every process of one system root.
//
//   SOFTWARE\CorDiagConfig
//     EmitterPath    REG_SZ        library the system hands its records to (export `Emit`)
//     EmitterOutput  REG_SZ        file the stand-in emitter appends its records to
//     Fail           REG_MULTI_SZ  server operations that answer E_FAIL
//     Hang           REG_MULTI_SZ  server operations that wait until released
//     Products\<product>           one REG_DWORD per feature: its level bits; "*" is the
//                                  product's default level for features it does not list
//     Listeners                    one value per listening server object: its change event
//
// A change takes effect for questions at once; listeners hear of it when NotifyChanged() signals
// their events (the server then fires its change event to its connected sinks).
#pragma once

#include "platform/kernel.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cordiag {

inline constexpr std::u16string_view kConfigKey = u"SOFTWARE\\CorDiagConfig";
inline constexpr std::u16string_view kDefaultFeature = u"*";
// Longest a hanging operation waits for its release.
inline constexpr uint32_t kHangLimitMs = 60000;

// ---- Levels. Functions answer Win32 error numbers.
uint32_t SetFeatureLevel(std::u16string_view product, std::u16string_view feature, uint32_t level);
uint32_t RemoveFeature(std::u16string_view product, std::u16string_view feature);
std::optional<uint32_t> ConfiguredLevel(std::u16string_view product, std::u16string_view feature);
// The configured level, else the product's default, else 0.
uint32_t EffectiveLevel(std::u16string_view product, std::u16string_view feature);
// The features listed for the product, in the order they were configured (the default excluded).
std::vector<std::u16string> ConfiguredFeatures(std::u16string_view product);

// ---- Emitter. An empty path removes the value.
uint32_t SetEmitterPath(std::u16string_view path);
std::u16string EmitterPath();
uint32_t SetEmitterOutput(std::u16string_view file);
// The configured output file, else Diagnostics.log in CorDiag under the common application data.
std::filesystem::path EmitterOutput();

// ---- Operations made to fail or to hang (names compare without case).
uint32_t SetFailingOperations(const std::vector<std::u16string>& operations);
bool OperationFails(std::u16string_view operation);
// Also re-arms the hang: events left from an earlier release are reset.
uint32_t SetHangingOperations(const std::vector<std::u16string>& operations);
bool OperationHangs(std::u16string_view operation);
// Inside a hanging operation: tells WaitForHanging, then waits for ReleaseHanging (at most
// `limitMs`).
void HangHere(uint32_t limitMs = kHangLimitMs);
// True once an operation hangs (within `timeoutMs`).
bool WaitForHanging(uint32_t timeoutMs);
// Clears the hanging operations and lets every hanging one go on.
uint32_t ReleaseHanging();

// ---- Change notification.
// Signals the change event of every listener (stale entries of ended processes are removed).
// Answers how many were signalled.
size_t NotifyChanged();

// A change event of its own, listed under Listeners while the object lives.
class ChangeListener {
 public:
  static std::unique_ptr<ChangeListener> Create();
  ~ChangeListener();
  ChangeListener(const ChangeListener&) = delete;
  ChangeListener& operator=(const ChangeListener&) = delete;
  const rzd::Event& Event() const { return event_; }

 private:
  ChangeListener(std::u16string name, rzd::Event event) : name_(std::move(name)), event_(std::move(event)) {}
  std::u16string name_;
  rzd::Event event_;
};

// ---- Registration of the server class (HKLM\SOFTWARE\Classes\CLSID\{...}\InprocServer32).
uint32_t RegisterServer(const std::filesystem::path& library);
uint32_t UnregisterServer();

}  // namespace cordiag
