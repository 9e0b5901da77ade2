// The tests' fake driver library: exports Control and Read like liblowdrv.so, opens any path it
// is given, keeps its handles, records every call in the journal and fails or holds calls as the
// script says (fake_driver_files.h). Control and Read refuse what the real library refuses before
// it does any work, whatever the script says: the hardware reset, and every call whose arguments
// break the export's argument contract (lowdrv/core/argument_contract.h, the driver's own check).
#include "fake_driver_files.h"

#include "lowdrv/core/api.h"
#include "lowdrv/core/argument_contract.h"
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

namespace cc = rzd::lowdrv::cc;
constexpr uint32_t kInvalidHandle = rzd::lowdrv::lld::kInvalidDeviceHandle;
constexpr uint32_t kNotImplemented = rzd::lowdrv::lld::kNotImplemented;
// What the fake writes into an output buffer.
constexpr uint32_t kOutputNumber = 42;
// Inputs up to this size are written into the journal byte by byte.
constexpr uint32_t kJournalBytes = 32;

struct State {
  std::mutex lock;
  std::set<uintptr_t> handles;
  uintptr_t next = 1;
  // Calls a counted rule has answered, by its script (the root's: the library may stay loaded
  // from one test's root to the next) and its line number.
  std::map<std::pair<std::string, size_t>, uint32_t> used;
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

// Whether the rule on line `number` of the script answers one more call: always without a count
// (`countText` empty), else while it has answered fewer than its count. The call is counted.
bool TakeRuleCall(size_t number, const std::string& countText) {
  const std::optional<uint32_t> count = countText.empty() ? std::nullopt : Number(countText);
  State& state = Fake();
  std::lock_guard guard(state.lock);
  uint32_t& used = state.used[{FakeDriverScript().string(), number}];
  if (count && used >= *count) return false;
  ++used;
  return true;
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
      if (failure && TakeRuleCall(number, countText)) result = *failure;
    }
  }
  return result;
}

#ifndef RZD_FAKE_WITHOUT_READ
// The answer the script gives the next Read: the first "read" rule with calls left, as (result,
// boundary); nullopt when none has.
std::optional<std::pair<uint32_t, uint32_t>> ScriptedRead() {
  std::ifstream in(FakeDriverScript());
  std::string line;
  for (size_t number = 0; std::getline(in, line); ++number) {
    std::istringstream words(line);
    std::string verb, resultText, boundaryText, countText;
    words >> verb >> resultText >> boundaryText >> countText;
    if (verb != "read") continue;
    const std::optional<uint32_t> result = Number(resultText);
    const std::optional<uint32_t> boundary = Number(boundaryText);
    if (!result || !boundary || !TakeRuleCall(number, countText)) continue;
    return std::make_pair(*result, *boundary);
  }
  return std::nullopt;
}
#endif

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

// What a call passes besides its code and handle, for the journal: " in=<size> bytes=<hex>
// out=<size> bstr=<0|1> text=<text>", "-" for what is not given (inputs above kJournalBytes
// bytes without their bytes), the text last and with line breaks written as \n.
std::string Arguments(const char16_t* text, BSTR* result, const void* input, uint32_t inputSize, const void* output,
                      const uint32_t* outputSize) {
  std::string line = " in=";
  line += input != nullptr ? std::to_string(inputSize) : "-";
  line += " bytes=";
  if (input != nullptr && inputSize != 0 && inputSize <= kJournalBytes) {
    for (uint32_t i = 0; i < inputSize; ++i) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", static_cast<const uint8_t*>(input)[i]);
      line += hex;
    }
  } else {
    line += "-";
  }
  line += " out=";
  line += output != nullptr && outputSize != nullptr ? std::to_string(*outputSize) : "-";
  line += result != nullptr ? " bstr=1" : " bstr=0";
  line += " text=";
  if (text == nullptr) return line + "-";
  for (char c : rzd::ToUtf8(text)) {
    if (c == '\n') {
      line += "\\n";
    } else if (c != '\r') {
      line += c;
    }
  }
  return line;
}

}  // namespace

extern "C" {

RZD_LOWDRV_EXPORT BOOL Control(void* pvDevHandle, uint32_t dwControlCode, const char16_t* strIn, BSTR* pstrOut,
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
          (*pstrError == nullptr ? "clean" : "dirty") +
          Arguments(strIn, pstrOut, pbyBufferIn, stInBufferSize, pbyBufferOut, pstOutBufferSize));
  // As the real library: the hardware reset is refused at once, a call that breaks its code's
  // argument contract is refused before any code runs (the script's rules included), and no
  // error document is written for a call that no open unit took part in.
  bool documented = false;
  uint32_t result = kNotImplemented;
  if (dwControlCode != cc::kResetHardware) {
    const rzd::lowdrv::ControlArguments args{pvDevHandle, dwControlCode, strIn, pstrOut, pbyBufferIn, stInBufferSize,
                                             pbyBufferOut, pstOutBufferSize};
    result = rzd::lowdrv::CheckCommandArguments(args, [&documented](void* handle, bool) -> uint32_t {
      if (!KnownHandle(handle)) return kInvalidHandle;
      documented = true;
      return 0;
    });
    // A scripted failure or hold is the code's own answer.
    if (result == 0) result = Scripted(dwControlCode);
  }
  if (result == 0 && dwControlCode == cc::kOpen) {
    if (*pstOutBufferSize < sizeof(void*)) {
      result = rzd::lowdrv::lld::kInvalidParameter;
    } else {
      State& state = Fake();
      std::lock_guard guard(state.lock);
      const uintptr_t handle = state.next++;
      state.handles.insert(handle);
      std::memcpy(pbyBufferOut, &handle, sizeof handle);
      *pstOutBufferSize = sizeof handle;
      documented = true;
    }
  }
  if (result == 0 && dwControlCode == cc::kClose) {
    State& state = Fake();
    std::lock_guard guard(state.lock);
    state.handles.erase(reinterpret_cast<uintptr_t>(pvDevHandle));
    documented = false;  // after a close no driver object is at hand
  }
  // The scanner information, when the script's folder holds it; the folder's answer.xml for
  // every other code with a BSTR result.
  if (result == 0 && (dwControlCode & rzd::lowdrv::ccbit::kBstrOut) != 0) {
    if (std::optional<std::string> text = FolderFile(dwControlCode == cc::kScannerInfo ? "info.xml" : "answer.xml")) {
      *pstrOut = rzd::AllocBstr(rzd::FromUtf8(*text));
    }
  }
  // A code with an output buffer (but the open) receives the number kOutputNumber.
  if (result == 0 && dwControlCode != cc::kOpen && (dwControlCode & rzd::lowdrv::ccbit::kBufferOut) != 0 &&
      *pstOutBufferSize >= sizeof kOutputNumber) {
    std::memcpy(pbyBufferOut, &kOutputNumber, sizeof kOutputNumber);
    *pstOutBufferSize = sizeof kOutputNumber;
  }
  if (documented) *pstrError = ResultDocument(result);
  Journal("done " + Hex(dwControlCode) + " " + Hex(result));
  return result == 0 ? TRUE : FALSE;
}

#ifndef RZD_FAKE_WITHOUT_READ
RZD_LOWDRV_EXPORT BOOL Read(void* pvDevHandle, uint8_t* pbyBufferOut, uint32_t* pstActualSizeOut,
                            BSTR* pstrMetaOut, uint32_t* pdwBoundary) {
  Journal("Read " + HandleName(pvDevHandle) + " " + (pstrMetaOut != nullptr && *pstrMetaOut == nullptr ? "clean" : "dirty"));
  // As the real library: a call missing an argument, or on a handle no open gave, is refused
  // before the script is asked, and nothing is written.
  const auto check = rzd::lowdrv::CheckReadArguments(pvDevHandle, pbyBufferOut, pstActualSizeOut, pstrMetaOut, pdwBoundary);
  if (check.error != 0 || !KnownHandle(pvDevHandle)) {
    return FALSE;
  }
  const std::optional<std::pair<uint32_t, uint32_t>> scripted = ScriptedRead();
  *pdwBoundary = scripted ? scripted->second : 6;
  // A scripted failure: no bytes, and the error document where the page document goes.
  if (scripted && scripted->first != 0) {
    *pstActualSizeOut = 0;
    SysFreeString(*pstrMetaOut);
    *pstrMetaOut = ResultDocument(scripted->first);
    return FALSE;
  }
  // A page of 0xAB bytes (as many as the page file's first line says, within the region) with
  // the page file's document, when the script's folder holds one.
  std::optional<std::string> page = FolderFile("page.xml");
  if (page) {
    const size_t lineEnd = page->find('\n');
    const uint32_t bytes = std::min<uint32_t>(*pstActualSizeOut, static_cast<uint32_t>(std::stoul(page->substr(0, lineEnd))));
    std::memset(pbyBufferOut, 0xAB, bytes);
    *pstActualSizeOut = bytes;
    *pstrMetaOut = rzd::AllocBstr(rzd::FromUtf8(page->substr(lineEnd + 1)));
    return TRUE;
  }
  *pstActualSizeOut = 0;
  return TRUE;
}
#endif

}  // extern "C"
