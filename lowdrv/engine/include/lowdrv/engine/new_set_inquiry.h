// The new command set's inquiry answer mapped into the classic inquiry record and into the
// capability bytes that only the new set reports.
#pragma once

#include "lowdrv/engine/inquiry_record.h"

#include <cstddef>
#include <cstdint>

namespace rzd::lowdrv {

// Largest new-set inquiry answer: its size travels in one allocation byte.
constexpr size_t kNewInquiryMax = 255;

// What the new-set inquiry adds beyond ReduzidInq. The flags are cleared when the engine
// interface is made and are only ever set by a translation.
struct EngineCapabilities {
  uint8_t InputTray = 0;          // answer byte 120 bit 0x08: tray height readable and settable
  uint8_t Ultrasonic = 0;         // answer byte 97 bit 0x01: sensors switchable one by one
  uint8_t ExtendedMultifeed = 0;  // answer byte 97 bit 0x02: new window carries multifeed bit 0x02
  uint8_t Imprinter = 0;          // answer byte 97 bit 0x04: an imprinter is fitted
  uint8_t WindowByte66 = 0;       // answer byte 121 bit 0x80: the window may set byte 66 bit 7
  uint8_t Calibration[9] = {};    // answer bytes 103-111, three per colour group
};

// Translates the first `size` bytes of a new-set inquiry answer (at most kNewInquiryMax are
// looked at). Bytes of the answer that did not arrive read as 0, and texts and lists are copied
// only from bytes that arrived. Only the fields the translation names are written; the rest of
// `inq` keeps its value. Ability bits are combined with OR.
void TranslateNewInquiry(const uint8_t* answer, size_t size, ReduzidInq& inq, EngineCapabilities& caps);

}  // namespace rzd::lowdrv
