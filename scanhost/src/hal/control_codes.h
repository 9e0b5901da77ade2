// The HAL control codes of IRZDHAL::Control: bits 0-7 of `lCC` select the code (bits 8-23 carry
// a value, bits 24-31 flags; no code uses either). Each code maps to one driver call or is
// answered by the scanner HAL object itself.
#pragma once

#include "platform/types.h"

#include <cstdint>

namespace rzd::scanhost {

enum HalControlCode : uint32_t {
  RZDHAL_CC_GET_SCANNERS = 0,
  RZDHAL_CC_STATUS = 3,
  RZDHAL_CC_INFO = 4,
  RZDHAL_CC_POLL_SENSOR = 5,
  RZDHAL_CC_GET_SUPPORTED = 6,
  RZDHAL_CC_GET_CURRENT = 7,
  RZDHAL_CC_SET_CURRENT = 8,
  RZDHAL_CC_RESET_SETTINGS = 9,
  RZDHAL_CC_RESET_HARDWARE = 10,
  RZDHAL_CC_CANCEL_OPERATION = 11,
  RZDHAL_CC_GET_FIRMWARE_VERSION = 12,
  RZDHAL_CC_WRITE_FIRMWARE = 13,
  RZDHAL_CC_CONNECT = 14,
  RZDHAL_CC_DISCONNECT = 15,
  RZDHAL_CC_ALLOCATE_RBLOCKS = 16,
  RZDHAL_CC_RELEASE_RBLOCKS = 17,
  RZDHAL_CC_EXEC_CONTROL = 18,
  RZDHAL_CC_RESET_SCANNER_COUNTER = 19,
  RZDHAL_CC_ALLOCATEVBUFF = 20,
  RZDHAL_CC_RELEASEVBUFF = 21,
  RZDHAL_CC_WRITE_DEFAULT_FIRMWARE = 22,
  RZDHAL_CC_START_CALIBRATION = 23,
  RZDHAL_CC_GET_CALIBRATION_STATUS = 24,
  RZDHAL_CC_START_CLEANING = 25,
  RZDHAL_CC_GET_CLEANING_STATUS = 26,
  RZDHAL_CC_LCD_SPLASH = 27,
  RZDHAL_CC_SET_LCD_COLORS = 28,
  RZDHAL_CC_WRITE_TO_LCD = 29,
  RZDHAL_CC_PASS_THROUGH = 30,
  RZDHAL_CC_POLL_BUTTON = 31,
  RZDHAL_CC_POLL_BUTTONS = 32,
  RZDHAL_CC_DISABLE_BUTTON_THREAD = 33,
  RZDHAL_CC_ENABLE_BUTTON_THREAD = 34,
  RZDHAL_CC_SET_PROCESS_ID = 35,
  RZDHAL_CC_EXTRACT_HELP = 36,
  RZDHAL_CC_SET_VALUE = 37,
  RZDHAL_CC_CONTROL = 38,
  RZDHAL_CC_GET_DFD_INFO = 39,
  RZDHAL_CC_SET_TRAY_HEIGHT = 40,
};

// The highest code that does anything; higher ones (and 1, 2) answer S_OK with nothing done.
constexpr uint32_t kLastHalControlCode = RZDHAL_CC_SET_TRAY_HEIGHT;

// A one-dimensional array of bytes with element size 1 and lower bound 0 (VT_ARRAY | VT_UI1), as
// codes 29 and 30 take them: its data and element count. False for anything else, a null array
// or a null data pointer included.
bool ByteArrayOf(const VARIANT* value, uint8_t** data, uint32_t* count);

}  // namespace rzd::scanhost
