// SendImprinterPageSettings: the imprinter's line for the next pages (counter, text, date and
// time), laid out and sent as the engine's imprinter blocks.
#include "imprinter/imprinter_text.h"

#include "foundation/func_trace.h"
#include "lowdrv/core/driver_engine.h"
#include "lowdrv/engine/byte_order.h"
#include "lowdrv/engine/send_records.h"
#include "platform/text.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

namespace rzd::lowdrv {

namespace {

using namespace imprint;

// Position units (1/1200 inch) of a length in rows (1/100 inch).
int64_t RowsToPosition(int64_t rows) { return rows * 1200 / 100; }

// Bytes 0-6 of every block: 0, 0, 1, then the block's whole length, big-endian.
std::vector<uint8_t> Block(size_t size) {
  std::vector<uint8_t> block(size, 0);
  block[2] = 1;
  PutBE32(&block[3], static_cast<uint32_t>(size));
  return block;
}

// The block with `head` bytes of head and the first `size` bytes of `data` after it.
std::vector<uint8_t> BlockWithData(size_t head, const uint8_t* data, size_t size) {
  std::vector<uint8_t> block = Block(head + size);
  std::copy(data, data + size, block.begin() + static_cast<ptrdiff_t>(head));
  return block;
}

uint8_t Low8(int64_t value) { return static_cast<uint8_t>(value & 0xFF); }

// The start position: the top offset (inches) in 1/1200 inch, truncated toward zero; an offset
// that is not a number or does not fit 32 bits is held at the nearest value that does.
int32_t StartPosition(float topOffsetInches) {
  const float position = topOffsetInches * 1200.0f;
  if (std::isnan(position)) return 0;
  if (position >= 2147483520.0f) return std::numeric_limits<int32_t>::max();
  if (position <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(position);
}

// The first character of a separator in the ANSI code page; 0 when there is none.
char FirstAnsi(const std::u16string& separator) {
  if (separator.empty()) return 0;
  const std::string ansi = ToAnsi(separator.substr(0, 1));
  return ansi.empty() ? 0 : ansi[0];
}

}  // namespace

std::string ComposeImprinterText(std::u16string_view text, bool counter, bool dateOrTime) {
  std::string ansi = ToAnsi(text);
  ansi.resize(std::min(ansi.find('\0'), ansi.size()));
  if (dateOrTime) return " " + ansi.substr(0, kTextBytes - 3) + " ";
  if (counter) return ansi.substr(0, kTextBytes - 2) + " ";
  return ansi.substr(0, kTextBytes - 1);
}

void CRZDREduzidLLD::SendImprinterPageSettings() {
  RZD_FUNC_TRACE_OF(EngineLog(), u"SendImprinterPageSettings");
  const RZDImprinterParam& p = m_pSettings->m_ImprParam;
  const bool counter = p.bCounterToken != 0;
  const bool dateOrTime = p.bDateToken != 0 || p.bTimeToken != 0;
  const int32_t rotation = p.lFontRotation;
  const uint8_t format = p.byDateTimeFormat <= 5 ? p.byDateTimeFormat : 0;

  uint8_t flags = kFlagAlways;
  const int32_t start = StartPosition(p.fTopOffset);

  if (dateOrTime) flags |= kFlagDateTime;
  const std::string composed = ComposeImprinterText(p.strText, counter, dateOrTime);
  // The ANSI code page has no lead bytes: the line is never double-byte.
  const bool dbcs = false;

  uint8_t digitGlyphs[kDigitGlyphBytes] = {};
  uint32_t digitLength = 0, digitWidth = 0, digitPitch = 0;
  if (counter || dateOrTime) {
    RenderImprintGlyphs(kDigits, rotation, p.byFontType, digitGlyphs, std::span<uint32_t>(&digitWidth, 1),
                        &digitLength, "0123456789", dbcs, p.bFixedPitch);
    digitPitch = digitLength / 10;
  }

  flags = static_cast<uint8_t>(flags + format * 0x10);
  const char dateSeparator = FirstAnsi(p.strDateSeparator);
  const char timeSeparator = FirstAnsi(p.strTimeSeparator);
  std::string separators;
  if (format == 3 && dateSeparator) separators = {dateSeparator, dateSeparator};
  if (format == 4 && timeSeparator) separators = {timeSeparator, timeSeparator};
  if (format == 5) {
    if (dateSeparator) separators += {dateSeparator, dateSeparator};
    separators += ' ';
    if (timeSeparator) separators += {timeSeparator, timeSeparator};
  }

  // Separate-font entries 0-5: (first byte, second byte) before the exchange for 0 and 180.
  uint8_t entries[6][2] = {};
  uint8_t separatorGlyphs[kSeparatorGlyphBytes] = {};
  uint32_t w[kSeparatorWidths] = {};
  int64_t dateTimeRows = 0;
  const bool upright = rotation == 0 || rotation == 180;
  if (dateOrTime) {
    uint32_t separatorLength = 0;
    RenderImprintGlyphs(kSeparators, rotation, p.byFontType, separatorGlyphs, w, &separatorLength, separators, dbcs,
                        p.bFixedPitch);
    const int64_t used = std::count_if(std::begin(w), std::end(w), [](uint32_t width) { return width != 0; });
    const int64_t s = used ? separatorLength / used : 0;
    const int64_t unit = upright ? digitPitch : digitWidth;
    // Entry `index` takes separator width w[k]; the field grows by it (or by S for 0 and 180).
    auto take = [&](int index, size_t k) {
      entries[index][0] = Low8(s);
      entries[index][1] = Low8(w[k]);
      dateTimeRows += upright ? s : w[k];
    };
    switch (format) {
      case 0:
      case 3:
        dateTimeRows = 8 * unit;
        if (dateSeparator) {
          take(0, 0);
          take(1, 1);
        }
        break;
      case 1:
      case 4:
        dateTimeRows = 6 * unit;
        if (timeSeparator) {
          take(3, 0);
          take(4, 1);
        }
        break;
      default: {
        dateTimeRows = 14 * unit;
        if (dateSeparator) {
          take(0, 0);
          take(1, 1);
          take(2, 2);
        } else {
          take(2, 0);
        }
        // The time separators follow the date's and the space in the separator string.
        const size_t k = dateSeparator ? 3 : 1;
        if (timeSeparator) {
          take(3, k);
          take(4, k + 1);
        }
        break;
      }
    }
  }

  uint8_t textGlyphs[kTextGlyphBytes] = {};
  uint32_t textLength = 0, textWidth = 0;
  if (!composed.empty()) {
    RenderImprintGlyphs(kText, rotation, p.byFontType, textGlyphs, std::span<uint32_t>(&textWidth, 1), &textLength,
                        composed, dbcs, p.bFixedPitch);
  }

  uint8_t direction = 0;
  int64_t counterPosition = 0, textPosition = 0, dateTimePosition = 0;
  switch (rotation) {
    case 0:
    case 270:
      direction = rotation == 0 ? 0 : 3;
      dateTimePosition = start;
      textPosition = start + RowsToPosition(dateTimeRows);
      counterPosition = textPosition + RowsToPosition(textLength);
      break;
    case 90:
    case 180:
      direction = rotation == 180 ? 1 : 2;
      counterPosition = start;
      textPosition = start + RowsToPosition(static_cast<int64_t>(p.byCounterDigits) * digitPitch);
      dateTimePosition = textPosition + RowsToPosition(textLength);
      break;
    default: break;
  }

  uint8_t parameter[kImprParameterSize] = {};
  if (counter) flags = static_cast<uint8_t>(flags + kFlagCounter);
  if (upright) {
    for (auto& entry : entries) std::swap(entry[0], entry[1]);
  }

  if (!m_bBatchReservation || !m_ReduzidScanner.m_bNewCommandSet) return;

  // The page setting, 9 bytes, or 8 for a single page.
  std::vector<uint8_t> page(p.bSinglePage ? kPageSettingSinglePageSize : kPageSettingSize, 0);
  page[2] = 1;
  PutLE32(&page[3], static_cast<uint32_t>(page.size()));  // the operation sends it big-endian
  page[7] = flags;
  m_ReduzidScanner.SetImprPageSettingNew(page.data(), page.size());

  if (counter || dateOrTime) {
    const size_t size = std::min<size_t>(static_cast<size_t>(digitLength) * digitWidth, kDigitGlyphBytes);
    std::vector<uint8_t> block = BlockWithData(kDigitFontHead, digitGlyphs, size);
    block[7] = direction;
    for (size_t d = 0; d < 10; ++d) {
      block[9 + 2 * d] = Low8(digitWidth);
      block[10 + 2 * d] = Low8(digitPitch);
    }
    RZD_LOG_INFO_OF(EngineLog(), u"SetImprDigitFontNew Entered");
    m_ReduzidScanner.SendNew(dt::kImprDigitFont, block.data(), static_cast<uint32_t>(block.size()));
    if (counter) {
      PutLE32(&parameter[7], static_cast<uint32_t>(p.llCounterStart));
      PutLE32(&parameter[11], p.byCounterDigits);
    }
  }
  if (textLength != 0) {
    // The average width times the rows, but never more than the glyph buffer holds.
    const size_t size = std::min<size_t>(static_cast<size_t>(textLength) * textWidth, kTextGlyphBytes);
    std::vector<uint8_t> block = BlockWithData(kPrintOutHead, textGlyphs, size);
    RZD_LOG_INFO_OF(EngineLog(), u"SetImprPrintOutDataNew Entered");
    m_ReduzidScanner.SendNew(dt::kImprPrintOut, block.data(), static_cast<uint32_t>(block.size()));
  }
  if (dateOrTime) {
    const ImprinterTime now = m_ImprinterClock ? m_ImprinterClock() : LocalImprinterTime();
    std::vector<uint8_t> time = Block(kDateTimeSize);
    PutBE16(&time[7], now.year);
    time[9] = now.month;
    time[10] = now.day;
    time[11] = now.hour;
    time[12] = now.minute;
    time[13] = now.second;
    RZD_LOG_INFO_OF(EngineLog(), u"SetImprDateTimeNew Entered");
    m_ReduzidScanner.SendNew(dt::kImprDateTime, time.data(), static_cast<uint32_t>(time.size()));

    uint64_t widthSum = 0;
    for (uint32_t width : w) widthSum += width;
    const size_t size = static_cast<size_t>(std::min<uint64_t>(12 * widthSum, kSeparatorGlyphBytes));
    std::vector<uint8_t> block = BlockWithData(kSeparateFontHead, separatorGlyphs, size);
    block[7] = direction;
    for (size_t e = 0; e < 6; ++e) {
      block[9 + 2 * e] = entries[e][0];
      block[10 + 2 * e] = entries[e][1];
    }
    RZD_LOG_INFO_OF(EngineLog(), u"SetImprSeparateFontNew Entered");
    m_ReduzidScanner.SendNew(dt::kImprSeparateFont, block.data(), static_cast<uint32_t>(block.size()));
  }
  PutLE32(&parameter[15], static_cast<uint32_t>(counterPosition));
  PutLE32(&parameter[19], static_cast<uint32_t>(textPosition));
  PutLE32(&parameter[23], static_cast<uint32_t>(dateTimePosition));
  m_ReduzidScanner.SetImprParameterNew(parameter);
}

BOOL CRZDREduzidLLD::SendImprinterClosingRecord() {
  // The head alone with a length of 8 and a zero flags byte (the length goes out big-endian).
  uint8_t record[kPageSettingSinglePageSize] = {0, 0, 1};
  PutLE32(&record[3], kPageSettingSinglePageSize);
  return m_ReduzidScanner.SetImprPageSettingNew(record, sizeof record);
}

ImprinterTime LocalImprinterTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return {};
  ImprinterTime t;
  t.year = static_cast<uint16_t>(local.tm_year + 1900);
  t.month = static_cast<uint8_t>(local.tm_mon + 1);
  t.day = static_cast<uint8_t>(local.tm_mday);
  t.hour = static_cast<uint8_t>(local.tm_hour);
  t.minute = static_cast<uint8_t>(local.tm_min);
  t.second = static_cast<uint8_t>(local.tm_sec);
  return t;
}

}  // namespace rzd::lowdrv
