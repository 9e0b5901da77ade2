// CLogClient: the logging mix-in every logging class derives from. It gives the class a feature
// name, a data feature name (feature name + ".Data"), cached level pointers, six printf-style
// printers and dump files for large texts.
//
// How a class logs: derive from CLogClient, pass the fixed feature name to its constructor, and
// write every line through the macros below. A macro tests the line's level bit and that a
// logger exists before any argument is evaluated, so a line that is off costs two loads:
//
//   class CFoo : public rzd::CLogClient {
//    public:
//     CFoo() : CLogClient(u"CFoo") {}
//     void Open() {
//       RZD_LOG_INFO(u"Open called for %s", name_.c_str());
//       if (failed) RZD_LOG_ERROR(u"Open failed because %s", reason);
//       RZD_LOG_DATA_INFO(u"settings: %s", xml.c_str());
//       RZD_LOG_DATA_FILE_XML(u"Open", xml.c_str(), rzd::LogEntryInfo);
//     }
//   };
//
// The *_OF forms take the object explicitly (a free-standing CLogClient instance, or another
// object). The printers themselves test neither the level nor the logger; call them directly
// only behind the same tests.
#pragma once

#include "foundation/log_interface.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>

namespace rzd {

// The level of the line that announces a dump: one of the level bits.
enum LogEntryClass : uint32_t {
  LogEntryError = 1,
  LogEntryWarn = 2,
  LogEntryInfo = 4,
};

class CLogClient {
 public:
  // `featureName` is the class's fixed name; the logger slot defaults to this deliverable's own.
  explicit CLogClient(std::u16string featureName, CLogInterfacePtr holder = GetGlobalLogObject());
  // A copy has the same names, slot and default flag, and a logging state of its own.
  CLogClient(const CLogClient& other);
  // Assignment leaves the logging state as it is (names are fixed per object).
  CLogClient& operator=(const CLogClient&) { return *this; }
  virtual ~CLogClient();

  // ---- The 15 operations, in this order.
  // Replaces the logger slot; the next level test or GetLogObject initialises again.
  virtual void SetLogObject2(CLogInterfacePtr holder);
  virtual void _LogFmtError(const char16_t* format, ...) const;
  virtual void _LogFmtWarn(const char16_t* format, ...) const;
  virtual void _LogFmtInfo(const char16_t* format, ...) const;
  virtual void _LogDataFmtError(const char16_t* format, ...) const;
  virtual void _LogDataFmtWarn(const char16_t* format, ...) const;
  virtual void _LogDataFmtInfo(const char16_t* format, ...) const;
  // The level bits of the feature (or data feature); the default flag while no logger is known.
  virtual uint32_t _getFeatureFlag() const;
  virtual uint32_t _getDataFlag() const;
  // Initialises on first use (level pointers, dump prefix), then the current logger or null.
  virtual CLogInterface* GetLogObject() const;
  virtual const std::u16string& GetFeatureName() const;
  virtual const std::u16string& GetDataFeatureName() const;
  // Writes `text` to a dump file named from the first-use time (UTC), a four-digit counter, the
  // feature name, `name` and `extension`, in the dump folder, and announces the path with
  // "LARGE FILE %s" at the class's level on the data feature. An empty text writes no file and
  // logs "<NULLSTRING>" instead. Without the dump folder no file is written.
  virtual void _LogLargeFile(const char16_t* name, const char16_t* text, const char16_t* extension,
                             LogEntryClass entryClass) const;
  virtual void _LogDataFile(const char16_t* name, const char16_t* text, LogEntryClass entryClass) const;
  virtual void _LogDataFileXML(const char16_t* name, const char16_t* text, LogEntryClass entryClass) const;

  // ---- Helpers for call traces and tests (not part of the operation block).
  CLogInterfacePtr GetLogHolder() const { return holder_.load(std::memory_order_acquire); }
  // The level entries a call trace reads: the map entries once known, else the default flag.
  const FeatureLevel* FeatureLevelPointer() const;
  const FeatureLevel* DataLevelPointer() const;

 protected:
  // The level answered while no level pointer is known (0 unless a class sets another).
  void SetDefaultFlag(uint32_t flags) { defaultFlag_.store(static_cast<int32_t>(flags)); }

 private:
  void Initialise() const;
  void Print(uint32_t level, bool data, const char16_t* operation, const char16_t* format,
             va_list args) const noexcept;
  void LargeFile(const char16_t* name, const char16_t* text, const char16_t* extension,
                 LogEntryClass entryClass) const;
  void Announce(LogEntryClass entryClass, const std::u16string& path) const;

  std::atomic<CLogInterfacePtr> holder_;
  FeatureLevel defaultFlag_{0};
  // Logging state: changed by the first log test of any thread, so mutable behind the locks.
  mutable std::atomic<FeatureLevel*> featureLevel_{nullptr};
  mutable std::atomic<FeatureLevel*> dataLevel_{nullptr};
  const std::u16string featureName_;
  const std::u16string dataFeatureName_;
  mutable std::atomic<uint32_t> dumpCounter_{0};
  mutable std::filesystem::path dumpPrefix_;  // guarded by initLock_
  mutable bool dumpsEnabled_ = false;         // guarded by initLock_
  mutable std::atomic<bool> initialised_{false};
  mutable std::mutex initLock_;
};

}  // namespace rzd

// ---- Log sites. Each tests the level bit and the logger before its arguments are evaluated.
#define RZD_LOG_LINE_OF_(obj, flag, bit, printer, ...)                                  \
  do {                                                                                  \
    auto& rzdLogObject_ = (obj);                                                        \
    if ((rzdLogObject_.flag() & (bit)) != 0u && rzdLogObject_.GetLogObject() != nullptr) \
      rzdLogObject_.printer(__VA_ARGS__);                                               \
  } while (0)

#define RZD_LOG_ERROR_OF(obj, ...) RZD_LOG_LINE_OF_(obj, _getFeatureFlag, 1u, _LogFmtError, __VA_ARGS__)
#define RZD_LOG_WARN_OF(obj, ...) RZD_LOG_LINE_OF_(obj, _getFeatureFlag, 2u, _LogFmtWarn, __VA_ARGS__)
#define RZD_LOG_INFO_OF(obj, ...) RZD_LOG_LINE_OF_(obj, _getFeatureFlag, 4u, _LogFmtInfo, __VA_ARGS__)
#define RZD_LOG_DATA_ERROR_OF(obj, ...) RZD_LOG_LINE_OF_(obj, _getDataFlag, 1u, _LogDataFmtError, __VA_ARGS__)
#define RZD_LOG_DATA_WARN_OF(obj, ...) RZD_LOG_LINE_OF_(obj, _getDataFlag, 2u, _LogDataFmtWarn, __VA_ARGS__)
#define RZD_LOG_DATA_INFO_OF(obj, ...) RZD_LOG_LINE_OF_(obj, _getDataFlag, 4u, _LogDataFmtInfo, __VA_ARGS__)
// Dumps: written when the data level has the class's bit.
#define RZD_LOG_DATA_FILE_OF(obj, name, text, entryClass) \
  RZD_LOG_LINE_OF_(obj, _getDataFlag, static_cast<uint32_t>(entryClass), _LogDataFile, name, text, entryClass)
#define RZD_LOG_DATA_FILE_XML_OF(obj, name, text, entryClass) \
  RZD_LOG_LINE_OF_(obj, _getDataFlag, static_cast<uint32_t>(entryClass), _LogDataFileXML, name, text, entryClass)

#define RZD_LOG_ERROR(...) RZD_LOG_ERROR_OF(*this, __VA_ARGS__)
#define RZD_LOG_WARN(...) RZD_LOG_WARN_OF(*this, __VA_ARGS__)
#define RZD_LOG_INFO(...) RZD_LOG_INFO_OF(*this, __VA_ARGS__)
#define RZD_LOG_DATA_ERROR(...) RZD_LOG_DATA_ERROR_OF(*this, __VA_ARGS__)
#define RZD_LOG_DATA_WARN(...) RZD_LOG_DATA_WARN_OF(*this, __VA_ARGS__)
#define RZD_LOG_DATA_INFO(...) RZD_LOG_DATA_INFO_OF(*this, __VA_ARGS__)
#define RZD_LOG_DATA_FILE(name, text, entryClass) RZD_LOG_DATA_FILE_OF(*this, name, text, entryClass)
#define RZD_LOG_DATA_FILE_XML(name, text, entryClass) RZD_LOG_DATA_FILE_XML_OF(*this, name, text, entryClass)

// Conditions for a site that builds its text in several steps: true when the line would be written.
#define RZD_LOG_ON_OF(obj, bit) ((((obj)._getFeatureFlag() & (bit)) != 0u) && (obj).GetLogObject() != nullptr)
#define RZD_LOG_DATA_ON_OF(obj, bit) ((((obj)._getDataFlag() & (bit)) != 0u) && (obj).GetLogObject() != nullptr)
#define RZD_LOG_ON(bit) RZD_LOG_ON_OF(*this, bit)
#define RZD_LOG_DATA_ON(bit) RZD_LOG_DATA_ON_OF(*this, bit)
