// Interfaces and class ids of the test component library (libcom_test_component.so), shared by
// the library and the tests that load it through the registry.
#pragma once

#include "platform/com.h"

struct ICalc : IUnknown {
  virtual HRESULT Add(LONG a, LONG b, LONG* sum) = 0;
  // Stores the value and fires ValueChanged(value) to the connected event sinks.
  virtual HRESULT SetValue(LONG value) = 0;
  virtual HRESULT GetValue(LONG* value) = 0;

 protected:
  ~ICalc() = default;
};

// {6E0F0A51-3C1B-4C57-9B0E-2B7C6A1D0F01}
constexpr IID IID_ICalc{0x6E0F0A51, 0x3C1B, 0x4C57, {0x9B, 0x0E, 0x2B, 0x7C, 0x6A, 0x1D, 0x0F, 0x01}};
// The events dispinterface: DISPID 1 ValueChanged(LONG value).
// {6E0F0A51-3C1B-4C57-9B0E-2B7C6A1D0F02}
constexpr IID DIID_ICalcEvents{0x6E0F0A51, 0x3C1B, 0x4C57, {0x9B, 0x0E, 0x2B, 0x7C, 0x6A, 0x1D, 0x0F, 0x02}};
constexpr DISPID DISPID_ValueChanged = 1;

// A calculator that may be aggregated and is a source of ICalcEvents.
// {6E0F0A51-3C1B-4C57-9B0E-2B7C6A1D0F10}
constexpr CLSID CLSID_TestCalc{0x6E0F0A51, 0x3C1B, 0x4C57, {0x9B, 0x0E, 0x2B, 0x7C, 0x6A, 0x1D, 0x0F, 0x10}};
// A calculator that refuses aggregation.
// {6E0F0A51-3C1B-4C57-9B0E-2B7C6A1D0F11}
constexpr CLSID CLSID_TestPlainCalc{0x6E0F0A51, 0x3C1B, 0x4C57, {0x9B, 0x0E, 0x2B, 0x7C, 0x6A, 0x1D, 0x0F, 0x11}};

// Extra export of the test library: its module lock count (live objects plus server locks).
using TestComponentLockCountFunction = int32_t (*)();
