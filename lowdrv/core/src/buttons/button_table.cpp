#include "buttons/button_table.h"

#include "lowdrv/engine/command_lock.h"
#include "platform/text.h"

#include <algorithm>
#include <mutex>
#include <type_traits>
#include <utility>

namespace rzd::lowdrv::buttons {

namespace {

constexpr uint8_t kReportsButtons = 0x80;
constexpr uint8_t kLongBit = 0x40;
constexpr uint8_t kCountMask = 0x0F;
constexpr size_t kFunctionByte = 6;

struct Table {
  uint8_t entries[kButtonCount] = {};
  uint8_t function = 0;
};

// Nothing to destroy (a static without a destructor): a report may be recorded while the
// library's statics go, and an unload leaves no memory behind.
Table& TheTable() {
  static Table table;
  static_assert(std::is_trivially_destructible_v<Table>);
  return table;
}

}  // namespace

void RecordReport(const uint8_t* report, size_t transferred) {
  if (!report || transferred == 0) return;
  transferred = std::min(transferred, kEventReportSize);
  std::lock_guard guard(EngineCommandLock());
  Table& t = TheTable();
  if (transferred > kFunctionByte) t.function = report[kFunctionByte];
  std::fill(std::begin(t.entries), std::end(t.entries), kNoPress);
  if ((report[0] & kReportsButtons) == 0) return;
  // Only the button numbers that arrived count: a short report lists fewer than it announces.
  const size_t count = std::min<size_t>(report[0] & kCountMask, transferred - 1);
  const uint8_t press = (report[0] & kLongBit) ? kLongPress : kShortPress;
  for (size_t i = 1; i <= count; ++i) {
    if (report[i] < kButtonCount) t.entries[report[i]] = press;
  }
}

void ClearTable() {
  std::lock_guard guard(EngineCommandLock());
  std::fill(std::begin(TheTable().entries), std::end(TheTable().entries), kNoPress);
}

uint8_t TakeEntry(uint32_t button) {
  if (button >= kButtonCount) return kNoPress;
  std::lock_guard guard(EngineCommandLock());
  return std::exchange(TheTable().entries[button], kNoPress);
}

bool TakeFirstEqual(uint8_t value) {
  std::lock_guard guard(EngineCommandLock());
  Table& t = TheTable();
  uint8_t* found = std::find(std::begin(t.entries), std::end(t.entries), value);
  if (found == std::end(t.entries)) return false;
  *found = kNoPress;
  return true;
}

std::u16string TakeButtonsDocument(bool flatbed) {
  std::u16string doc = flatbed ? u"<Buttons DocumentSource='Flatbed'>\r\n" : u"<Buttons>\r\n";
  std::lock_guard guard(EngineCommandLock());
  Table& t = TheTable();
  for (size_t i = 0; i < kButtonCount; ++i) {
    if (t.entries[i] == kNoPress) continue;
    const int number = static_cast<int>(i);
    doc += FormatW(u"<Button ID=\"%d\">\r\n", number);
    doc += FormatW(u"<Event Function=\"%d\">%s</Event>\r\n", static_cast<int>(t.function),
                   t.entries[i] == kShortPress ? u"Short" : u"Long");
    doc += FormatW(u"<XPath><![CDATA[/Scanner/Buttons/List/Item[@ID=\"Button%d\"]]]></XPath>\r\n", number);
    doc += u"</Button>\r\n";
    t.entries[i] = kNoPress;
  }
  doc += u"</Buttons>";
  return doc;
}

uint8_t FunctionByte() {
  std::lock_guard guard(EngineCommandLock());
  return TheTable().function;
}

}  // namespace rzd::lowdrv::buttons
