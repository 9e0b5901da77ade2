// The process-wide session map, the source manager callback and the global-memory functions
// handed to the source.
#include "apphal/twain_session.h"

#include "platform/twain.h"

#include <cstring>

namespace rzd::apphal {

TwainSessionMap& TwainSessionMap::Instance() {
  // Never destroyed: a source's thread may still call back while the process ends.
  static TwainSessionMap* map = new TwainSessionMap;
  return *map;
}

bool TwainSessionMap::Insert(int32_t id, std::shared_ptr<CTwainSession> session) {
  std::lock_guard lock(m_mutex);
  return m_sessions.emplace(id, std::move(session)).second;
}

std::shared_ptr<CTwainSession> TwainSessionMap::Remove(int32_t id) {
  std::lock_guard lock(m_mutex);
  auto it = m_sessions.find(id);
  if (it == m_sessions.end()) return nullptr;
  std::shared_ptr<CTwainSession> session = std::move(it->second);
  m_sessions.erase(it);
  return session;
}

std::shared_ptr<CTwainSession> TwainSessionMap::Find(int32_t id) const {
  std::lock_guard lock(m_mutex);
  auto it = m_sessions.find(id);
  return it == m_sessions.end() ? nullptr : it->second;
}

bool TwainSessionMap::Contains(int32_t id) const {
  std::lock_guard lock(m_mutex);
  return m_sessions.count(id) != 0;
}

size_t TwainSessionMap::Size() const {
  std::lock_guard lock(m_mutex);
  return m_sessions.size();
}

void CTwainSession::OnCallback(TW_UINT16 message) {
  m_lastMessage = message;
  if (message == MSG_XFERREADY) m_state = kTwainStateTransferReady;
  m_event.Set();
}

TW_UINT16 TwainDsmEntry(TW_IDENTITY* origin, TW_IDENTITY* destination, TW_UINT32 /*dataGroup*/,
                        TW_UINT16 dataArgumentType, TW_UINT16 message, TW_MEMREF data) {
  if (origin == nullptr || destination == nullptr) return TWRC_FAILURE;
  TW_UINT16 announced = MSG_NULL;
  if (dataArgumentType == DAT_NULL) {
    announced = message;
  } else if (dataArgumentType == DAT_CALLBACK && message == MSG_INVOKE_CALLBACK && data != nullptr) {
    TW_INT16 field;
    std::memcpy(&field, static_cast<const uint8_t*>(data) + offsetof(TW_CALLBACK, Message), sizeof(field));
    announced = static_cast<TW_UINT16>(field);
  } else {
    return TWRC_FAILURE;
  }
  // The session stays alive while the callback holds it, whatever the wrapper does meanwhile.
  std::shared_ptr<CTwainSession> session = TwainSessionMap::Instance().Find(static_cast<int32_t>(destination->Id));
  if (session) session->OnCallback(announced);
  return TWRC_SUCCESS;
}

TW_HANDLE TwainMemAllocate(TW_UINT32 size) {
  if (size == 0) return nullptr;
  return GlobalAlloc(kGlobalMovable | kGlobalZeroInit, size);
}

void TwainMemFree(TW_HANDLE handle) {
  if (handle != nullptr) GlobalFree(handle);
}

TW_MEMREF TwainMemLock(TW_HANDLE handle) { return handle == nullptr ? nullptr : GlobalLock(handle); }

void TwainMemUnlock(TW_HANDLE handle) {
  if (handle != nullptr) GlobalUnlock(handle);
}

}  // namespace rzd::apphal
