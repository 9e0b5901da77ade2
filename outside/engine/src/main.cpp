// rzd-engine: the simulated scanner unit as a program of its own.
#include "engine/engine_main.h"
#include "engine/sim_unit.h"

int main(int argc, char** argv) {
  using namespace rzd::engine;
  return RunEngine(argc, argv, [](const EngineOptions& options, std::string* error) -> std::unique_ptr<UnitPort> {
    SimUnitOptions unitOptions;
    unitOptions.serialNumber = options.serialNumber;
    unitOptions.lcdDir = options.lcdDir;
    auto unit = std::make_unique<SimUnit>(unitOptions);
    if (options.paper) {
      // --paper takes what the unit's "load" control line takes: a sheet count and its options.
      std::string reply = unit->Control("load " + *options.paper);
      if (reply.rfind("ok", 0) != 0) {
        *error = "--paper " + *options.paper + ": " + reply;
        return nullptr;
      }
    }
    return unit;
  });
}
