// Tells every top-level window that it was blocked and then unblocked by a modal window, so
// windows of the host and of the panel agree on their state before a box runs.
#pragma once

namespace rzd::panel {

void FixQTCrash();

}  // namespace rzd::panel
