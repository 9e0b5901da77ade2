// The unit semaphore and the wake-up event of the base driver.
#include "foundation/message_wait.h"
#include "lowdrv/core/driver_base.h"
#include "lowdrv/core/driver_names.h"

namespace rzd::lowdrv {

namespace {

// "Open first, create when missing": opened with full access; a missing name is created; a
// creation that is denied opens again.
template <typename T, typename Create>
ObjectResult<T> OpenOrCreate(const std::u16string& name, Create create) {
  ObjectResult<T> opened = T::Open(name);
  if (opened) return opened;
  if (opened.error != ERROR_FILE_NOT_FOUND && opened.error != ERROR_PATH_NOT_FOUND) return opened;
  ObjectResult<T> created = create();
  if (!created && created.error == ERROR_ACCESS_DENIED) return T::Open(name);
  return created;
}

}  // namespace

LLDError CRZDBaseLLD::CreateScannerSemaphore(std::u16string_view prefix) {
  m_strInstanceName = InstanceNameFromPath(m_strDevicePath);
  const std::u16string name = std::u16string(prefix) + m_strInstanceName;
  // A holder that is killed gives its count back (see the old-driver event).
  ObjectResult<Semaphore> made = OpenOrCreate<Semaphore>(
      name, [&] { return Semaphore::Create(name, 1, 1, TakeRule::kGivenBackWhenTakerEnds); });
  if (!made) {
    RZD_LOG_ERROR_OF(BaseLog(), u"OpenScanner failed to create named semaphore - %s", name.c_str());
    return lld::kNoMemory;
  }
  m_hSemaphore = made.handle;
  return 0;
}

LLDError CRZDBaseLLD::ReserveSemaphore(uint32_t timeoutMs) {
  // A count this object already holds is not waited for again (it would wait on itself).
  if (m_bSemaphoreHeld && m_hSemaphore) return 0;
  if (!m_hSemaphore) {
    const LLDError made = CreateScannerSemaphore(m_strSemaphorePrefix);
    if (made != 0) return made;
  }
  const uint32_t wait = WaitWithMessageLoop(m_hSemaphore, timeoutMs);
  if (wait == WAIT_OBJECT_0) {
    m_bSemaphoreHeld = true;
    return 0;
  }
  m_hSemaphore.Close();
  if (wait == WAIT_TIMEOUT) {
    RZD_LOG_ERROR_OF(BaseLog(), u"OpenScanner failed to reserve the semaphore because is in use");
    return lld::kInUse;
  }
  RZD_LOG_ERROR_OF(BaseLog(), u"OpenScanner failed to reserve semaphore. GetLastError()=0x%X", wait);
  return lld::kNoMemory;
}

void CRZDBaseLLD::ReleaseScannerSemaphore() {
  if (m_bSemaphoreHeld && m_hSemaphore) m_hSemaphore.Release(1);
  m_bSemaphoreHeld = false;
}

void CRZDBaseLLD::CloseScannerSemaphore() {
  // A count still held is given back first: a closed handle must never keep the unit taken.
  ReleaseScannerSemaphore();
  m_hSemaphore.Close();
}

LLDError CRZDBaseLLD::OpenNamedEvent(std::u16string_view prefix) {
  const std::u16string name = std::u16string(prefix) + WithoutFirstHash(m_strFriendlyName);
  ObjectResult<Event> made = OpenOrCreate<Event>(name, [&] { return Event::Create(name, false, false); });
  if (!made) {
    RZD_LOG_ERROR_OF(BaseLog(), u"OpenNamedEvent failed to create named event - %s", name.c_str());
    return lld::kNoMemory;
  }
  m_hWakeupEvent = made.handle;
  return 0;
}

void CRZDBaseLLD::SetWakeupEvent() const {
  if (m_hWakeupEvent) m_hWakeupEvent.Set();
}

}  // namespace rzd::lowdrv
