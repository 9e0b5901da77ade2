// The one place where the system binds a listening socket: local servers, the service control
// sockets and the simulated unit's sockets all come through it, so no socket of the system is
// ever reachable by another user.
#pragma once

#include <filesystem>

namespace rzd::ipc {

// A stream socket listening at `path` that only this user may connect to: it is bound under a
// temporary name beside `path`, made 0600, set listening and renamed over `path` (replacing
// whatever is there), so it never exists there with other permissions. `extraType` is or-ed into
// the socket's type (SOCK_NONBLOCK, or 0). The caller makes the folder private first
// (EnsurePrivateFolder). The descriptor, or -1 with errno set (ENAMETOOLONG for a path no socket
// address reaches).
int ListenOwnerOnly(const std::filesystem::path& path, int extraType, int backlog);

}  // namespace rzd::ipc
