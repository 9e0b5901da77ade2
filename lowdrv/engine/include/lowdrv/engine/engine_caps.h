// Engine capability bits that the driver and the simulated unit must read the same way.
//
// The new command set's inquiry answer is self-describing: a capability is a bit at a fixed
// offset of the answer. The driver's inquiry translation copies some of these bits into the
// classic inquiry record (ReduzidInq) and some into five capability bytes of its engine
// interface. The translation fixes where each bit goes; this header fixes what the bits mean for
// this model, and the unit sets them in its answer accordingly.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rzd::lowdrv::caps {

// A bit of the new command set's inquiry answer: byte `offset`, mask `mask`.
struct AnswerBit {
  uint16_t offset;
  uint8_t mask;
};

// A bit of the classic inquiry record ReduzidInq (167 bytes, host order).
struct RecordBit {
  uint16_t offset;
  uint8_t mask;
};

// --- Abilities carried by the interface's capability bytes -------------------------------
// Answer byte 120 bit 0x08 (the interface's first capability byte): the unit has an input tray
// whose height can be read (READ 0xD5) and set (SEND 0xD5). This is the "tray flag".
inline constexpr AnswerBit kAnswerInputTray{120, 0x08};
// Answer byte 97 bit 0x01 (the second capability byte): ultrasonic ability, the multifeed sensors
// can be switched one by one (SEND 0x8E).
inline constexpr AnswerBit kAnswerUltrasonic{97, 0x01};
// Answer byte 97 bit 0x02 (the extended-multifeed flag): the ultrasonic option ability; the new
// window carries bit 0x02 of the multifeed flags.
inline constexpr AnswerBit kAnswerUltrasonicOption{97, 0x02};
// Answer byte 97 bit 0x04 (the fourth capability byte): an imprinter is fitted (data types
// 0x200 to 0x211). The translation also sets ReduzidInq byte 156 bit 0x08 from it.
inline constexpr AnswerBit kAnswerImprinter{97, 0x04};
inline constexpr RecordBit kInqFrontPostImprinter{156, 0x08};

// --- Abilities carried by ReduzidInq -------------------------------------------------------
// The LCD ability byte is AbilityEx7 (ReduzidInq byte 128); its bit 0 says the unit has a
// front-panel LCD with a string table (READ 0xE0/0xE2, SEND 0xE2/0xF0). Answer byte 89 bit 0x01
// sets it.
inline constexpr AnswerBit kAnswerLcd{89, 0x01};
inline constexpr RecordBit kInqLcd{128, 0x01};
// Power-off timer (ReduzidInq byte 149, bits 0x01 and 0x04): answer byte 89 bit 0x40.
inline constexpr AnswerBit kAnswerPowerOffTimer{89, 0x40};
// DFD button capability (ReduzidInq byte 133 bit 0x80): answer byte 90 bit 0x02.
inline constexpr AnswerBit kAnswerDfdButtons{90, 0x02};
inline constexpr RecordBit kInqDfdButtons{133, 0x80};
// ERP (USB off) timer (ReduzidInq byte 164 bit 0x08). No answer bit sets it: the new-set
// translation writes only bits 0x01, 0x02 and 0x04 of byte 164 and clears nothing. This model's
// engine has the timer; the model's rule sets the bit in the process's record (and in the record
// of every configuration read before its power times are checked).
inline constexpr RecordBit kInqERPTimer{164, 0x08};
// Truncation lengths taken (ReduzidInq byte 94 bit 0x04): answer byte 91 bit 0x01.
inline constexpr AnswerBit kAnswerTruncation{91, 0x01};
inline constexpr RecordBit kInqTruncation{94, 0x04};
// The engine writes its own JPEG headers (ReduzidInq byte 164 bit 0x02): answer byte 96 bit
// 0x01. This model's engine leaves it clear and sends only entropy-coded data; the simulated
// unit can be switched to write whole streams (its control word "jpegheaders").
inline constexpr AnswerBit kAnswerEngineJpegHeaders{96, 0x01};
// Buttons are reported (ReduzidInq byte 51 bit 0x04); the translation always sets it.
inline constexpr RecordBit kInqButtons{51, 0x04};
// The engine supplies a background raster (ReduzidInq byte 95 bit 0x02); the translation always
// sets it.
inline constexpr RecordBit kInqBackgroundRaster{95, 0x02};
// Answer bytes 98-101 (ReduzidInq bytes 160-163): any non-zero value means the engine takes the
// 68-byte image-processing block (SEND 0x98).
inline constexpr uint16_t kAnswerImageProcessingOffset = 98;

// --- Image data reads ----------------------------------------------------------------------
// The end of a side is reported on the read that delivers its last byte: check condition, sense
// key 3 (with the incorrect-length bit 0x20 when the read delivered fewer bytes than asked),
// ASC 0x80, ASCQ 0x04 (0x21 for a blank side). The information field of that sense holds the
// bytes delivered by this read (not the bytes left undelivered), so the driver reads it with
// the end flag clear on entry.
enum class SideEndInfo : uint8_t { BytesDelivered, BytesNotDelivered };
inline constexpr SideEndInfo kSideEndInfo = SideEndInfo::BytesDelivered;

// --- Duplex transfer and restart points ----------------------------------------------------
// The duplex transfer modes the unit reports (READ 0xB2, answer byte 4), and what each means for
// the order of the data:
//   0, 7  the sides alternate from read to read while both have data;
//   3     raster: both sides in one transfer, in alternating blocks of kDuplexBlockLines lines
//         (front first; the answer's count, bytes 5-6); JPEG: as mode 0;
//   5     the whole front side, then the whole back side;
//   6     the sides alternate at restart points.
inline constexpr uint8_t kDuplexAlternateReads = 0;
inline constexpr uint8_t kDuplexBlocks = 3;
inline constexpr uint8_t kDuplexFrontThenBack = 5;
inline constexpr uint8_t kDuplexRestartPoints = 6;
inline constexpr uint8_t kDuplexAlternateReads7 = 7;
inline constexpr uint16_t kDuplexBlockLines = 16;
// In mode 6 a side is delivered in pieces of kRestartSpacingLines lines; a read that ends a piece
// (and not the side) ends with a check condition, ASC 0x80, ASCQ 0x22, and the sense values of
// that piece (pixels per line, its lines, its bytes). JPEG sides are coded with a restart
// interval of exactly those lines' MCU rows, so the interval the host announces in its header is
// (pixels per line / MCU width, rounded up) x (kRestartSpacingLines / MCU height).
inline constexpr uint32_t kRestartSpacingLines = 64;
inline constexpr uint8_t kRestartPointAscq = 0x22;

// --- Feeder status (MEDIA CHECK, answer byte 4) --------------------------------------------
// Bit 0 paper in the feeder; bits 4-5 the kind of the sheet on top: 0x20 kind A, 0x10 kind B
// (the unit reports what the sheet was loaded as; 0 for an ordinary sheet).
inline constexpr uint8_t kFeederPaper = 0x01;
inline constexpr uint8_t kFeederMediaKindA = 0x20;
inline constexpr uint8_t kFeederMediaKindB = 0x10;
inline constexpr uint8_t kFeederMediaKindMask = 0x30;

// Test whether a bit is set in an answer or a record.
inline bool IsSet(const uint8_t* bytes, size_t size, AnswerBit bit) {
  return bit.offset < size && (bytes[bit.offset] & bit.mask) != 0;
}
inline bool IsSet(const uint8_t* bytes, size_t size, RecordBit bit) {
  return bit.offset < size && (bytes[bit.offset] & bit.mask) != 0;
}

}  // namespace rzd::lowdrv::caps
