// The text part of the imprinter's line, composed from the settings' imprinter text.
#pragma once

#include <string>
#include <string_view>

namespace rzd::lowdrv {

// The imprinter text in the ANSI code page (to its first zero character), followed by a space
// when a counter follows it, or between two spaces when a date or time is printed (whatever the
// date-time format). At most 511 bytes: the text is cut so that its spaces fit.
std::string ComposeImprinterText(std::u16string_view text, bool counter, bool dateOrTime);

}  // namespace rzd::lowdrv
