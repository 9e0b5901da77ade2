// A scripted IRZDHAL for the tests, the test server and the benchmark: every answer is a fixed
// function of the arguments, so a call through the proxy can be compared with the same call made
// in-process.
//
// - LockScanner: *lpStatus = lPID ^ dwTimeout; E_INVALIDARG for lPID 0, 170 for dwTimeout 170.
// - UnlockScanner: E_INVALIDARG for a null lpStatus, else *lpStatus + 1 and S_OK.
// - Control, any code not named below: *strXMLOut becomes the bytes of strXMLIn reversed
//   followed by a description of the arguments; *pvBufOut becomes a transformed copy of
//   *pvBufIn (value bits inverted, BSTR bytes reversed, array bytes xor 0x5A with the lower
//   bound plus one; VT_I4 0x4E554C4C when pvBufIn is null). Result S_OK, E_FAIL for code 2, 170
//   for code 3, E_NOTIMPL for a negative code.
// - Read: waits for code 11 (cancel) on the same object when strMMRasterName is
//   "wait-for-cancel" (answering S_OK once cancelled); else 0xE0010007 for a boundary outside 1
//   to 6, S_FALSE when the names' byte lengths add up odd, S_OK otherwise.
#pragma once

#include "interfaces/rzdhal.h"

namespace rzd::test {

constexpr LONG kScriptCancel = 11;
// pvBufOut: VT_UI4 with the server's process id; *strXMLOut: "pid=<caller pid> user=<caller user>"
// as the caller's socket credentials name it ("in-process" when the call is not remote).
constexpr LONG kScriptWhoCalls = 0x7001;
// strXMLIn names the object; its final release sets the named event
// "Global\rzdhal-released-<name>" when that event exists.
constexpr LONG kScriptNameObject = 0x7002;
// pvBufOut becomes a VT_R8, a type no call carries.
constexpr LONG kScriptOddOutput = 0x7003;
// pvBufOut: VT_BOOL, whether a Read of this object waits for its cancel now.
constexpr LONG kScriptReadWaiting = 0x7004;

inline constexpr char16_t kWaitForCancel[] = u"wait-for-cancel";

// A new scripted object, as a class object's CreateInstance answers it.
HRESULT CreateScriptedHal(IUnknown* outer, const IID& iid, void** object);

// How many scripted objects of this process are alive.
int32_t LiveScriptedHals();

}  // namespace rzd::test
