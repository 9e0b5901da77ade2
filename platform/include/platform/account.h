// The rights of the calling account, as the user-interface pieces ask for them: an elevated
// administrator (Windows: the Administrators group enabled in the token) may change machine-wide
// settings; a member of the administrators' group who is not elevated is told to open the
// panel with elevated rights; anybody else is a standard user.
//
// Here an elevated administrator is a process whose effective user is root; a member of the
// group is a user in one of the groups "sudo", "wheel" or "admin" (or root). Tests choose the
// rights with SetAccountRightsForTests: the choice is recorded in the system root, so every
// process of the root (a configuration host a test starts, for example) sees it.
#pragma once

#include <optional>

namespace rzd {

enum class AccountRights {
  StandardUser,
  AdministratorsMember,   // in the administrators' group, not elevated
  ElevatedAdministrator,
};

AccountRights CurrentAccountRights();
// Elevated: the rights of an administrator in force now.
bool IsRunningAsAdmin();
// A member of the administrators' group, elevated or not.
bool IsUserInAdminGroup();

// Records the rights every process of the root answers; nullopt removes the record.
void SetAccountRightsForTests(std::optional<AccountRights> rights);

}  // namespace rzd
