// The security descriptor the service's application identifier carries as `LaunchPermission` and
// `AccessPermission`: owner and group of this process, and an access list that lets everyone
// launch and call (execute right, access mask 1). It is written in the self-relative binary form
// of the registry; the process's user and group appear as the SIDs S-1-22-1-<uid> and
// S-1-22-2-<gid> (the usual mapping of Unix users and groups). Who may really connect is decided
// by the local servers' socket credentials (platform/com_remote.h).
#pragma once

#include <cstdint>
#include <vector>

namespace rzd::scanhost {

std::vector<uint8_t> LaunchPermissionDescriptor();

}  // namespace rzd::scanhost
