// The state of one application of a client's settings document.
#include "apply/apply_run.h"

#include "apply/id_chain.h"

namespace rzd::lowdrv::apply {

MSXML6StoreBSTR* ApplyRun::Before() {
  if (!beforeTried_) {
    beforeTried_ = true;
    auto store = std::make_unique<MSXML6StoreBSTR>();
    if (store->LoadFromString(supported)) before_ = std::move(store);
  }
  return before_.get();
}

bool SelectCounterpart(ApplyRun& run, std::u16string& chain) {
  if (!NodeIdChain(run.incoming, chain)) return false;
  if (run.scratch.SelectNode(chain)) return true;
  RZD_LOG_INFO_OF(run.log, u"SetCurrent skipping %s", chain.c_str());
  return false;
}

uint32_t RemoveModuleElements(ApplyRun& run) {
  // Selected again after each removal, so an element inside a removed one is never touched.
  while (run.scratch.SelectNode(u"/.//*[@ModuleID]")) {
    if (!run.scratch.RemoveContextNode()) return kApplyInternal;
  }
  return kApplyOk;
}

}  // namespace rzd::lowdrv::apply
