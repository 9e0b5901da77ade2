// Apartment bookkeeping: per thread, how many CoInitializeEx calls are open and of which kind;
// per process, how many threads are in the multithreaded apartment.
#include "com_internal.h"

#include <atomic>

namespace rzd {

namespace {

std::atomic<int32_t> g_multiThreadedThreads{0};

struct ThreadApartment {
  uint32_t count = 0;
  ApartmentKind kind = ApartmentKind::None;

  void Leave() {
    if (kind == ApartmentKind::MultiThreaded) g_multiThreadedThreads.fetch_sub(1, std::memory_order_acq_rel);
    count = 0;
    kind = ApartmentKind::None;
  }
  // A thread that ends without matching its CoInitializeEx calls leaves its apartment here.
  ~ThreadApartment() {
    if (count > 0) Leave();
  }
};

thread_local ThreadApartment t_apartment;

}  // namespace

namespace com_internal {
bool ThreadCanUseCom() {
  return t_apartment.count > 0 || g_multiThreadedThreads.load(std::memory_order_acquire) > 0;
}
}  // namespace com_internal

ApartmentKind CurrentApartment() {
  if (t_apartment.count > 0) return t_apartment.kind;
  if (g_multiThreadedThreads.load(std::memory_order_acquire) > 0) return ApartmentKind::ImplicitMultiThreaded;
  return ApartmentKind::None;
}

uint32_t ComInitCount() { return t_apartment.count; }

}  // namespace rzd

using rzd::ApartmentKind;

HRESULT CoInitializeEx(void* /*reserved*/, DWORD coInit) {
  if ((coInit & ~DWORD{COINIT_APARTMENTTHREADED | 0x4 | 0x8}) != 0) return E_INVALIDARG;
  const ApartmentKind wanted =
      (coInit & COINIT_APARTMENTTHREADED) != 0 ? ApartmentKind::SingleThreaded : ApartmentKind::MultiThreaded;
  auto& self = rzd::t_apartment;
  if (self.count > 0) {
    if (self.kind != wanted) return RPC_E_CHANGED_MODE;
    ++self.count;
    return S_FALSE;
  }
  self.count = 1;
  self.kind = wanted;
  if (wanted == ApartmentKind::MultiThreaded) rzd::g_multiThreadedThreads.fetch_add(1, std::memory_order_acq_rel);
  return S_OK;
}

HRESULT CoInitialize(void* reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
  auto& self = rzd::t_apartment;
  if (self.count == 0) return;  // unmatched: nothing to end
  if (--self.count == 0) self.Leave();
}
