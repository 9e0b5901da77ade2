// What the driver keeps for the whole process rather than per driver object: the count of open
// driver objects, which object holds the old-driver event, the engine records of the last
// configuration read (the inquiry record the next opens reuse, the NVRAM record, the LCD string
// table) and the power time-out limits. One lock guards all of it.
//
// The process's NVRAM record is one record: the settings model's process-wide copy, which its
// power-time setters change while settings are applied (CRZDScannerSettingsBase::NVMDataCopy).
// The process's inquiry record is one record too: the settings model's process-wide copy, which
// Init writes and the model's rule changes (CRZDScannerSettingsBase::InquiryCopy), and which the
// model driver's open changes again. The functions below add whether one was stored and, for the
// inquiry, what the engine reported beside it.
#pragma once

#include "lowdrv/engine/reduzid_interface.h"
#include "lowdrv/settings/settings_base.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace rzd::lowdrv::driver_process {

// The LCD string table as the configuration read found it.
struct LcdStringTable {
  uint8_t header[20] = {};
  std::vector<uint8_t> block;   // 7 + 260 x count bytes as read
  uint16_t currentString = 0;   // the header's last value
};

std::mutex& Lock();

// Held across a change of the open count and the start or stop of the buttons thread that goes
// with it, so an open and a close of two objects on two threads never cross. Taken before Lock().
std::mutex& OpenLock();

// ---- Open count (under Lock()).
uint32_t OpenCount();
// Raise and lower; each answers the count after the change.
uint32_t RaiseOpenCount();
uint32_t LowerOpenCount();

// ---- The old-driver event: the object that took it, or null.
const void* OldDriverHolder();
void SetOldDriverHolder(const void* holder);
// Clears the holder when it is `holder`; true when it was. The holder is cleared before the event
// is set, so the next taker's mark is never wiped out by the one giving it back.
bool ClearOldDriverHolder(const void* holder);

// ---- Engine records of the last configuration read.
// The process's inquiry record with the capabilities stored beside it; nullopt until stored.
std::optional<EngineInquiryCache> CachedInquiry();
// Makes `cache` the process's record and capabilities.
void StoreInquiry(const EngineInquiryCache& cache);
// Stores the capabilities and marks the record that the settings model holds as stored.
void StoreInquiryCaps(const EngineCapabilities& caps);
std::optional<ReduzidNVMData> CachedNVMData();
void StoreNVMData(const ReduzidNVMData& nvm);
bool HasLcdStringTable();
void StoreLcdStringTable(LcdStringTable table);
std::optional<LcdStringTable> CachedLcdStringTable();

// ---- Power time-out limits (as LoadPowerTimeoutLimits last found them).
RZDPowerTimeoutLimits PowerLimits();
void StorePowerLimits(const RZDPowerTimeoutLimits& limits);

// Forgets every stored record (tests that start a fresh process state in one process).
void ForgetRecords();

}  // namespace rzd::lowdrv::driver_process
