// scanhost: the scanner HAL service. One copy runs per installed unit and instance; the copy's
// own file name (<base>_<device class subkey>_<instance digit>) says which. With a registration
// switch it registers or unregisters itself and ends; without one it runs as the service (or as a
// plain local server) of its instance's class.
#include "service/service_module.h"
#include "startup/registration.h"
#include "startup/startup_values.h"

#include "foundation/diag_sink.h"
#include "foundation/folders.h"
#include "foundation/module_objects.h"
#include "platform/com.h"
#include "platform/com_remote.h"
#include "platform/modules.h"

#include <string>
#include <vector>

namespace {

constexpr char16_t kPathGuard[] = u"Corvanite2010";
constexpr char16_t kLoggerCompany[] = u"Corvanite";
constexpr char16_t kLoggerComponent[] = u"M48tzHAL";

int Main(const std::vector<std::string>& args) {
  using namespace rzd;
  using namespace rzd::scanhost;
  AddCommonFilesFolderToPath(kPathGuard);
  std::optional<StartupValues> values = ReadStartupValues(ExecutablePath());
  StartDiagnostics(kLoggerCompany, kLoggerComponent);
  int result = -1;
  {
    ComInit com(COINIT_MULTITHREADED);
    if (values) {
      const Switch what = ParseSwitch(args);
      if (what != Switch::kRun) {
        result = static_cast<int>(RunRegistration(what, *values));
      } else {
        // The module lives as long as the process: calls that arrive while it stops still find it.
        static ServiceModule* const module = new ServiceModule(*values);
        result = module->Run();
        // The run ended its objects; what its connections still hold (the coclasses of clients
        // that were killed or are still connected) goes now, and the server threads end, before
        // the diagnostics and the module objects they use go.
        EndLocalServer();
      }
    }
  }
  StopDiagnostics();
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const int result = Main(std::vector<std::string>(argv + 1, argv + argc));
  rzd::DestroyModuleObjects();
  return result;
}
