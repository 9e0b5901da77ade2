#include "platform/account.h"

#include "platform/root.h"
#include "root/kept_line.h"

#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace rzd {

namespace {

fs::path RightsRecord() { return SystemRoot() / "sessions" / "account-rights"; }

std::optional<AccountRights> RecordedRights() {
  std::ifstream in(RightsRecord());
  std::string word;
  if (!(in >> word)) return std::nullopt;
  if (word == "elevated") return AccountRights::ElevatedAdministrator;
  if (word == "member") return AccountRights::AdministratorsMember;
  if (word == "standard") return AccountRights::StandardUser;
  return std::nullopt;
}

bool InAdministratorsGroup() {
  static const char* const kGroups[] = {"sudo", "wheel", "admin"};
  const int count = getgroups(0, nullptr);
  if (count < 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(count) + 1);
  const int got = getgroups(count, groups.data());
  if (got < 0) return false;
  groups.resize(static_cast<size_t>(got));
  groups.push_back(getegid());
  for (const char* name : kGroups) {
    const struct group* entry = getgrnam(name);
    if (entry == nullptr) continue;
    for (gid_t id : groups) {
      if (id == entry->gr_gid) return true;
    }
  }
  return false;
}

}  // namespace

AccountRights CurrentAccountRights() {
  if (auto recorded = RecordedRights()) return *recorded;
  if (geteuid() == 0) return AccountRights::ElevatedAdministrator;
  return InAdministratorsGroup() ? AccountRights::AdministratorsMember : AccountRights::StandardUser;
}

bool IsRunningAsAdmin() { return CurrentAccountRights() == AccountRights::ElevatedAdministrator; }

bool IsUserInAdminGroup() { return CurrentAccountRights() != AccountRights::StandardUser; }

void SetAccountRightsForTests(std::optional<AccountRights> rights) {
  if (!rights) {
    std::error_code ec;
    fs::remove(RightsRecord(), ec);
    return;
  }
  const char* word = *rights == AccountRights::ElevatedAdministrator ? "elevated"
                     : *rights == AccountRights::AdministratorsMember ? "member"
                                                                       : "standard";
  root_internal::WriteKeptLine(RightsRecord(), word);
}

}  // namespace rzd
