// Call traces: a traced method creates one CFuncTrace on entry, held by a CFuncTraceHolder on its
// stack. The trace writes "<Class>::<Method> Entered." (feature level bit 4), the input
// parameters (data level bit 4), and at scope exit the output parameters (data level bit 4) and
// "<Class>::<Method> Exited" with the method's result (always, once the trace exists).
//
// Result slots and output parameters are pointers to the caller's variables, read only when the
// trace ends: every variable registered must outlive the holder (declare the result and output
// variables before RZD_FUNC_TRACE).
//
// How a method traces:
//
//   HRESULT CFoo::Lock(LONG lPID, LONG* lpStatus, DWORD dwTimeout) {
//     HRESULT hr = S_OK;
//     RZD_FUNC_TRACE(u"CFoo::Lock");
//     RZD_TRACE_HRESULT(&hr, u"LONG lPID = 0x%08X, LONG* lpStatus = 0x%p, DWORD dwTimeout = %d",
//                       lPID, lpStatus, dwTimeout);
//     RZD_TRACE_OUTPUT(u"*lpStatus = 0x%08X", lpStatus, rzd::kTraceUInt32);
//     ...
//     return hr;
//   }
//
// Nothing is built, and no macro argument is evaluated, unless bit 4 is set in the feature or
// the data level and a logger exists.
#pragma once

#include "foundation/log_client.h"
#include "foundation/log_interface.h"
#include "platform/errors.h"

#include <cstdarg>
#include <cstdint>
#include <map>
#include <string>

namespace rzd {

// How an output parameter is read through its pointer and handed to its format.
enum TraceParamType : int {
  kTraceUInt8 = 0,     // unsigned 8-bit
  kTraceInt8 = 1,      // signed 8-bit
  kTraceByte = 2,      // unsigned 8-bit
  kTraceUInt16 = 3,    // unsigned 16-bit
  kTraceInt32 = 4,     // 32-bit
  kTraceInt16 = 5,     // signed 16-bit, widened with its sign
  kTraceUInt32 = 6,    // 32-bit
  kTraceFloat = 7,     // float, widened to double
  kTraceDouble = 8,    // double
  kTraceInt64 = 9,     // 64-bit integer (format with %I64d / %lld)
  kTraceUInt64 = 10,   // 64-bit integer (format with %I64X / %llu)
  kTraceString = 11,   // std::u16string: its text (%s)
  kTracePointer = 12,  // a pointer variable, all of its bits (%p, or %I64X)
  kTraceText = 32,     // a const char16_t* (or BSTR) variable: its text, "(null)" when null (%s)
};

// Ends an AddOutputParams list.
inline constexpr const char16_t* kTraceEnd = nullptr;

class CFuncTrace {
 public:
  // Logs "<functionName> Entered." when the feature level has bit 4. The names and levels are the
  // owner's and must outlive the trace. The trace re-reads the logger from `holder` for each line.
  CFuncTrace(const char16_t* functionName, CLogInterfacePtr holder, const std::u16string* featureName,
             const FeatureLevel* featureLevel, const std::u16string* dataFeatureName,
             const FeatureLevel* dataLevel);
  // Writes the output-parameter line and the exit line.
  virtual ~CFuncTrace();
  CFuncTrace(const CFuncTrace&) = delete;
  CFuncTrace& operator=(const CFuncTrace&) = delete;

  // "<functionName>: <text>" at level 4 to the data feature, when the data level has bit 4.
  void Log(const char16_t* format, ...);
  void LogV(const char16_t* format, va_list args);

  // Result slots: store the pointer to the caller's result; a format, when given, is logged as
  // with Log (the traced methods pass their input parameters here). The first slot set, in the
  // order HRESULT, bool, int, string, pointer, DWORD, WORD, float, is printed at exit.
  void SetHResultReturn(const HRESULT* result, const char16_t* format = nullptr, ...);
  void SetBoolReturn(const bool* result, const char16_t* format = nullptr, ...);
  void SetIntReturn(const int32_t* result, const char16_t* format = nullptr, ...);
  void SetStringReturn(const std::u16string* result, const char16_t* format = nullptr, ...);
  // `result` is the address of a pointer variable of any pointer type.
  void SetPointerReturn(const void* result, const char16_t* format = nullptr, ...);
  void SetDWordReturn(const uint32_t* result, const char16_t* format = nullptr, ...);
  void SetWordReturn(const uint16_t* result, const char16_t* format = nullptr, ...);
  void SetFloatReturn(const float* result, const char16_t* format = nullptr, ...);

  // (format, pointer, TraceParamType) triples numbered 0, 1, 2 ... in the order given; the list
  // ends at the first null format or null pointer, and must be ended with kTraceEnd. A second
  // call numbers from 0 again and replaces the entries with the same numbers.
  void AddOutputParams(const char16_t* format, const void* value, int type, ...);

  // True when the data level has bit 4 (input and output parameters are wanted).
  bool DataTracing() const;

 private:
  struct OutputParam {
    std::u16string format;
    int type = 0;
    const void* value = nullptr;
  };
  void Write(uint32_t level, bool data, const std::u16string& text) const;
  std::u16string FormatOutputParam(const OutputParam& param) const;
  std::u16string ResultText() const;

  CLogInterfacePtr holder_;
  const std::u16string* featureName_;
  const std::u16string* dataFeatureName_;
  const FeatureLevel* featureLevel_;
  const FeatureLevel* dataLevel_;
  std::u16string functionName_;
  const HRESULT* hresultReturn_ = nullptr;
  const bool* boolReturn_ = nullptr;
  const int32_t* intReturn_ = nullptr;
  const std::u16string* stringReturn_ = nullptr;
  const void* pointerReturn_ = nullptr;
  const uint32_t* dwordReturn_ = nullptr;
  const uint16_t* wordReturn_ = nullptr;
  const float* floatReturn_ = nullptr;
  std::map<int, OutputParam> outputParams_;
};

// Owns the trace of one call and deletes it (writing the exit lines) on every way out.
class CFuncTraceHolder {
 public:
  explicit CFuncTraceHolder(CFuncTrace* trace = nullptr) : m_pTrace(trace) {}
  ~CFuncTraceHolder() { Reset(); }
  CFuncTraceHolder(const CFuncTraceHolder&) = delete;
  CFuncTraceHolder& operator=(const CFuncTraceHolder&) = delete;
  void Reset() {
    delete m_pTrace;
    m_pTrace = nullptr;
  }
  CFuncTrace* Get() const { return m_pTrace; }
  CFuncTrace* operator->() const { return m_pTrace; }
  explicit operator bool() const { return m_pTrace != nullptr; }

  CFuncTrace* m_pTrace;
};

// A trace for `owner`'s method, or null when neither the feature nor the data level has bit 4 or
// no logger exists.
CFuncTrace* CreateFuncTrace(const CLogClient& owner, const char16_t* functionName);

}  // namespace rzd

#define RZD_FUNC_TRACE_OF(obj, functionName) \
  ::rzd::CFuncTraceHolder rzdFuncTrace_(::rzd::CreateFuncTrace((obj), functionName))
#define RZD_FUNC_TRACE(functionName) RZD_FUNC_TRACE_OF(*this, functionName)

// Result slot and input parameters: set only when the trace exists and its data level has bit 4.
#define RZD_TRACE_RESULT_(setter, result, ...)                         \
  do {                                                                  \
    if (rzdFuncTrace_ && rzdFuncTrace_->DataTracing())                  \
      rzdFuncTrace_->setter(result __VA_OPT__(, ) __VA_ARGS__);         \
  } while (0)
#define RZD_TRACE_HRESULT(result, ...) RZD_TRACE_RESULT_(SetHResultReturn, result __VA_OPT__(, ) __VA_ARGS__)
#define RZD_TRACE_BOOL(result, ...) RZD_TRACE_RESULT_(SetBoolReturn, result __VA_OPT__(, ) __VA_ARGS__)
#define RZD_TRACE_INT(result, ...) RZD_TRACE_RESULT_(SetIntReturn, result __VA_OPT__(, ) __VA_ARGS__)
#define RZD_TRACE_STRING(result, ...) RZD_TRACE_RESULT_(SetStringReturn, result __VA_OPT__(, ) __VA_ARGS__)
#define RZD_TRACE_POINTER(result, ...) RZD_TRACE_RESULT_(SetPointerReturn, result __VA_OPT__(, ) __VA_ARGS__)
#define RZD_TRACE_DWORD(result, ...) RZD_TRACE_RESULT_(SetDWordReturn, result __VA_OPT__(, ) __VA_ARGS__)
#define RZD_TRACE_WORD(result, ...) RZD_TRACE_RESULT_(SetWordReturn, result __VA_OPT__(, ) __VA_ARGS__)
#define RZD_TRACE_FLOAT(result, ...) RZD_TRACE_RESULT_(SetFloatReturn, result __VA_OPT__(, ) __VA_ARGS__)

// Output parameters: (format, pointer, TraceParamType) triples; the list end is added here.
#define RZD_TRACE_OUTPUT(...)                                                   \
  do {                                                                          \
    if (rzdFuncTrace_ && rzdFuncTrace_->DataTracing())                          \
      rzdFuncTrace_->AddOutputParams(__VA_ARGS__, ::rzd::kTraceEnd);            \
  } while (0)

// A line of the trace (data level bit 4).
#define RZD_TRACE_LOG(...)                                                      \
  do {                                                                          \
    if (rzdFuncTrace_ && rzdFuncTrace_->DataTracing()) rzdFuncTrace_->Log(__VA_ARGS__); \
  } while (0)
