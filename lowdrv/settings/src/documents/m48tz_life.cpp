// CM48tzScannerSettings: construction and its logging mix-in.
#include "lowdrv/settings/m48tz_settings.h"

namespace rzd::lowdrv {

CM48tzScannerSettings::CM48tzScannerSettings() : m_M48Log(u"CM48tzScannerSettings LLD settings") {
  // The model's units pause on a double feed until a DFD button decides; the next scan starts
  // with that decision reset.
  m_bDFDResetOption = 1;
}

CM48tzScannerSettings::~CM48tzScannerSettings() = default;

void CM48tzScannerSettings::SetLogObject2(CLogInterfacePtr holder) {
  CScannerSettings_AV::SetLogObject2(holder);
  m_M48Log.SetLogObject2(holder);
}

}  // namespace rzd::lowdrv
