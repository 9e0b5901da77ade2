// The outside diagnostics configuration as the system sees it: the configuration server's
// interfaces, its events, and the emitter library's export. The diagnostics sink is the only
// caller; the stand-in server in outside/diagconfig implements them.
//
// Method positions count from 0 with QueryInterface; both interfaces are dual (the IDispatch
// methods take positions 3 to 6). The system calls positions 7, 8, 11, 13, 15 and 16 of
// ICorDiagConfig and 8 and 9 of ICorDiagFeatureList.
#pragma once

#include "platform/com.h"

#include <cstdint>

// {45B835A2-13B9-4254-BD73-7B7607B19E19}
constexpr CLSID CLSID_CorDiagConfig{0x45B835A2, 0x13B9, 0x4254, {0xBD, 0x73, 0x7B, 0x76, 0x07, 0xB1, 0x9E, 0x19}};
// {080AEA10-544D-4930-A730-E723C4C3EEED}
constexpr IID IID_ICorDiagConfig{0x080AEA10, 0x544D, 0x4930, {0xA7, 0x30, 0xE7, 0x23, 0xC4, 0xC3, 0xEE, 0xED}};
// {2A3E6AFB-6708-401F-975E-EDF23668F4BD}
constexpr IID IID_ICorDiagFeatureList{0x2A3E6AFB, 0x6708, 0x401F, {0x97, 0x5E, 0xED, 0xF2, 0x36, 0x68, 0xF4, 0xBD}};
// The events dispinterface _ICorDiagConfigEvents.
// {4910CBCE-26EA-46C2-A5AB-E5C79E66DAA0}
constexpr IID DIID__ICorDiagConfigEvents{0x4910CBCE, 0x26EA, 0x46C2, {0xA5, 0xAB, 0xE5, 0xC7, 0x9E, 0x66, 0xDA, 0xA0}};
// Event of _ICorDiagConfigEvents, no arguments: the configuration changed.
constexpr DISPID DISPID_CorDiagConfigChanged = 1;

struct ICorDiagConfig : IDispatch {
  // 7: level bits of `feature` for the product last set (a default of the product applies to
  // features it does not list).
  virtual HRESULT GetFeatureLevel(BSTR feature, LONG* level) = 0;
  // 8: level bits configured for `feature` of the product last set (0 when it is not listed).
  virtual HRESULT GetConfiguredFeatureLevel(BSTR feature, LONG* level) = 0;
  // 9: configures `feature` of the product last set.
  virtual HRESULT SetFeatureLevel(BSTR feature, LONG level) = 0;
  // 10: tells every listener, in every process, that the configuration changed.
  virtual HRESULT NotifyChanged() = 0;
  // 11: the company; accepted once after creation.
  virtual HRESULT SetCompany(BSTR company) = 0;
  // 12
  virtual HRESULT GetCompany(BSTR* company) = 0;
  // 13: selects the product for the next questions.
  virtual HRESULT SetProduct(BSTR product) = 0;
  // 14
  virtual HRESULT GetProduct(BSTR* product) = 0;
  // 15: the features configured for `product`, as an object answering ICorDiagFeatureList.
  virtual HRESULT GetFeatureList(BSTR product, IUnknown** list) = 0;
  // 16: full path of the emitter library (empty when none is configured).
  virtual HRESULT GetEmitterPath(BSTR* path) = 0;

 protected:
  ~ICorDiagConfig() = default;
};

struct ICorDiagFeatureList : IDispatch {
  // 7: not supported.
  virtual HRESULT GetNewEnum(IUnknown** enumerator) = 0;
  // 8: the feature name at a 1-based index.
  virtual HRESULT Item(LONG index, BSTR* feature) = 0;
  // 9
  virtual HRESULT Count(LONG* count) = 0;

 protected:
  ~ICorDiagFeatureList() = default;
};

// The export `Emit` of an emitter library: one log record. Texts are UTF-16 and may be null.
// `source` is the product name, ".", and the feature name.
extern "C" {
using CorDiagEmitFunction = void (*)(const char16_t* company, uint32_t level, uint32_t processId, uint32_t threadId,
                                     const char16_t* timeStamp, const char16_t* source, const char16_t* text);
}
