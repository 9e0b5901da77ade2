#include "fault_text.h"

#include "interfaces/rzdhal_codes.h"
#include "platform/text.h"

namespace rzd::frontend {

std::string DriverErrorText(LONG error) {
  switch (error) {
    case 7:
    case 69: return "no paper in the feeder";
    case 2:
    case 8: return "paper jam";
    case 10:
    case 70: return "multifeed: more than one sheet went through the feeder at once";
    case 4:
    case 63: return "the feeder cover is open";
    case 78: return "the sheet was misfed";
    case 31: return "the scan was cancelled";
    case 75: return "the feeder cable is not plugged in";
    case 0x8000: return "the unit is not connected (was it unplugged?)";
    case 0x8001: return "the unit did not answer in time";
    case 0x8008: return "the unit is busy: another program is using it";
    default: return FormatA("the unit reported error %d", error);
  }
}

std::string CallFailureText(HRESULT hr) {
  if (hr == kHalBusy) return "the unit is busy: another program is using it";
  if (hr == RPC_E_DISCONNECTED || hr == RPC_E_SERVER_DIED) return "the scanner service ended unexpectedly";
  if (hr == CO_E_SERVER_EXEC_FAILURE) return "the scanner service could not be started";
  if (hr == REGDB_E_CLASSNOTREG) return "the scanner service is not installed (run rzd-install)";
  if (hr == HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE)) return "the scanner service stopped writing pages";
  if (hr == HRESULT_FROM_WIN32(ERROR_INVALID_DATA)) return "the scanner service sent an invalid page description";
  return FormatA("the scan failed (0x%08X)", static_cast<uint32_t>(hr));
}

}  // namespace rzd::frontend
