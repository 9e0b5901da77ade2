// CFuncTrace: entry, input, output and exit lines of one traced call.
#include "foundation/func_trace.h"

#include "platform/process.h"
#include "platform/text.h"

#include <cstring>

namespace rzd {

CFuncTrace::CFuncTrace(const char16_t* functionName, CLogInterfacePtr holder, const std::u16string* featureName,
                       const FeatureLevel* featureLevel, const std::u16string* dataFeatureName,
                       const FeatureLevel* dataLevel)
    : holder_(holder),
      featureName_(featureName),
      dataFeatureName_(dataFeatureName),
      featureLevel_(featureLevel),
      dataLevel_(dataLevel),
      functionName_(functionName != nullptr ? functionName : u"") {
  if (featureLevel_ != nullptr && (featureLevel_->load() & LOG_LEVEL_INFO) != 0) {
    try {
      Write(LOG_LEVEL_INFO, false, functionName_ + u" Entered.");
    } catch (...) {
    }
  }
}

bool CFuncTrace::DataTracing() const { return dataLevel_ != nullptr && (dataLevel_->load() & LOG_LEVEL_INFO) != 0; }

void CFuncTrace::Write(uint32_t level, bool data, const std::u16string& text) const {
  LogObjectUse logger(holder_);
  if (!logger) return;
  const std::u16string* name = data ? dataFeatureName_ : featureName_;
  std::u16string stamp = GetTimeStamp();
  logger->Log(level, CurrentProcessId(), CurrentThreadId(), stamp.c_str(), name != nullptr ? name->c_str() : u"",
              text.c_str());
}

void CFuncTrace::LogV(const char16_t* format, va_list args) {
  if (!DataTracing()) return;
  try {
    Write(LOG_LEVEL_INFO, true, functionName_ + u": " + VFormatWString(format, args));
  } catch (...) {
    OutputDebugText(u"Unhandled exception in CFuncTrace::LogV\n");
  }
}

void CFuncTrace::Log(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  LogV(format, args);
  va_end(args);
}

#define RZD_DEFINE_RESULT_SETTER_(setter, type, member) \
  void CFuncTrace::setter(const type* result, const char16_t* format, ...) { \
    member = result;                                                          \
    if (format == nullptr) return;                                            \
    va_list args;                                                             \
    va_start(args, format);                                                   \
    LogV(format, args);                                                       \
    va_end(args);                                                             \
  }

RZD_DEFINE_RESULT_SETTER_(SetHResultReturn, HRESULT, hresultReturn_)
RZD_DEFINE_RESULT_SETTER_(SetBoolReturn, bool, boolReturn_)
RZD_DEFINE_RESULT_SETTER_(SetIntReturn, int32_t, intReturn_)
RZD_DEFINE_RESULT_SETTER_(SetStringReturn, std::u16string, stringReturn_)
RZD_DEFINE_RESULT_SETTER_(SetPointerReturn, void, pointerReturn_)
RZD_DEFINE_RESULT_SETTER_(SetDWordReturn, uint32_t, dwordReturn_)
RZD_DEFINE_RESULT_SETTER_(SetWordReturn, uint16_t, wordReturn_)
RZD_DEFINE_RESULT_SETTER_(SetFloatReturn, float, floatReturn_)

#undef RZD_DEFINE_RESULT_SETTER_

void CFuncTrace::AddOutputParams(const char16_t* format, const void* value, int type, ...) {
  va_list args;
  va_start(args, type);
  int number = 0;
  while (format != nullptr && value != nullptr) {
    outputParams_[number++] = OutputParam{format, type, value};
    format = va_arg(args, const char16_t*);
    if (format == nullptr) break;
    value = va_arg(args, const void*);
    if (value == nullptr) break;
    type = va_arg(args, int);
  }
  va_end(args);
}

namespace {
template <typename T>
T Read(const void* address) {
  T value;
  std::memcpy(&value, address, sizeof value);
  return value;
}
}  // namespace

std::u16string CFuncTrace::FormatOutputParam(const OutputParam& param) const {
  const char16_t* format = param.format.c_str();
  const void* at = param.value;
  switch (param.type) {
    case kTraceUInt8:
    case kTraceByte: return FormatW(format, static_cast<unsigned>(Read<uint8_t>(at)));
    case kTraceInt8: return FormatW(format, static_cast<int>(Read<int8_t>(at)));
    case kTraceUInt16: return FormatW(format, static_cast<unsigned>(Read<uint16_t>(at)));
    case kTraceInt32: return FormatW(format, Read<int32_t>(at));
    case kTraceInt16: return FormatW(format, static_cast<int>(Read<int16_t>(at)));
    case kTraceUInt32: return FormatW(format, Read<uint32_t>(at));
    case kTraceFloat: return FormatW(format, static_cast<double>(Read<float>(at)));
    case kTraceDouble: return FormatW(format, Read<double>(at));
    case kTraceInt64: return FormatW(format, static_cast<long long>(Read<int64_t>(at)));
    case kTraceUInt64: return FormatW(format, static_cast<unsigned long long>(Read<uint64_t>(at)));
    case kTraceString: return FormatW(format, static_cast<const std::u16string*>(at)->c_str());
    case kTracePointer: return FormatW(format, Read<const void*>(at));
    case kTraceText: return FormatW(format, Read<const char16_t*>(at));
    default: return u"[Unknown Param Type]";
  }
}

std::u16string CFuncTrace::ResultText() const {
  if (hresultReturn_ != nullptr) return FormatW(u": (0x%08X)", static_cast<uint32_t>(*hresultReturn_));
  if (boolReturn_ != nullptr) return FormatW(u": (%s)", *boolReturn_ ? u"TRUE" : u"FALSE");
  if (intReturn_ != nullptr) return FormatW(u": (%d)", *intReturn_);
  if (stringReturn_ != nullptr) return FormatW(u": (%s)", stringReturn_->c_str());
  // A pointer prints all of its bits.
  if (pointerReturn_ != nullptr)
    return FormatW(u": (0x%8llX)", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(Read<const void*>(pointerReturn_))));
  if (dwordReturn_ != nullptr) return FormatW(u": (0x%8X)", *dwordReturn_);
  if (wordReturn_ != nullptr) return FormatW(u": (0x%4X)", static_cast<unsigned>(*wordReturn_));
  if (floatReturn_ != nullptr) return FormatW(u": (%f)", static_cast<double>(*floatReturn_));
  return u".";
}

CFuncTrace::~CFuncTrace() {
  std::u16string line = functionName_ + u": ";
  if (DataTracing() && !outputParams_.empty()) {
    try {
      try {
        bool first = true;
        for (const auto& [number, param] : outputParams_) {
          if (!first) line += u", ";
          first = false;
          line += FormatOutputParam(param);
        }
        Write(LOG_LEVEL_INFO, true, line);
      } catch (...) {
        line += u" Exception Caught.";
        Write(LOG_LEVEL_ERROR, true, line);
      }
    } catch (...) {
      try {
        Write(LOG_LEVEL_ERROR, false, u"Unhandled exception while trying to log output paramters");
      } catch (...) {
      }
    }
  }
  try {
    std::u16string exitLine = functionName_ + u" Exited";
    try {
      exitLine += ResultText();
    } catch (...) {
      Write(LOG_LEVEL_ERROR, false, u"Unhandled exception while trying to log return code");
    }
    Write(LOG_LEVEL_INFO, false, exitLine);
  } catch (...) {
  }
}

CFuncTrace* CreateFuncTrace(const CLogClient& owner, const char16_t* functionName) {
  try {
    if (((owner._getFeatureFlag() | owner._getDataFlag()) & LOG_LEVEL_INFO) == 0) return nullptr;
    if (owner.GetLogObject() == nullptr) return nullptr;
    return new CFuncTrace(functionName, owner.GetLogHolder(), &owner.GetFeatureName(), owner.FeatureLevelPointer(),
                          &owner.GetDataFeatureName(), owner.DataLevelPointer());
  } catch (...) {
    return nullptr;
  }
}

}  // namespace rzd
