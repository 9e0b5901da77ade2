// Session results as `_ZQSTATUS` values.
#include "apphal/twain_wrap.h"

namespace rzd::apphal {

uint32_t MapTwainResult(uint32_t result) {
  const auto returnCode = static_cast<TW_UINT16>(result & 0xFFFF);
  const auto conditionCode = static_cast<TW_UINT16>(result >> 16);
  switch (returnCode) {
    case TWRC_SUCCESS:
    case TWRC_CHECKSTATUS:
    case TWRC_XFERDONE: return ZQHARDWARE_STATUS_OK;
    case TWRC_CANCEL: return ZQHARDWARE_STATUS_USERCANCEL;
    case TWRC_FAILURE: break;
    default: return ZQHARDWARE_STATUS_FAIL;
  }
  switch (conditionCode) {
    case TWCC_LOWMEMORY:
    case TWCC_NODS: return ZQHARDWARE_STATUS_OUT_OF_MEMORY;
    case TWCC_MAXCONNECTIONS: return ZQHARDWARE_STATUS_DRIVERBUSY;
    case TWCC_PAPERJAM: return ZQHARDWARE_STATUS_PAPERJAM;
    case TWCC_PAPERDOUBLEFEED: return ZQHARDWARE_STATUS_DOUBLE_FEED;
    case TWCC_CHECKDEVICEONLINE: return ZQHARDWARE_STATUS_NOTFOUND;
    case TWCC_INTERLOCK: return ZQHARDWARE_STATUS_LIDOPEN;
    case TWCC_NOMEDIA: return ZQHARDWARE_STATUS_ADF_EMPTY;
    case TWCC_DS_DOCSKEW: return ZQHARDWARE_STATUS_DOCSKEW;
    case TWCC_DS_SHIPLOCK: return ZQHARDWARE_STATUS_SHIPLOCK;
    case TWCC_DS_BLANKPAGE: return ZQHARDWARE_STATUS_BLANK_PAGE;
    default: return ZQHARDWARE_STATUS_FAIL;
  }
}

uint32_t CTWAINwrap::MapTwainStatus(uint32_t result) { return MapTwainResult(result); }

}  // namespace rzd::apphal
