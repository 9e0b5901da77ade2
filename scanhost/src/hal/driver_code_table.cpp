#include "hal/driver_code_table.h"

#include "hal/control_codes.h"

#include "lowdrv/core/driver_codes.h"

#include <iterator>

namespace rzd::scanhost {

namespace {

namespace dc = lowdrv::cc;
using In = CodeInput;
using Out = CodeOutput;
using Line = CodeLine;

// Driver codes the library does not implement answer 0x800A, which the caller sees as 12.
constexpr uint32_t kStartCleaning = 0xA0000020;
constexpr uint32_t kCleaningStatus = 0xB800001F;
constexpr uint32_t kLcdSplash = 0x80000021;
constexpr uint32_t kSetLcdColors = 0x90000022;
constexpr uint32_t kPassThrough = 0xE0000024;
constexpr uint32_t kDfdInfo = 0xA0000028;

constexpr DriverCodeRow kRows[] = {
    {RZDHAL_CC_GET_SCANNERS, u"RZDHAL_CC_GET_SCANNERS", dc::kDeviceList, In::kNone, Out::kText, Line::kText},
    {RZDHAL_CC_STATUS, u"RZDHAL_CC_STATUS", dc::kStatus, In::kNone, Out::kNumber, Line::kNumber, false, false, false, true},
    {RZDHAL_CC_INFO, u"RZDHAL_CC_INFO", dc::kScannerInfo, In::kNone, Out::kText, Line::kText},
    {RZDHAL_CC_POLL_SENSOR, u"RZDHAL_CC_POLL_SENSOR", dc::kPollSensor, In::kText, Out::kTypedNumber, Line::kNumber, false, true},
    {RZDHAL_CC_GET_SUPPORTED, u"RZDHAL_CC_GET_SUPPORTED", dc::kSupportedSettings, In::kNone, Out::kText, Line::kText},
    {RZDHAL_CC_GET_CURRENT, u"RZDHAL_CC_GET_CURRENT", dc::kCurrentSettings, In::kNone, Out::kText, Line::kText},
    {RZDHAL_CC_SET_CURRENT, u"RZDHAL_CC_SET_CURRENT", dc::kSetCurrentSettings, In::kText, Out::kText, Line::kText, true},
    {RZDHAL_CC_RESET_SETTINGS, u"RZDHAL_CC_RESET_SETTINGS", dc::kResetCurrentSettings, In::kNone, Out::kText, Line::kText},
    {RZDHAL_CC_RESET_HARDWARE, u"RZDHAL_CC_RESET_HARDWARE", dc::kResetHardware, In::kNone, Out::kNone, Line::kNone},
    {RZDHAL_CC_CANCEL_OPERATION, u"RZDHAL_CC_CANCEL_OPERATION", dc::kCancel, In::kNone, Out::kNone, Line::kNameOnly},
    {RZDHAL_CC_GET_FIRMWARE_VERSION, u"RZDHAL_CC_GET_FIRMWARE_VERSION", dc::kFirmwareVersion, In::kNone, Out::kText, Line::kText},
    {RZDHAL_CC_WRITE_FIRMWARE, u"RZDHAL_CC_WRITE_FIRMWARE", dc::kWriteFirmware, In::kText, Out::kText, Line::kText},
    {RZDHAL_CC_EXEC_CONTROL, u"RZDHAL_CC_EXEC_CONTROL", dc::kExecControl, In::kTextAndValue, Out::kText, Line::kControl},
    {RZDHAL_CC_RESET_SCANNER_COUNTER, u"RZDHAL_CC_RESET_SCANNER_COUNTER", dc::kResetCounter, In::kTextAndValue, Out::kText,
     Line::kText, false, false, true},
    {RZDHAL_CC_WRITE_DEFAULT_FIRMWARE, u"RZDHAL_CC_WRITE_DEFAULT_FIRMWARE", dc::kWriteDefaultFirmware, In::kNone, Out::kNone,
     Line::kNone},
    {RZDHAL_CC_START_CALIBRATION, u"RZDHAL_CC_START_CALIBRATION", dc::kStartCalibration, In::kNone, Out::kText, Line::kText},
    {RZDHAL_CC_GET_CALIBRATION_STATUS, u"RZDHAL_CC_GET_CALIBRATION_STATUS", dc::kCalibrationStatus, In::kValue,
     Out::kTextAndNumber, Line::kText},
    {RZDHAL_CC_START_CLEANING, u"RZDHAL_CC_START_CLEANING", kStartCleaning, In::kNone, Out::kText, Line::kText},
    {RZDHAL_CC_GET_CLEANING_STATUS, u"RZDHAL_CC_GET_CLEANING_STATUS", kCleaningStatus, In::kValue, Out::kTextAndNumber,
     Line::kText},
    {RZDHAL_CC_LCD_SPLASH, u"RZDHAL_CC_LCD_SPLASH", kLcdSplash, In::kNone, Out::kNone, Line::kErrorDocument},
    {RZDHAL_CC_SET_LCD_COLORS, u"RZDHAL_CC_SET_LCD_COLORS", kSetLcdColors, In::kLongValue, Out::kNone, Line::kErrorDocument},
    {RZDHAL_CC_WRITE_TO_LCD, u"RZDHAL_CC_WRITE_TO_LCD", dc::kWriteLcdScreen, In::kBytes, Out::kNone,
     Line::kErrorDocument},
    {RZDHAL_CC_POLL_BUTTON, u"RZDHAL_CC_POLL_BUTTON", dc::kPollButton, In::kText, Out::kTypedNumber, Line::kNumber},
    {RZDHAL_CC_POLL_BUTTONS, u"RZDHAL_CC_POLL_BUTTONS", dc::kPollButtons, In::kOptionalValue, Out::kText, Line::kText},
    {RZDHAL_CC_SET_VALUE, u"RZDHAL_CC_SET_VALUE", dc::kSetPageNumber, In::kValue, Out::kNone, Line::kControl},
    {RZDHAL_CC_CONTROL, u"RZDHAL_CC_CONTROL", dc::kGenericControl, In::kText, Out::kText, Line::kControl},
    {RZDHAL_CC_GET_DFD_INFO, u"RZDHAL_CC_GET_DFD_INFO", kDfdInfo, In::kOptionalValue, Out::kText, Line::kText},
    {RZDHAL_CC_SET_TRAY_HEIGHT, u"RZDHAL_CC_SET_TRAY_HEIGHT", dc::kSetTrayHeight, In::kTextAndVariant, Out::kText,
     Line::kText, true},
};

}  // namespace

uint32_t PassThroughDriverCode() { return kPassThrough; }

std::optional<DriverCodeRow> FindDriverCode(uint32_t halCode) {
  for (const DriverCodeRow& row : kRows) {
    if (row.halCode == halCode) return row;
  }
  return std::nullopt;
}

}  // namespace rzd::scanhost
