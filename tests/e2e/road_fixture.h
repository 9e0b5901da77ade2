// The fixture of the tests of the whole data road, each in its own system root: the simulated
// unit (rzd-engine) started by the test, the installation (rzd-install), and rzd-scan in
// processes of their own; the scanner service starts by activation when rzd-scan first needs it.
#pragma once

#include "platform/process.h"
#include "testsupport/eventually.h"
#include "testsupport/temp_root.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace rzd::test {

// The name the installation gives the first unit's service.
inline constexpr char16_t kServiceName[] = u"scanhost_0000_0";

// A batch long enough to be cut in the middle: ten duplex sheets, and the scan that takes it.
inline constexpr char kLongBatch[] = "10 duplex";
inline constexpr char kBatchOptions[] = "--source duplex --mode color --dpi 150";

struct Outcome {
  int exit = -1;
  std::string out;
  std::string err;
  // The last line of the error output (progress lines come before it).
  std::string LastError() const;
};

// An rzd-scan running in the background, its output going to files.
struct RunningScan {
  std::optional<ChildProcess> process;
  std::filesystem::path outFile;
  std::filesystem::path errFile;
  // Waits for its end (up to `timeoutMs`); exit -1000 on time-out.
  Outcome Finish(uint32_t timeoutMs = 120000);
};

class RoadTest : public TempRoot {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the unit (instance 0) with `paper` on its feeder and waits for its arrival.
  void StartUnit(const std::string& paper);
  // A control line to the unit; its reply.
  static std::string UnitControl(const std::string& line);
  // Runs rzd-install; its exit code.
  int Install();
  // Starts the unit with `paper` on its feeder and installs it.
  void StartAndInstall(const std::string& paper);

  // rzd-scan with these arguments, to its end.
  Outcome Scan(const std::string& arguments);
  RunningScan StartScan(const std::string& arguments);
  // "scan --out <folder> <options>".
  std::string ScanInto(const std::filesystem::path& folder, const std::string& options) const;
  // Starts the scan of the long batch into `out` and returns once its first side is written;
  // nothing (the failure recorded, the scan killed) when it did not get there.
  std::optional<RunningScan> StartLongBatch(const std::filesystem::path& out);
  // One page into `out`, after putting a sheet on the feeder.
  Outcome ScanOnePage(const std::filesystem::path& out);

  // Stops the service when it runs; false when it did not stop within 60 s.
  static bool StopService();
  // The service's process id; 0 while it does not run.
  static uint32_t ServiceProcessId();
  // Whether the unit's driver keeps it locked for someone: a status read through a new
  // connection of the driver library cannot tell, so the test asks the unit for its state line.
  static std::string UnitState() { return UnitControl("state"); }

 private:
  std::optional<ChildProcess> unit_;
  std::optional<ChildProcess> watcher_;
  int scans_ = 0;
};

}  // namespace rzd::test
