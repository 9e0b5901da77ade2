// One connection to the model's TWAIN data source: `apphal` loads the source's library itself,
// calls its DS_Entry and plays the part of the source manager (the DSM_Entry callback and the
// global-memory functions of platform/twain).
//
// Every operation answers a 32-bit result: 0 for success, else the condition code in the upper
// and the return code in the lower 16 bits; return codes that are not failures (TWRC_CANCEL,
// TWRC_XFERDONE) come back as they are. Operations are called on the application's thread; the
// source's callback may arrive on any thread and only touches the last message, the state and
// the event.
#pragma once

#include "apphal/twain_container.h"
#include "apphal/twain_number.h"
#include "apphal/twain_protocol.h"
#include "platform/kernel.h"
#include "platform/messages.h"
#include "platform/modules.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace rzd::apphal {

// Results the session makes itself.
constexpr uint32_t TwainResult(TW_UINT16 conditionCode, TW_UINT16 returnCode) {
  return (static_cast<uint32_t>(conditionCode) << 16) | returnCode;
}
constexpr uint32_t kTwainSeqError = TwainResult(TWCC_SEQERROR, TWRC_FAILURE);      // 0xB0001
constexpr uint32_t kTwainBummer = TwainResult(TWCC_BUMMER, TWRC_FAILURE);          // 0x10001
constexpr uint32_t kTwainLowMemory = TwainResult(TWCC_LOWMEMORY, TWRC_FAILURE);    // 0x20001
constexpr uint32_t kTwainBadValue = TwainResult(TWCC_BADVALUE, TWRC_FAILURE);      // 0xA0001
constexpr uint32_t kTwainCapUnsupported = TwainResult(TWCC_CAPUNSUPPORTED, TWRC_FAILURE);  // 0xD0001

// The TWAIN states the session passes through.
enum TwainState : uint32_t {
  kTwainStateManagerLoaded = 2,   // made, no source
  kTwainStateManagerOpen = 3,     // ready to open a source
  kTwainStateSourceOpen = 4,
  kTwainStateSourceEnabled = 5,
  kTwainStateTransferReady = 6,
  kTwainStateTransferring = 7,
};

// The operations and the triplets they send, with the states that allow them.
enum class TwainOperation {
  OpenDS, CloseDS, EnableDS, DisableDS, UserInterfaceMessage, ProcessEvent, EndTransfer, ResetTransfers,
  SetupMemXfer, ImageInfo, ExtImageInfo, GetImageLayout, SetImageLayout, MemoryTransfer, SetCustomDSData,
  SetGrayResponse, SetRGBResponse, GetCapability, GetCapabilityList, SetCapability, SetCapabilityString,
  GetCapabilityStrings,
};
struct TwainTriplet {
  TwainOperation operation;
  uint32_t minState;
  uint32_t maxState;
  TW_UINT32 dataGroup;
  TW_UINT16 dataArgumentType;
  TW_UINT16 message;  // MSG_NULL for the user-interface message: the caller names it
};
const TwainTriplet& TripletOf(TwainOperation operation);

// The frame of an image layout in inches, with its numbers.
struct TwainLayout {
  TwainNumber left, top, right, bottom;
  TW_UINT32 documentNumber = 0;
  TW_UINT32 pageNumber = 0;
  TW_UINT32 frameNumber = 0;
};

// How the wait for the source ended.
enum class TwainWaitOutcome {
  TransferReady,  // go on to the transfer
  Cancelled,      // ZQHARDWARE_STATUS_USERCANCEL: a close request, WM_QUIT, or the idle time-out
  Failed,         // ProcessEvent failed: the wait's result holds its session result
};
struct TwainWaitResult {
  TwainWaitOutcome outcome = TwainWaitOutcome::Cancelled;
  uint32_t result = 0;
};
// Idle time (time spent with nothing to do) after which the wait gives up.
constexpr uint32_t kTwainWaitIdleLimitMs = 30000;

class CTwainSession {
 public:
  explicit CTwainSession(int32_t sessionId);
  ~CTwainSession();
  CTwainSession(const CTwainSession&) = delete;
  CTwainSession& operator=(const CTwainSession&) = delete;

  int32_t SessionId() const { return m_sessionId; }
  uint32_t State() const { return m_state.load(); }
  TW_UINT16 LastMessage() const { return m_lastMessage.load(); }
  TW_UINT16 Unit() const { return m_unit; }
  const Event& SessionEvent() const { return m_event; }
  const TW_IDENTITY& AppIdentity() const { return m_appIdentity; }
  const TW_IDENTITY& DsIdentity() const { return m_dsIdentity; }
  const std::filesystem::path& DsPath() const { return m_dsPath; }
  // The last value set successfully for a capability (in inches for lengths and per inch for
  // resolutions); false when none was set.
  bool KeptCapability(TW_UINT16 capability, TwainNumber* value) const;
  const TwainLayout& KeptLayout() const { return m_layout; }

  // State 2 to 3: the application identity (its Id is the session id), no library, no entry
  // point, no source identity. 0, or 0xB0001 outside state 2.
  uint32_t OpenDSM(const TW_IDENTITY& appIdentity);
  // Loads and opens the source at `path` (state 3), or, with an empty path, reopens the kept one.
  uint32_t OpenDS(const std::filesystem::path& path);
  uint32_t CloseDS();
  uint32_t CloseDSM();
  uint32_t EnableDS(Event* event);
  uint32_t DisableDS();
  uint32_t UserInterfaceMessage(TW_UINT16 message, TW_MEMREF data);
  uint32_t ProcessEvent(const ThreadMessage& message, TW_UINT16* twMessage, bool* isEvent);
  uint32_t EndTransfer(bool* more, uint32_t* extra);
  uint32_t ResetTransfers();
  uint32_t GetSetupMemXfer(TW_SETUPMEMXFER* setup);
  uint32_t GetImageInfo(TW_IMAGEINFO* info);
  uint32_t GetExtImageInfo(TW_MEMREF record);
  uint32_t GetImageLayout(TwainLayout* layout);
  uint32_t SetImageLayout(const TwainLayout& layout);
  uint32_t MemoryTransfer(TW_IMAGEMEMXFER* transfer);
  uint32_t SetCustomDSData(TW_CUSTOMDSDATA* data);
  uint32_t SetGrayResponse(TW_RESPONSETABLE* table);
  uint32_t SetRGBResponse(TW_RESPONSETABLE* table);
  uint32_t GetCapability(TW_UINT16 capability, TwainNumber* value, TW_UINT16* itemType);
  uint32_t GetCapabilityList(TW_UINT16 capability, std::vector<TwainNumber>* values);
  uint32_t SetCapability(TW_UINT16 capability, TW_UINT16 itemType, TW_UINT16 conType, TwainNumber value);
  uint32_t SetCapabilityString(TW_UINT16 capability, TW_UINT16 itemType, std::string_view text);
  // The texts of a text container, the index of the current one, and (when asked) its item type.
  uint32_t GetCapabilityStrings(TW_UINT16 capability, std::vector<std::string>* texts, uint32_t* current,
                                TW_UINT16* itemType = nullptr);

  // Runs right after a successful EnableDS on the same thread: pumps the thread's queue, hands
  // each message to the source (ProcessEvent) and dispatches the others, and watches the event
  // the callback signals, until the source reports a transfer or a close, or `idleLimitMs` of
  // waiting without anything happening have passed. A WM_QUIT met ends the wait as a cancel and
  // is posted again for the thread's own loop.
  TwainWaitResult WaitForDataSource(uint32_t idleLimitMs = kTwainWaitIdleLimitMs);

  // Called by the source manager callback (any thread).
  void OnCallback(TW_UINT16 message);

 private:
  bool StateAllows(TwainOperation operation) const;
  // DS_Entry with the application identity as origin, guarded: an exception gives 0x10001.
  uint32_t Call(TW_UINT32 dataGroup, TW_UINT16 dataArgumentType, TW_UINT16 message, TW_MEMREF data);
  uint32_t Send(TwainOperation operation, TW_MEMREF data, TW_UINT16 message = MSG_NULL);
  uint32_t ConditionResult(uint32_t callResult);
  uint32_t LoadEntryPoint();
  void UnloadEntryPoint();
  uint32_t CloseSourceAfterFailure(uint32_t result);
  uint32_t OpenDSSettings();
  uint32_t ReadContainerOf(TwainOperation operation, TW_UINT16 capability, TW_UINT16 message,
                           CapabilityContainer* container);

  int32_t m_sessionId;
  uint32_t m_parentWindow = 0;
  std::unique_ptr<Module> m_library;
  DSENTRYPROC m_entry = nullptr;
  TW_IDENTITY m_appIdentity{};
  TW_IDENTITY m_dsIdentity{};
  std::atomic<uint32_t> m_state{kTwainStateManagerLoaded};
  Event m_event;
  std::atomic<TW_UINT16> m_lastMessage{MSG_NULL};
  std::filesystem::path m_dsPath;
  std::map<TW_UINT16, TwainNumber> m_capabilities;
  TwainLayout m_layout;
  TW_UINT16 m_unit = TWUN_INCHES;
};

// The process-wide map from session id to session, shared by every wrapper and the callback.
// Locked; a session found stays alive while the finder holds it.
class TwainSessionMap {
 public:
  static TwainSessionMap& Instance();
  // False when the id is taken.
  bool Insert(int32_t id, std::shared_ptr<CTwainSession> session);
  std::shared_ptr<CTwainSession> Remove(int32_t id);
  std::shared_ptr<CTwainSession> Find(int32_t id) const;
  bool Contains(int32_t id) const;
  size_t Size() const;

 private:
  mutable std::mutex m_mutex;
  std::map<int32_t, std::shared_ptr<CTwainSession>> m_sessions;
};

// The DSM_Entry callback handed to the source, and the global-memory functions.
TW_UINT16 TwainDsmEntry(TW_IDENTITY* origin, TW_IDENTITY* destination, TW_UINT32 dataGroup,
                        TW_UINT16 dataArgumentType, TW_UINT16 message, TW_MEMREF data);
TW_HANDLE TwainMemAllocate(TW_UINT32 size);
void TwainMemFree(TW_HANDLE handle);
TW_MEMREF TwainMemLock(TW_HANDLE handle);
void TwainMemUnlock(TW_HANDLE handle);

}  // namespace rzd::apphal
