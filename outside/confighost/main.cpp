// rzd-confighost: a small configuration host that shows a unit's settings panel.
//
//   rzd-confighost --plugin [--unit NNNN] [--panel PATH] [--grab DIR] [--press BUTTON]... [--print]
//   rzd-confighost --sheet  [--unit NNNN] [--panel PATH] [--grab DIR]
//
// The unit is the device class subkey NNNN (default: the first unit with a service class). Its
// HAL_CLSID names the service, its CONFIG_UI the panel library (looked for beside this program
// or in the build's library folder; --panel names another). --plugin loads the panel as a Qt
// plug-in, opens the unit and hands the panel the class id and the service object; --sheet
// shows the three property-sheet pages in a dialog with OK, Cancel and Apply. With --grab the
// window is saved as PNG files in DIR (plugin.png, sheet_0.png to sheet_2.png) and the host
// exits. With --plugin, --press BUTTON clicks the panel's button of that object name (for
// example m_btnScnrCfgRollerCtReset; message boxes it brings are printed and closed) and --print
// prints the panel's information fields and shown time-out boxes as "name<TAB>text" lines;
// both end the run as --grab does. Exit code 0 on success, 1 on a failure (said on standard error), 2 for bad arguments.
#include "host.h"

#include "interfaces/rzdhal_proxy_stub.h"
#include "platform/com.h"
#include "platform/text.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Usage() {
  std::fprintf(stderr, "usage: rzd-confighost --plugin|--sheet [--unit NNNN] [--panel PATH] [--grab DIR]\n"
               "       rzd-confighost --plugin ... [--press BUTTON]... [--print]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace rzd::confighost;
  Options options;
  std::string road;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--plugin" || arg == "--sheet") {
      if (!road.empty()) return Usage();
      road = arg;
    } else if (arg == "--unit" && hasValue) {
      options.unit = rzd::FromUtf8(argv[++i]);
    } else if (arg == "--panel" && hasValue) {
      options.panel = argv[++i];
    } else if (arg == "--grab" && hasValue) {
      options.grab = argv[++i];
    } else if (arg == "--press" && hasValue) {
      options.press.emplace_back(argv[++i]);
    } else if (arg == "--print") {
      options.print = true;
    } else {
      return Usage();
    }
  }
  if (road.empty()) return Usage();
  if (road == "--sheet" && (!options.press.empty() || options.print)) return Usage();

  std::string error;
  const std::optional<Unit> unit = FindUnit(options.unit, &error);
  if (!unit) {
    std::fprintf(stderr, "rzd-confighost: %s\n", error.c_str());
    return 1;
  }
  const std::optional<std::filesystem::path> panel = PanelPath(*unit, options.panel, &error);
  if (!panel) {
    std::fprintf(stderr, "rzd-confighost: %s\n", error.c_str());
    return 1;
  }
  if (!options.grab.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(options.grab, ec);
  }
  rzd::ComInit com(COINIT_MULTITHREADED);
  // Both roads talk to the service through the IRZDHAL proxy.
  if (FAILED(rzd::RegisterRzdHalProxyStub())) {
    std::fprintf(stderr, "rzd-confighost: the IRZDHAL proxy could not be registered\n");
    return 1;
  }
  // Qt reads options of its own from a command line (-plugin, -style, ...), and would take
  // --plugin and the word after it for one: it gets the program's name only.
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication app(qtArgc, qtArgv);
  return road == "--plugin" ? RunPlugin(*unit, *panel, options) : RunSheet(*unit, *panel, options);
}
