// CLogClient: names, level flags, lazy initialisation and the six printers.
#include "foundation/log_client.h"

#include "foundation/folders.h"
#include "platform/process.h"
#include "platform/text.h"

#include <ctime>

namespace rzd {

namespace {

// "YYYY-MM-DD HH.MM.SS" of a UTC time: the time part of dump file names.
std::u16string DumpTimeText(std::chrono::system_clock::time_point when) {
  std::time_t whole = std::chrono::system_clock::to_time_t(when);
  std::tm utc{};
  if (gmtime_r(&whole, &utc) == nullptr) return u"0000-00-00 00.00.00";
  return FormatW(u"%04d-%02d-%02d %02d.%02d.%02d", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                 utc.tm_min, utc.tm_sec);
}

}  // namespace

CLogClient::CLogClient(std::u16string featureName, CLogInterfacePtr holder)
    : holder_(holder), featureName_(std::move(featureName)), dataFeatureName_(featureName_ + u".Data") {}

CLogClient::CLogClient(const CLogClient& other)
    : holder_(other.GetLogHolder()),
      defaultFlag_(other.defaultFlag_.load()),
      featureName_(other.featureName_),
      dataFeatureName_(other.dataFeatureName_) {}

CLogClient::~CLogClient() = default;

void CLogClient::SetLogObject2(CLogInterfacePtr holder) {
  std::lock_guard guard(initLock_);
  holder_.store(holder, std::memory_order_release);
  featureLevel_.store(nullptr);
  dataLevel_.store(nullptr);
  initialised_.store(false, std::memory_order_release);
}

void CLogClient::Initialise() const {
  std::lock_guard guard(initLock_);
  if (initialised_.load(std::memory_order_acquire)) return;
  LogObjectUse logger(holder_.load(std::memory_order_acquire));
  if (!logger) return;  // tried again at the next call
  featureLevel_.store(logger->GetFeatureLevel(featureName_));
  dataLevel_.store(logger->GetFeatureLevel(dataFeatureName_));
  std::filesystem::path folder;
  if (GetCommonAppDataFolder(kCompanyName, u"Diagnostics\\LOGDATA", &folder, false, false)) {
    dumpPrefix_ = folder / ToUtf8(DumpTimeText(LogClockNow()));
    dumpsEnabled_ = true;
  }
  initialised_.store(true, std::memory_order_release);
}

CLogInterface* CLogClient::GetLogObject() const {
  CLogInterfacePtr holder = holder_.load(std::memory_order_acquire);
  if (holder == nullptr || holder->Get() == nullptr) return nullptr;  // no lock taken while no logger exists
  if (!initialised_.load(std::memory_order_acquire)) Initialise();
  return holder->Get();
}

uint32_t CLogClient::_getFeatureFlag() const {
  FeatureLevel* level = featureLevel_.load();
  if (level == nullptr && GetLogObject() != nullptr) level = featureLevel_.load();
  return static_cast<uint32_t>(level != nullptr ? level->load(std::memory_order_relaxed) : defaultFlag_.load());
}

uint32_t CLogClient::_getDataFlag() const {
  FeatureLevel* level = dataLevel_.load();
  if (level == nullptr && GetLogObject() != nullptr) level = dataLevel_.load();
  return static_cast<uint32_t>(level != nullptr ? level->load(std::memory_order_relaxed) : defaultFlag_.load());
}

const FeatureLevel* CLogClient::FeatureLevelPointer() const {
  const FeatureLevel* level = featureLevel_.load();
  return level != nullptr ? level : &defaultFlag_;
}

const FeatureLevel* CLogClient::DataLevelPointer() const {
  const FeatureLevel* level = dataLevel_.load();
  return level != nullptr ? level : &defaultFlag_;
}

const std::u16string& CLogClient::GetFeatureName() const { return featureName_; }
const std::u16string& CLogClient::GetDataFeatureName() const { return dataFeatureName_; }

void CLogClient::Print(uint32_t level, bool data, const char16_t* operation, const char16_t* format,
                       va_list args) const noexcept {
  try {
    GetLogObject();  // initialises on first use
    // A logger withdrawn since the caller's test: the line is dropped.
    LogObjectUse logger(holder_.load(std::memory_order_acquire));
    if (!logger) return;
    std::u16string text = VFormatWString(format, args);
    std::u16string stamp = GetTimeStamp();
    const std::u16string& name = data ? dataFeatureName_ : featureName_;
    logger->Log(level, CurrentProcessId(), CurrentThreadId(), stamp.c_str(), name.c_str(), text.c_str());
  } catch (...) {
    try {
      OutputDebugText(u"Unhandled exception in " + std::u16string(operation) + u"\n");
    } catch (...) {
    }
  }
}

#define RZD_DEFINE_PRINTER_(op, name, level, data)            \
  void CLogClient::op(const char16_t* format, ...) const {    \
    va_list args;                                             \
    va_start(args, format);                                   \
    Print(level, data, name, format, args);                   \
    va_end(args);                                             \
  }

RZD_DEFINE_PRINTER_(_LogFmtError, u"_LogFmtError", LOG_LEVEL_ERROR, false)
RZD_DEFINE_PRINTER_(_LogFmtWarn, u"_LogFmtWarn", LOG_LEVEL_WARN, false)
RZD_DEFINE_PRINTER_(_LogFmtInfo, u"_LogFmtInfo", LOG_LEVEL_INFO, false)
RZD_DEFINE_PRINTER_(_LogDataFmtError, u"_LogDataFmtError", LOG_LEVEL_ERROR, true)
RZD_DEFINE_PRINTER_(_LogDataFmtWarn, u"_LogDataFmtWarn", LOG_LEVEL_WARN, true)
RZD_DEFINE_PRINTER_(_LogDataFmtInfo, u"_LogDataFmtInfo", LOG_LEVEL_INFO, true)

#undef RZD_DEFINE_PRINTER_

}  // namespace rzd
