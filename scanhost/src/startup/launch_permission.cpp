#include "startup/launch_permission.h"

#include "platform/local_socket.h"

#include <initializer_list>

namespace rzd::scanhost {

namespace {

constexpr uint16_t kDaclPresent = 0x0004;
constexpr uint16_t kSelfRelative = 0x8000;
constexpr uint8_t kAclRevision = 2;
constexpr uint8_t kAccessAllowedAce = 0;
constexpr uint32_t kExecuteRight = 1;
constexpr size_t kHeaderSize = 20;
constexpr size_t kAclHeaderSize = 8;

void Put16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}
void Set32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A SID: revision 1, the count, the 48-bit authority (big-endian), the sub-authorities.
std::vector<uint8_t> Sid(uint8_t authority, std::initializer_list<uint32_t> subAuthorities) {
  std::vector<uint8_t> sid = {1, static_cast<uint8_t>(subAuthorities.size()), 0, 0, 0, 0, 0, authority};
  for (uint32_t sub : subAuthorities) Put32(sid, sub);
  return sid;
}

}  // namespace

std::vector<uint8_t> LaunchPermissionDescriptor() {
  const std::vector<uint8_t> owner = Sid(22, {1, CurrentUserId()});
  const std::vector<uint8_t> group = Sid(22, {2, CurrentGroupId()});
  const std::vector<uint8_t> world = Sid(1, {0});

  std::vector<uint8_t> out(kHeaderSize, 0);
  out[0] = 1;  // revision
  const uint16_t control = kDaclPresent | kSelfRelative;
  out[2] = static_cast<uint8_t>(control);
  out[3] = static_cast<uint8_t>(control >> 8);
  Set32(out, 4, static_cast<uint32_t>(out.size()));
  out.insert(out.end(), owner.begin(), owner.end());
  Set32(out, 8, static_cast<uint32_t>(out.size()));
  out.insert(out.end(), group.begin(), group.end());
  Set32(out, 16, static_cast<uint32_t>(out.size()));  // no system access list (offset 12 stays 0)
  // The access list: one entry allowing execute to everyone.
  const uint16_t aceSize = static_cast<uint16_t>(8 + world.size());
  out.push_back(kAclRevision);
  out.push_back(0);
  Put16(out, static_cast<uint16_t>(kAclHeaderSize + aceSize));
  Put16(out, 1);
  Put16(out, 0);
  out.push_back(kAccessAllowedAce);
  out.push_back(0);
  Put16(out, aceSize);
  Put32(out, kExecuteRight);
  out.insert(out.end(), world.begin(), world.end());
  return out;
}

}  // namespace rzd::scanhost
