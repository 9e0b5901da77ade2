// Registration of a copy of the service: its application identifier and instance class (the
// registry scripts REGISTRY 101 and 102), the values it writes into its unit's device class key,
// and the service record; and the command line that asks for them.
#pragma once

#include "startup/startup_values.h"

#include "platform/errors.h"

#include <optional>
#include <string>
#include <vector>

namespace rzd::scanhost {

enum class Switch {
  kRun,                 // no switch: run as the service or as a local server
  kRegServer,           // register the application identifier and the class, then end
  kUnregServer,         // remove the service record, the application identifier and the class
  kRegServerPerUser,    // the same in the current user's classes
  kUnregServerPerUser,
  kService,             // register the application identifier as a service, install it, register the class
};

// The first argument that starts with "-" or "/" names the switch (without regard to case);
// an unknown switch, or none, is kRun.
Switch ParseSwitch(const std::vector<std::string>& args);

// Runs a registration switch; the process's exit code (the HRESULT).
HRESULT RunRegistration(Switch what, const StartupValues& values);

// Script 102 for this instance only, then the device class key values (E_FAIL when the key
// cannot be opened).
HRESULT RegisterServer(const StartupValues& values, bool perUser);
// Script 102 removed for this instance; the device class key values stay.
HRESULT UnregisterServer(const StartupValues& values, bool perUser);
// Script 101; `LocalService` is removed, and with `service` written again (with the launch and
// access permissions) and the service installed.
HRESULT RegisterAppId(const StartupValues& values, bool service, bool perUser);
HRESULT UnregisterAppId(const StartupValues& values, bool perUser);
// The device class key values of this instance (SetCLSID).
HRESULT SetClsid(const StartupValues& values);

// The service record: created when none of the service name exists (own process, automatic
// start, the quoted module path, dependent on "RPCSS"). False after showing the failure.
bool InstallService(const StartupValues& values);
// Stops (waiting for it) and deletes the service when one of the service name exists. False
// after showing the failure.
bool UninstallService(const StartupValues& values);

// MODULE as the registrations write it: the full path, quoted when it holds a blank.
std::u16string QuotedModulePath(const StartupValues& values);

}  // namespace rzd::scanhost
