// CTwainSession: loading the source, the guarded calls into DS_Entry, the condition result, and
// the operations of the source's lifecycle (open, close, enable, disable, events, transfers).
#include "apphal/twain_session.h"

#include <cstring>

namespace rzd::apphal {

CTwainSession::CTwainSession(int32_t sessionId)
    : m_sessionId(sessionId), m_event(Event::Unnamed(false, false)) {}

// The source is not closed here: the wrapper closes it first. The library goes with the session.
CTwainSession::~CTwainSession() = default;

bool CTwainSession::KeptCapability(TW_UINT16 capability, TwainNumber* value) const {
  auto it = m_capabilities.find(capability);
  if (it == m_capabilities.end()) return false;
  *value = it->second;
  return true;
}

bool CTwainSession::StateAllows(TwainOperation operation) const {
  const TwainTriplet& triplet = TripletOf(operation);
  const uint32_t state = m_state.load();
  return state >= triplet.minState && state <= triplet.maxState;
}

uint32_t CTwainSession::Call(TW_UINT32 dataGroup, TW_UINT16 dataArgumentType, TW_UINT16 message, TW_MEMREF data) {
  if (m_entry == nullptr) return kTwainSeqError;
  try {
    return m_entry(&m_appIdentity, dataGroup, dataArgumentType, message, data);
  } catch (...) {
    return kTwainBummer;
  }
}

uint32_t CTwainSession::Send(TwainOperation operation, TW_MEMREF data, TW_UINT16 message) {
  if (!StateAllows(operation)) return kTwainSeqError;
  const TwainTriplet& triplet = TripletOf(operation);
  return ConditionResult(
      Call(triplet.dataGroup, triplet.dataArgumentType, message != MSG_NULL ? message : triplet.message, data));
}

// A failure or check-status asks the source for its condition code. A failure with condition
// code 0 stays a failure (TWRC_FAILURE): only a check-status without a condition is success.
uint32_t CTwainSession::ConditionResult(uint32_t callResult) {
  if (callResult != TWRC_FAILURE && callResult != TWRC_CHECKSTATUS) return callResult;
  if (m_state.load() <= kTwainStateManagerOpen) return kTwainSeqError;
  TW_STATUS status{};
  const uint32_t statusResult = Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
  if (statusResult != TWRC_SUCCESS) return statusResult;
  if (status.ConditionCode != TWCC_SUCCESS) return TwainResult(status.ConditionCode, static_cast<TW_UINT16>(callResult));
  return callResult == TWRC_FAILURE ? TWRC_FAILURE : TWRC_SUCCESS;
}

uint32_t CTwainSession::OpenDSM(const TW_IDENTITY& appIdentity) {
  if (m_state.load() != kTwainStateManagerLoaded) return kTwainSeqError;
  m_appIdentity = appIdentity;
  UnloadEntryPoint();
  m_dsIdentity = TW_IDENTITY{};
  m_state = kTwainStateManagerOpen;
  return 0;
}

uint32_t CTwainSession::CloseDSM() {
  if (m_state.load() < kTwainStateManagerOpen) return kTwainSeqError;
  m_appIdentity.Id = 0;
  m_state = kTwainStateManagerLoaded;
  return 0;
}

void CTwainSession::UnloadEntryPoint() {
  m_entry = nullptr;
  m_library.reset();
}

uint32_t CTwainSession::LoadEntryPoint() {
  m_library = Module::Load(m_dsPath);
  if (!m_library) return kTwainSeqError;
  m_entry = m_library->Bind<DSENTRYPROC>(kDsEntryExport);
  if (m_entry == nullptr) {
    UnloadEntryPoint();
    return kTwainSeqError;
  }
  // The source fills its identity when asked without an origin.
  TW_IDENTITY identity{};
  TW_UINT16 rc = TWRC_FAILURE;
  try {
    rc = m_entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_DS_GETIDENTITY, &identity);
  } catch (...) {
    rc = TWRC_FAILURE;
  }
  if (rc != TWRC_SUCCESS || (identity.SupportedGroups & DF_DS2) == 0) {
    UnloadEntryPoint();
    return kTwainSeqError;
  }
  m_dsIdentity = identity;
  TW_ENTRYPOINT entryPoints{sizeof(TW_ENTRYPOINT), TwainDsmEntry, TwainMemAllocate, TwainMemFree, TwainMemLock,
                            TwainMemUnlock};
  if (Call(DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &entryPoints) != TWRC_SUCCESS) {
    UnloadEntryPoint();
    return kTwainSeqError;
  }
  m_dsIdentity.Id = m_appIdentity.Id;
  if (m_dsIdentity.Id == 0) {
    UnloadEntryPoint();
    return kTwainSeqError;
  }
  return 0;
}

uint32_t CTwainSession::OpenDS(const std::filesystem::path& path) {
  const uint32_t state = m_state.load();
  if (!path.empty()) {
    m_dsPath = path;
    if (state != kTwainStateManagerOpen) return kTwainSeqError;
  } else {
    if (state < kTwainStateManagerOpen) return kTwainSeqError;
    if (state > kTwainStateManagerOpen) return 0;  // already open
  }
  if (uint32_t result = LoadEntryPoint(); result != 0) return result;

  const uint32_t opened = Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &m_dsIdentity);
  if (opened == TWRC_FAILURE || opened == TWRC_CHECKSTATUS || opened == kTwainBummer) {
    // A source that raised an exception is not open either.
    const uint32_t result = opened == kTwainBummer ? opened : ConditionResult(opened);
    Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &m_dsIdentity);
    UnloadEntryPoint();
    return result;
  }
  m_state = kTwainStateSourceOpen;
  return OpenDSSettings();
}

uint32_t CTwainSession::CloseSourceAfterFailure(uint32_t result) {
  CloseDS();
  return result;
}

// The first capabilities: no indicators, native transfer, a unit other than pixels.
uint32_t CTwainSession::OpenDSSettings() {
  TwainNumber value;
  TW_UINT16 itemType = 0;

  uint32_t result = SetCapability(CAP_INDICATORS, TWTY_BOOL, TWON_ONEVALUE, TwainNumber::Integer(TW_FALSE));
  if (result == 0) {
    const uint32_t read = GetCapability(CAP_INDICATORS, &value, &itemType);
    if (read != 0) return CloseSourceAfterFailure(read);
    if (itemType != TWTY_BOOL || value.Raw() != TW_FALSE) return CloseSourceAfterFailure(kTwainBummer);
  } else if (result != kTwainCapUnsupported) {
    return CloseSourceAfterFailure(result);
  }

  result = SetCapability(ICAP_XFERMECH, TWTY_UINT16, TWON_ONEVALUE, TwainNumber::Integer(TWSX_NATIVE));
  if (result != 0) return CloseSourceAfterFailure(result);
  result = GetCapability(ICAP_XFERMECH, &value, &itemType);
  if (result != 0) return CloseSourceAfterFailure(result);
  if (itemType != TWTY_UINT16 || value.Raw() != TWSX_NATIVE) return CloseSourceAfterFailure(kTwainBummer);

  result = SetCapability(ICAP_UNITS, TWTY_UINT16, TWON_ONEVALUE, TwainNumber::Integer(TWUN_INCHES));
  if (result == kTwainBummer) return CloseSourceAfterFailure(result);
  if (result != 0) {
    std::vector<TwainNumber> units;
    if (uint32_t listed = GetCapabilityList(ICAP_UNITS, &units); listed != 0) return CloseSourceAfterFailure(listed);
    const TwainNumber* choice = nullptr;
    for (const TwainNumber& unit : units) {
      if (unit.ToInteger() != TWUN_PIXELS) {
        choice = &unit;
        break;
      }
    }
    if (choice == nullptr) return CloseSourceAfterFailure(result);
    result = SetCapability(ICAP_UNITS, TWTY_UINT16, TWON_ONEVALUE, *choice);
    if (result != 0) return CloseSourceAfterFailure(result);
  }

  result = GetCapability(ICAP_UNITS, &value, &itemType);
  if (result != 0) return CloseSourceAfterFailure(result);
  if (itemType != TWTY_UINT16 || value.ToInteger() == TWUN_PIXELS) return CloseSourceAfterFailure(kTwainBummer);
  m_unit = static_cast<TW_UINT16>(value.ToInteger());
  return 0;
}

uint32_t CTwainSession::CloseDS() {
  if (m_state.load() < kTwainStateSourceOpen) return kTwainSeqError;
  Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &m_dsIdentity);
  m_state = kTwainStateManagerOpen;
  UnloadEntryPoint();
  return 0;
}

uint32_t CTwainSession::EnableDS(Event* event) {
  if (!StateAllows(TwainOperation::EnableDS)) return kTwainSeqError;
  m_state = kTwainStateSourceEnabled;
  m_lastMessage = MSG_NULL;
  m_event.Reset();
  if (event != nullptr) *event = m_event;
  TW_USERINTERFACE ui{TW_FALSE, TW_FALSE, reinterpret_cast<TW_HANDLE>(static_cast<uintptr_t>(m_parentWindow))};
  const uint32_t result = Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
  switch (result) {
    case TWRC_SUCCESS: return 0;
    // Check-status: the source is enabled with values of its own (the user interface it shows,
    // for one); it waits for the transfer all the same, so the state stays 5.
    case TWRC_CHECKSTATUS: return 0;
    case TWRC_FAILURE:
    case TWRC_CANCEL:
      m_state = kTwainStateSourceOpen;
      return ConditionResult(result);
    case kTwainBummer: m_state = kTwainStateSourceOpen; return result;
    default: return result;
  }
}

uint32_t CTwainSession::DisableDS() {
  if (!StateAllows(TwainOperation::DisableDS)) return kTwainSeqError;
  m_state = kTwainStateSourceOpen;
  TW_USERINTERFACE ui{TW_FALSE, TW_FALSE, reinterpret_cast<TW_HANDLE>(static_cast<uintptr_t>(m_parentWindow))};
  return ConditionResult(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui));
}

uint32_t CTwainSession::UserInterfaceMessage(TW_UINT16 message, TW_MEMREF data) {
  return Send(TwainOperation::UserInterfaceMessage, data, message);
}

uint32_t CTwainSession::ProcessEvent(const ThreadMessage& message, TW_UINT16* twMessage, bool* isEvent) {
  *isEvent = false;
  if (!StateAllows(TwainOperation::ProcessEvent)) return kTwainSeqError;
  ThreadMessage copy = message;
  TW_EVENT event{&copy, MSG_NULL};
  const uint32_t result = Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
  if (result == TWRC_FAILURE || result == TWRC_CHECKSTATUS) return ConditionResult(result);
  if (result == kTwainBummer) return result;
  if (result == TWRC_NOTDSEVENT) return 0;
  *twMessage = event.TWMessage;
  if (event.TWMessage == MSG_XFERREADY) m_state = kTwainStateTransferReady;
  *isEvent = true;
  return 0;
}

uint32_t CTwainSession::EndTransfer(bool* more, uint32_t* extra) {
  if (!StateAllows(TwainOperation::EndTransfer)) return kTwainSeqError;
  m_state = kTwainStateTransferReady;
  TW_PENDINGXFERS pending{};
  const uint32_t result = Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
  if (result != TWRC_SUCCESS) return ConditionResult(result);
  *more = pending.Count != 0;
  *extra = pending.Extra;
  m_state = *more ? kTwainStateTransferReady : kTwainStateSourceEnabled;
  return 0;
}

uint32_t CTwainSession::ResetTransfers() {
  if (!StateAllows(TwainOperation::ResetTransfers)) return kTwainSeqError;
  m_state = kTwainStateSourceEnabled;
  TW_PENDINGXFERS pending{};
  return ConditionResult(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending));
}

uint32_t CTwainSession::GetSetupMemXfer(TW_SETUPMEMXFER* setup) {
  *setup = TW_SETUPMEMXFER{};
  return Send(TwainOperation::SetupMemXfer, setup);
}

uint32_t CTwainSession::GetImageInfo(TW_IMAGEINFO* info) {
  std::memset(static_cast<void*>(info), 0, sizeof(TW_IMAGEINFO));
  return Send(TwainOperation::ImageInfo, info);
}

uint32_t CTwainSession::GetExtImageInfo(TW_MEMREF record) { return Send(TwainOperation::ExtImageInfo, record); }

uint32_t CTwainSession::GetImageLayout(TwainLayout* layout) {
  TW_IMAGELAYOUT raw{};
  const uint32_t result = Send(TwainOperation::GetImageLayout, &raw);
  if (result != 0) return result;
  auto inches = [&](TW_FIX32 edge) { return UnitToInches(TwainNumber::FromFix32(edge), m_unit); };
  m_layout = TwainLayout{inches(raw.Frame.Left), inches(raw.Frame.Top),   inches(raw.Frame.Right),
                         inches(raw.Frame.Bottom), raw.DocumentNumber, raw.PageNumber, raw.FrameNumber};
  *layout = m_layout;
  return 0;
}

uint32_t CTwainSession::SetImageLayout(const TwainLayout& layout) {
  auto edge = [&](TwainNumber inches) { return InchesToUnit(inches, m_unit).ToFix32(); };
  TW_IMAGELAYOUT raw{{edge(layout.left), edge(layout.top), edge(layout.right), edge(layout.bottom)},
                     layout.documentNumber, layout.pageNumber, layout.frameNumber};
  const uint32_t result = Send(TwainOperation::SetImageLayout, &raw);
  if (result == 0) m_layout = layout;
  return result;
}

uint32_t CTwainSession::MemoryTransfer(TW_IMAGEMEMXFER* transfer) {
  if (!StateAllows(TwainOperation::MemoryTransfer)) return kTwainSeqError;
  const uint32_t result = Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, transfer);
  if (result == TWRC_XFERDONE) m_state = kTwainStateTransferring;
  return ConditionResult(result);
}

uint32_t CTwainSession::SetCustomDSData(TW_CUSTOMDSDATA* data) { return Send(TwainOperation::SetCustomDSData, data); }
uint32_t CTwainSession::SetGrayResponse(TW_RESPONSETABLE* table) { return Send(TwainOperation::SetGrayResponse, table); }
uint32_t CTwainSession::SetRGBResponse(TW_RESPONSETABLE* table) { return Send(TwainOperation::SetRGBResponse, table); }

}  // namespace rzd::apphal
