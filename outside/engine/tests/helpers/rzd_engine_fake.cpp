// rzd-engine with the transport tests' unit in place of the simulated scanner.
#include "engine/engine_main.h"
#include "transport_fake_port.h"

int main(int argc, char** argv) {
  return rzd::engine::RunEngine(argc, argv, [](const rzd::engine::EngineOptions&, std::string*) {
    return std::unique_ptr<rzd::engine::UnitPort>(std::make_unique<rzd::engine::fake::FakeUnit>());
  });
}
