// The process-wide button table: which of the 16 buttons the unit last reported pressed, short
// (1) or long (2), and the function byte of its last report. The buttons thread fills it from the
// unit's device-event reports; the poll operations read and clear it. Everything here runs under
// the engine command lock, so no engine command runs while a report is recorded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rzd::lowdrv::buttons {

constexpr size_t kButtonCount = 16;
constexpr size_t kEventReportSize = 16;
constexpr uint8_t kNoPress = 0;
constexpr uint8_t kShortPress = 1;
constexpr uint8_t kLongPress = 2;

// Records one device-event report of which `transferred` bytes arrived; bytes beyond them are
// never read. A report of 0 bytes changes nothing. Otherwise the function byte is kept (when it
// arrived), the whole table is cleared, and when byte 0 has bit 7 the listed buttons below 16 are
// marked, long when bit 6 is set.
void RecordReport(const uint8_t* report, size_t transferred);

// Clears every entry (the scan preparation does at the start of a scan).
void ClearTable();

// The entry of a button (0 to 15), cleared as it is read.
uint8_t TakeEntry(uint32_t button);

// Finds the first entry equal to `value`, clears it and answers true; false when there is none.
bool TakeFirstEqual(uint8_t value);

// The Buttons document of every reported entry, in button order, each cleared as it is written.
std::u16string TakeButtonsDocument(bool flatbed);

// The function byte of the last report (tests).
uint8_t FunctionByte();

}  // namespace rzd::lowdrv::buttons
