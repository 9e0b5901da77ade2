// The HAL control codes that map to one call of the driver's Control export: what each passes
// in and takes out, and what it logs. The scanner HAL object runs them all the same way
// (CRZDHALScannerBase::RunDriverCode).
#pragma once

#include <cstdint>
#include <optional>

namespace rzd::scanhost {

// What the call passes in.
enum class CodeInput : uint8_t {
  kNone,
  kText,             // strXMLIn
  kValue,            // pvBufIn must be VT_UI4 (else E_FAIL): its 4 bytes
  kTextAndValue,     // strXMLIn and the VT_UI4 value
  kOptionalValue,    // the VT_UI4 value when pvBufIn has that type, else nothing
  kLongValue,        // pvBufIn must be VT_I8 (else E_FAIL): its 8 bytes
  kBytes,            // a byte array (else E_FAIL), no text
  kTextAndVariant,   // strXMLIn and the whole VARIANT
};

// What the call takes out.
enum class CodeOutput : uint8_t {
  kNone,
  kText,            // a BSTR into *strXMLOut
  kNumber,          // 4 bytes into pvBufOut's value (a type that owns memory: E_INVALIDARG)
  kTypedNumber,     // 4 bytes into pvBufOut's value, which must be VT_I4 or VT_UI4 (else E_INVALIDARG)
  kTextAndNumber,   // both
};

// The information line of a success.
enum class CodeLine : uint8_t {
  kText,           // NAME: "<*strXMLOut>"
  kNumber,         // NAME: "<the 4-byte value>"
  kErrorDocument,  // NAME: "<the driver's error document>" (codes that ask for no text)
  kControl,        // RZDHAL_CC_CONTROL: "<*strXMLOut>"; a failure logs no line
  kNameOnly,       // NAME
  kNone,
};

struct DriverCodeRow {
  uint32_t halCode;
  const char16_t* name;
  uint32_t driverCode;
  CodeInput input;
  CodeOutput output;
  CodeLine line;
  bool busyOnInUse = false;        // 170 when the driver reports the unit in use by another application
  bool errorToOutput = false;      // a failure's error document is copied into *strXMLOut
  bool countersAfter = false;      // a success writes the counters to the registry first
  bool needsOpenUnit = false;      // an unopened unit answers E_FAIL without a driver call
};

// The row of a HAL code, or nullopt when the code is not a plain driver call.
std::optional<DriverCodeRow> FindDriverCode(uint32_t halCode);

// The driver code of RZDHAL_CC_PASS_THROUGH, which the object runs itself.
uint32_t PassThroughDriverCode();

}  // namespace rzd::scanhost
