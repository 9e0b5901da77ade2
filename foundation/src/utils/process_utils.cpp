// Privileges and ending another process.
#include "foundation/process_utils.h"

#include "foundation/install_log.h"
#include "platform/errors.h"
#include "platform/process.h"

#include <algorithm>
#include <array>

namespace rzd {

namespace {

constexpr uint32_t ERROR_NO_SUCH_PRIVILEGE = 1313;

// The privilege names the system may ask for.
constexpr std::array<std::u16string_view, 12> kPrivileges = {
    u"SeDebugPrivilege",      u"SeShutdownPrivilege",      u"SeBackupPrivilege",
    u"SeRestorePrivilege",    u"SeTcbPrivilege",           u"SeSecurityPrivilege",
    u"SeImpersonatePrivilege", u"SeIncreaseQuotaPrivilege", u"SeAssignPrimaryTokenPrivilege",
    u"SeLoadDriverPrivilege", u"SeTakeOwnershipPrivilege", u"SeSystemtimePrivilege",
};

}  // namespace

bool SetThePrivilege(void* /*token*/, bool /*enable*/, std::u16string_view privilege) {
  if (std::find(kPrivileges.begin(), kPrivileges.end(), privilege) == kPrivileges.end()) {
    WriteCoInstallerLog(u"SetThePrivilege: LookupPrivilegeValue failed because 0x%08X", ERROR_NO_SUCH_PRIVILEGE);
    return false;
  }
  return true;
}

void KillTheProcess(uint32_t processId) {
  bool privileged = SetThePrivilege(nullptr, true, u"SeDebugPrivilege");
  if (!privileged) WriteCoInstallerLog(u"KillTheProcess Set debug privilege failed with 0x%08X", ERROR_NO_SUCH_PRIVILEGE);
  // Id 0 and ids beyond the positive range would address process groups: they name no process.
  if (processId == 0 || processId > 0x7FFFFFFFu || !IsProcessAlive(processId)) {
    WriteCoInstallerLog(u"KillTheProcess Open Process failed with 0x%08X", ERROR_INVALID_PARAMETER);
  } else if (KillProcess(processId)) {
    WriteCoInstallerLog(u"KillTheProcess Terminate Process successful.");
  } else {
    WriteCoInstallerLog(u"KillTheProcess Terminate Process failed with 0x%08X", ERROR_ACCESS_DENIED);
  }
  if (privileged) SetThePrivilege(nullptr, false, u"SeDebugPrivilege");
}

}  // namespace rzd
