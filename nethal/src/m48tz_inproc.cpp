#include "m48tz_inproc.h"

#include "nethal/bridge.h"

#include "lowdrv/engine/model_ids.h"
#include "scanhost/class_key_values.h"
#include "scanhost/instance_ids.h"
#include "platform/text.h"

namespace rzd::nethal {

ComModule& BridgeModule() {
  static ComModule module;  // a count only: nothing to destroy at the library's unload
  return module;
}

ModelFacts M48tzFacts() {
  ModelFacts facts;
  facts.modelName = lowdrv::kModelName;
  for (size_t i = 0; i < facts.instanceClasses.size(); ++i) facts.instanceClasses[i] = FormatGuid(scanhost::kInstanceClasses[i]);
  facts.bridgeLibraryName = FromUtf8(kBridgeLibraryName);
  facts.panelLibraryName = scanhost::kConfigUiFile;
  return facts;
}

CRZDHALM48tzInProc::CRZDHALM48tzInProc() : DispatchWithoutTypeInfo(&BridgeModule()), CRZDHALScannerInProc(M48tzFacts()) {}

void* CRZDHALM48tzInProc::FindInterface(const IID& iid) {
  if (iid == IID_IDispatch || iid == IID_IRZDHAL) return static_cast<IRZDHAL*>(this);
  if (iid == IID_IRZDModule) return static_cast<IRZDModule*>(this);
  if (iid == IID_IRZDMemMgr) return static_cast<IRZDMemMgr*>(this);
  if (iid == IID_IRZDUIModule) return static_cast<IRZDUIModule*>(this);
  return nullptr;
}

}  // namespace rzd::nethal
