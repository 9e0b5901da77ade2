// Writing one maintenance counter of the unit (operation 47).
#include "foundation/func_trace.h"
#include "foundation/xml_store.h"
#include "lowdrv/core/driver_engine.h"
#include "process_state.h"

#include <cstddef>
#include <cstring>
#include <optional>

namespace rzd::lowdrv {

namespace {

// The byte offset in the NVRAM record of the 32-bit counter an element of the information
// document names; nullopt for another name.
std::optional<size_t> CounterOffset(std::u16string_view name) {
  struct Field {
    const char16_t* name;
    size_t offset;
  };
  static constexpr Field kFields[] = {
      {u"PadScanCount", offsetof(ReduzidNVMData, PadScanCount)},
      {u"SeparationRollerScanCount", offsetof(ReduzidNVMData, PadScanCount)},
      {u"RollerScanCount", offsetof(ReduzidNVMData, RollerCount)},
      {u"ADFSimplexCount", offsetof(ReduzidNVMData, ADFSingleModeScanCount)},
      {u"ADFDuplexCount", offsetof(ReduzidNVMData, ADFDuplexModeScanCount)},
      {u"ADFMultifeedCount", offsetof(ReduzidNVMData, MultifeedCount)},
      {u"ADFJamCount", offsetof(ReduzidNVMData, JamCount)},
      {u"FlatbedScanCount", offsetof(ReduzidNVMData, FlatbedScanCount)},
      {u"ReverseRollerCount", offsetof(ReduzidNVMData, ReverseRollerCount)},
      {u"PickupRollerCount", offsetof(ReduzidNVMData, PickupRollerCount)},
      {u"FrictionRollerCount", offsetof(ReduzidNVMData, FrictionRollerCount)},
      {u"CleanCounter", offsetof(ReduzidNVMData, CleanCounter)},
  };
  for (const Field& f : kFields) {
    if (name == f.name) return f.offset;
  }
  return std::nullopt;
}

}  // namespace

LLDError CRZDREduzidLLD::ResetScannerCounter(const void* pIn, uint32_t stSizeIn, const char16_t* strXPath) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"ResetScannerCounter");
  RZD_TRACE_DWORD(&result);
  if (m_ulStatus != state::kLocked) {
    RZD_LOG_ERROR_OF(EngineLog(), u"ResetScannerCounter failed because m_ulStatus is %d", static_cast<int>(m_ulStatus));
    return result = lld::kWrongSequence;
  }
  if (!pIn || stSizeIn < 4) {
    RZD_LOG_ERROR_OF(EngineLog(), u"ResetScannerCounter failed because stSizeIn = %d", static_cast<int>(stSizeIn));
    return result = lld::kInvalidParameter;
  }
  // The document, and the record the unit itself reported for it (the object holds the unit):
  // only what the unit has goes back to it, never a value the driver did not send.
  std::u16string document;
  ReduzidNVMData record{};
  result = ReadScannerInfo(document, record);
  if (result != 0) {
    RZD_LOG_ERROR_OF(EngineLog(), u"ResetScannerCounter failed because GetScannerInfoString failed");
    return result;
  }
  MSXML6StoreSTL store;
  if (!store.LoadFromString(document)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"ResetScannerCounter failed because ParseXML failed");
    return result = lld::kInternal;
  }
  const std::u16string xpath = strXPath ? strXPath : u"";
  if (xpath.empty() || !store.SelectNode(xpath)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"ResetScannerCounter failed because SetContext failed - %s", xpath.c_str());
    return result = lld::kInvalidXmlValue;
  }
  std::u16string name;
  if (!store.GetNodeName(name)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"ResetScannerCounter failed because GetCurrentNodeName failed - %s", xpath.c_str());
    return result = lld::kInvalidXmlValue;
  }
  const std::optional<size_t> field = CounterOffset(name);
  if (!field) {
    RZD_LOG_ERROR_OF(EngineLog(), u"ResetScannerCounter failed because of unsupported counter - %s", name.c_str());
    return result = lld::kInvalidXmlValue;
  }
  ReduzidNVMData copy = record;
  std::memcpy(reinterpret_cast<uint8_t*>(&copy) + *field, pIn, sizeof(uint32_t));
  m_ReduzidScanner.m_ulCmdTimeout = m_ulCmdTimeout;
  if (!m_ReduzidScanner.SendNVRAM(copy)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"ResetScannerCounter failed because SendNVRAM failed");
    return result = m_ReduzidScanner.m_ulLastError != 0 ? m_ReduzidScanner.m_ulLastError : lld::kInternal;
  }
  driver_process::StoreNVMData(copy);
  return result;
}

}  // namespace rzd::lowdrv
