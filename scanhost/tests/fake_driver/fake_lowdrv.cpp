// The tests' fake driver library: exports Control and Read like liblowdrv.so, opens any path it
// is given, keeps its handles, records every call in the journal and fails or holds calls as the
// script says (fake_driver_files.h).
#include "fake_driver_files.h"

#include "lowdrv/core/api.h"
#include "platform/text.h"
#include "platform/types.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
using rzd::scanhost::test::FakeDriverJournal;
using rzd::scanhost::test::FakeDriverScript;

constexpr uint32_t kOpen = 0x48000004;
constexpr uint32_t kClose = 0x80000005;
constexpr uint32_t kDeviceBit = 0x80000000;
constexpr uint32_t kInvalidHandle = 0x8003;
constexpr uint32_t kScannerInfo = 0xA0000009;

struct State {
  std::mutex lock;
  std::set<uintptr_t> handles;
  uintptr_t next = 1;
  std::map<size_t, uint32_t> used;  // calls a counted rule has answered, by its line number
};

State& Fake() {
  static State state;  // goes with the library's unload, when no call runs in it
  return state;
}

std::optional<uint32_t> Number(const std::string& text) {
  try {
    size_t end = 0;
    const unsigned long value = std::stoul(text, &end, 0);
    if (end != text.size()) return std::nullopt;
    return static_cast<uint32_t>(value);
  } catch (...) {
    return std::nullopt;
  }
}

void Journal(const std::string& line) {
  State& state = Fake();
  std::lock_guard guard(state.lock);
  std::error_code ec;
  fs::create_directories(FakeDriverJournal().parent_path(), ec);
  std::ofstream out(FakeDriverJournal(), std::ios::app);
  out << line << '\n';
}

std::string HandleName(void* handle) {
  return handle == nullptr ? "0" : "h" + std::to_string(reinterpret_cast<uintptr_t>(handle));
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

// The result the script gives a call of `code` (0: answer normally); holds the call when a block
// rule names it.
uint32_t Scripted(uint32_t code) {
  std::ifstream in(FakeDriverScript());
  std::string line;
  uint32_t result = 0;
  for (size_t number = 0; std::getline(in, line); ++number) {
    std::istringstream words(line);
    std::string verb, codeText, argument, countText;
    words >> verb >> codeText >> argument >> countText;
    if (Number(codeText) != code) continue;
    if (verb == "block") {
      while (!fs::exists(argument) && fs::exists(FakeDriverScript())) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } else if (verb == "fail" && result == 0) {
      const std::optional<uint32_t> failure = Number(argument);
      const std::optional<uint32_t> count = countText.empty() ? std::nullopt : Number(countText);
      State& state = Fake();
      std::lock_guard guard(state.lock);
      if (failure && (!count || state.used[number] < *count)) {
        ++state.used[number];
        result = *failure;
      }
    }
  }
  return result;
}

// A file of the script's folder, when it exists.
std::optional<std::string> FolderFile(const char* name) {
  std::ifstream in(FakeDriverScript().parent_path() / name, std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

BSTR ResultDocument(uint32_t result) {
  const std::u16string text = rzd::FormatW(u"<Result><ErrorCode>%d</ErrorCode><Description>fake driver</Description></Result>",
                                           static_cast<int32_t>(result));
  return rzd::AllocBstr(text);
}

bool KnownHandle(void* handle) {
  State& state = Fake();
  std::lock_guard guard(state.lock);
  return state.handles.count(reinterpret_cast<uintptr_t>(handle)) != 0;
}

}  // namespace

extern "C" {

RZD_LOWDRV_EXPORT BOOL Control(void* pvDevHandle, uint32_t dwControlCode, const char16_t* /*strIn*/, BSTR* pstrOut,
                               void* pbyBufferIn, uint32_t stInBufferSize, void* pbyBufferOut,
                               uint32_t* pstOutBufferSize, BSTR* pstrError) {
  if (pstrError == nullptr) return FALSE;
  std::string value = "-";
  if (pbyBufferIn != nullptr && stInBufferSize == 4) {
    uint32_t v = 0;
    std::memcpy(&v, pbyBufferIn, 4);
    value = Hex(v);
  }
  Journal("Control " + HandleName(pvDevHandle) + " " + Hex(dwControlCode) + " " + value + " " +
          (*pstrError == nullptr ? "clean" : "dirty"));
  uint32_t result = Scripted(dwControlCode);
  if (result == 0 && (dwControlCode & kDeviceBit) != 0 && !KnownHandle(pvDevHandle)) result = kInvalidHandle;
  if (result == 0 && dwControlCode == kOpen) {
    if (pbyBufferOut == nullptr || pstOutBufferSize == nullptr || *pstOutBufferSize < sizeof(void*)) {
      result = 0x8005;
    } else {
      State& state = Fake();
      std::lock_guard guard(state.lock);
      const uintptr_t handle = state.next++;
      state.handles.insert(handle);
      std::memcpy(pbyBufferOut, &handle, sizeof handle);
      *pstOutBufferSize = sizeof handle;
    }
  }
  if (result == 0 && dwControlCode == kClose) {
    State& state = Fake();
    std::lock_guard guard(state.lock);
    state.handles.erase(reinterpret_cast<uintptr_t>(pvDevHandle));
  }
  // The scanner information, when the script's folder holds it.
  if (result == 0 && dwControlCode == kScannerInfo && pstrOut != nullptr) {
    if (std::optional<std::string> info = FolderFile("info.xml")) *pstrOut = rzd::AllocBstr(rzd::FromUtf8(*info));
  }
  *pstrError = ResultDocument(result);
  Journal("done " + Hex(dwControlCode) + " " + Hex(result));
  return result == 0 ? TRUE : FALSE;
}

#ifndef RZD_FAKE_WITHOUT_READ
RZD_LOWDRV_EXPORT BOOL Read(void* pvDevHandle, uint8_t* pbyBufferOut, uint32_t* pstActualSizeOut,
                            BSTR* pstrMetaOut, uint32_t* pdwBoundary) {
  Journal("Read " + HandleName(pvDevHandle) + " " + (pstrMetaOut != nullptr && *pstrMetaOut == nullptr ? "clean" : "dirty"));
  if (pdwBoundary != nullptr) *pdwBoundary = 6;
  // A page of 0xAB bytes (as many as the page file's first line says, within the region) with
  // the page file's document, when the script's folder holds one.
  std::optional<std::string> page = FolderFile("page.xml");
  if (page && pbyBufferOut != nullptr && pstActualSizeOut != nullptr && pstrMetaOut != nullptr) {
    const size_t lineEnd = page->find('\n');
    const uint32_t bytes = std::min<uint32_t>(*pstActualSizeOut, static_cast<uint32_t>(std::stoul(page->substr(0, lineEnd))));
    std::memset(pbyBufferOut, 0xAB, bytes);
    *pstActualSizeOut = bytes;
    *pstrMetaOut = rzd::AllocBstr(rzd::FromUtf8(page->substr(lineEnd + 1)));
    return TRUE;
  }
  if (pstActualSizeOut != nullptr) *pstActualSizeOut = 0;
  return TRUE;
}
#endif

}  // extern "C"
