// What the configuration host's two roads share: the unit it shows, read from the unit's device
// class key, the panel library that key names, and the service object opened for the unit.
#pragma once

#include "interfaces/rzdhal.h"
#include "platform/com.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace rzd::confighost {

struct Unit {
  std::u16string subkey;      // the device class subkey, "0000"
  std::u16string halClsid;    // HAL_CLSID: the service's class, braced
  std::u16string inprocClsid; // INPROC_CLSID: the bridge's class, when the service registered it
  std::u16string configUi;    // CONFIG_UI: the panel library's file name
  std::u16string friendlyName;
};

// The unit of device class subkey `subkey`, or the first one that has a HAL_CLSID when empty.
std::optional<Unit> FindUnit(const std::u16string& subkey, std::string* error);

// The panel library: `given` when not empty, else the unit's CONFIG_UI file beside this program
// or in the build's library folder.
std::optional<std::filesystem::path> PanelPath(const Unit& unit, const std::filesystem::path& given, std::string* error);

// The unit's service object, opened with code 14 for the unit; null with `error` on failure. It is
// the bridge (in this process) when the unit names one, else the service's own class.
ComPtr<IRZDHAL> OpenUnit(const Unit& unit, std::string* error);
// Closes the unit (code 15) and releases the object.
void CloseUnit(ComPtr<IRZDHAL>& service);

struct Options {
  std::u16string unit;
  std::filesystem::path panel;
  std::filesystem::path grab;  // empty: show the window until the user closes it
  // --plugin only: buttons of the panel to press (by object name), in order, and whether to print
  // the panel's fields afterwards. Either makes the run unattended, as --grab does.
  std::vector<std::string> press;
  bool print = false;
  bool Unattended() const { return !grab.empty() || !press.empty() || print; }
};

// The two roads; each returns the program's exit code.
int RunPlugin(const Unit& unit, const std::filesystem::path& panel, const Options& options);
int RunSheet(const Unit& unit, const std::filesystem::path& panel, const Options& options);

}  // namespace rzd::confighost
