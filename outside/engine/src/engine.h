// The device logic of the simulated unit, apart from the USB phases: what each command of the
// two command sets does, the unit's records, the feeder and the pages. SimUnit drives it and
// holds the lock; nothing here is thread-safe on its own.
#pragma once

#include "engine/sim_unit.h"
#include "scan_window.h"
#include "sense.h"

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace rzd::engine {

struct CommandPlan {
  enum class Dir : uint8_t { None, In, Out };
  Dir dir = Dir::None;
  size_t length = 0;  // the transfer length the command block names
};

struct CommandResult {
  std::vector<uint8_t> data;  // data-in bytes
  bool check = false;         // status 2 (check condition), else 0
  Sense sense;                // with check
};

using EventReport = std::array<uint8_t, 16>;
// A device-event report as the unit sends it (at most 16 bytes).
using EventBytes = std::vector<uint8_t>;

// Largest data-out block the unit takes (one transfer of the transport).
inline constexpr size_t kMaxDataOut = 16u * 1024 * 1024;

class Engine {
 public:
  explicit Engine(const SimUnitOptions& options);

  static CommandPlan PlanNew(const std::vector<uint8_t>& cdb);
  static CommandPlan PlanClassic(const std::vector<uint8_t>& cdb);

  // Runs one command. `out` is the data-out block as received (its size is checked against the
  // command's transfer length); data-in answers are cut to `inMax` bytes. A check condition
  // leaves its sense pending for the next REQUEST SENSE.
  CommandResult ExecuteNew(const std::vector<uint8_t>& cdb, const std::vector<uint8_t>& out,
                           size_t inMax);
  CommandResult ExecuteClassic(const std::vector<uint8_t>& cdb, const std::vector<uint8_t>& out,
                               size_t inMax);

  // One control line (the port handles the transport-level words itself). Button presses and
  // raw events add their device-event reports to `events`.
  std::string Control(const std::string& line, std::vector<EventBytes>& events);
  static std::string Help();

  // Inspection.
  const std::array<uint8_t, kNvramSize>& Nvram() const { return nvram_; }
  const std::string& Revision() const { return revision_; }
  size_t SheetsInFeeder() const { return feeder_.size(); }
  const std::map<uint16_t, std::vector<uint8_t>>& LcdScreens() const { return lcdScreens_; }
  const std::map<uint16_t, std::string>& LcdStrings() const { return lcdStrings_; }

 private:
  struct Sheet {
    uint32_t number = 0;  // 0: the background (no paper)
    bool twoSided = true;  // a one-sided sheet has a blank back
    uint32_t lines = 0;    // its own length in lines; 0 = as long as the window
    uint32_t width = 0;    // its own width in pixels (found by a cropping window); 0 = the window's
    uint8_t kind = 0;      // media kind bits of the feeder status (0x20 A, 0x10 B)
  };
  enum class FaultKind : uint8_t { Jam, Multifeed, Staple, Misfeed };
  struct Fault {
    FaultKind kind = FaultKind::Jam;
    uint32_t sheet = 0;
    int side = -1;       // -1: the first side read
    int64_t line = -1;   // -1: half way down the side
  };
  struct SideRun {
    bool used = false;
    bool ended = false;
    uint32_t side = 0;
    uint32_t lines = 0;
    uint64_t total = 0;  // bytes of the side
    uint64_t pos = 0;    // bytes delivered
    bool blank = false;        // white content
    bool reportBlank = false;  // its end carries ASCQ 0x21
    bool encoded = false;
    std::vector<uint8_t> jpeg;
    std::vector<uint64_t> pieceEnds;  // restart points: where the side's pieces end
    size_t nextPiece = 0;             // the first piece end not reached yet
    uint64_t pieceStart = 0;          // where the current piece began
    uint32_t pieceLines = 0;          // lines of the pieces before the current one
    bool firstReadDone = false;
  };
  struct Page {
    Sheet sheet;
    ScanWindow window;
    std::array<SideRun, 2> sides;
    int lastSide = -1;
    uint8_t transferMode = 0;
    bool combined = false;        // mode 3 raster: both sides in one stream of alternating blocks
    bool restartPoints = false;   // mode 6: pieces end at restart points, the sides alternate there
    bool wholeJpeg = false;       // the unit writes the JPEG headers itself
    bool crop = false;            // the window asks the unit to find the sheet's width
    bool multifeedPause = false;  // a double feed is reported when the page is released
    bool multifeedSeen = false;
    int activeSide = 0;           // mode 6: the side whose piece is being delivered
    uint32_t bytesPerLine = 0;    // of this page (a cropped sheet has fewer)
    uint32_t pixelsPerLine = 0;
    std::array<uint8_t, 64> luminance{};
    std::array<uint8_t, 64> chrominance{};
    bool Complete() const {
      return (!sides[0].used || sides[0].ended) && (!sides[1].used || sides[1].ended);
    }
  };

  // Results.
  static CommandResult Good(std::vector<uint8_t> data = {});
  static CommandResult Check(const Sense& s, std::vector<uint8_t> data = {});
  CommandResult Finish(CommandResult result, size_t inMax);

  // Records (engine_records.cpp).
  void BuildInquiryAnswer();
  std::vector<uint8_t> ClassicInquiryRecord() const;
  void InitNvram();
  std::vector<uint8_t> CalibrationFormat() const;  // the 32-byte record
  std::vector<uint8_t> LcdHeader() const;
  // Writes an uploaded screen that holds a bitmap file to the LCD folder as <slot>.png.
  void SaveLcdScreen(uint16_t slotValue, uint8_t screens, const std::vector<uint8_t>& data) const;
  std::vector<uint8_t> LcdAllStrings() const;
  std::vector<uint8_t> ImprinterRecord(uint16_t dataType) const;
  std::vector<uint8_t> TrayAbility() const;
  uint32_t Nvram32(size_t offset) const;
  void SetNvram16(size_t offset, uint32_t value);
  void AddNvram32(size_t offset, uint32_t delta);

  // Commands of both sets.
  Sense TakeSense();
  Sense StandingSense() const;
  CommandResult SetWindow(const WindowResult& parsed);
  CommandResult Reserve(uint8_t control, bool feeds);
  CommandResult Release(uint8_t control);
  CommandResult ResetUnit();
  uint8_t FeederStatus() const;
  uint8_t LampStatus();
  CommandResult CalibrationPoll();
  void StartCalibration();
  CommandResult FlashBlock(const uint8_t* data, size_t size);
  void PaperRelease(uint8_t how);

  // The two dispatchers' data-type tables (engine_data.cpp).
  CommandResult ReadNew(uint16_t dataType, size_t length, size_t inMax);
  CommandResult SendNew(uint16_t dataType, const std::vector<uint8_t>& d);
  CommandResult ReadClassic(uint8_t dataType, size_t length, size_t inMax);
  // READ 0x9B of either set: the background raster of the side whose turn it is.
  CommandResult ReadBackgroundRaster(size_t length);
  CommandResult SendClassic(uint8_t dataType, uint16_t qualifier, const std::vector<uint8_t>& d);

  // Paper and image data (engine_scan.cpp).
  CommandResult StartPage();
  CommandResult ReadImage(size_t allowed);
  void PrepareSide(Page& page, SideRun& run);
  void Produce(const Page& page, const SideRun& run, uint64_t pos, size_t n, uint8_t* out) const;
  int NextSide(const Page& page) const;
  std::optional<Fault> TakeFault(uint32_t sheet, FaultKind kind);
  std::optional<Fault> FaultFor(const Page& page, int side) const;
  void EjectPage();
  void ReturnPageToFeeder();
  void ProduceCombined(const Page& page, uint64_t pos, size_t n, uint8_t* out) const;
  uint32_t LinesOfPiece(const Page& page, const SideRun& run) const;

  // Control words of the scan modes (engine_scan_control.cpp); nullopt for a word they do not know.
  std::optional<std::string> ControlScan(const std::vector<std::string>& words);

  // Control words (engine_control.cpp).
  std::string ControlLoad(const std::vector<std::string>& words);
  std::string ControlFault(FaultKind kind, const std::vector<std::string>& words);
  std::string ControlPress(const std::vector<std::string>& words, std::vector<EventBytes>& events);
  std::string ControlEvent(const std::vector<std::string>& words, std::vector<EventBytes>& events);
  std::string ControlState() const;
  // lock, counters, refuse (engine_maintenance.cpp).
  std::string ControlMaintenance(const std::vector<std::string>& words);
  // A check condition for a READ (send false) or SEND of `dataType` that the control line
  // "refuse" asked for; nullopt when the command goes on.
  std::optional<CommandResult> TakeRefusal(bool send, uint16_t dataType);
  // Whether the control line "abort release" asked to answer a release with `control` so.
  bool TakeAbortedRelease(uint8_t control);

  SimUnitOptions options_;
  std::vector<uint8_t> inquiryAnswer_;
  std::array<uint8_t, kNvramSize> nvram_{};
  std::string revision_;
  std::optional<Sense> pendingSense_;
  bool coverOpen_ = false;
  bool locked_ = false;  // the scanner lock is closed

  // Commands the control line "refuse" makes fail.
  struct Refusal {
    bool send = false;
    uint16_t dataType = 0;
    bool once = false;
  };
  std::vector<Refusal> refusals_;

  bool lampOn_ = true;
  uint32_t lampWarmingReads_ = 0;
  bool lampWarmingUntilReady_ = false;
  bool lampFault_ = false;  // the lamp cannot light: its status reads 3

  // RELEASE UNIT control bytes the control line "abort release" answers with an aborted command.
  struct AbortedRelease {
    uint8_t control = 0;
    bool once = false;
  };
  std::vector<AbortedRelease> abortedReleases_;

  EventReport lastButtons_{};
  uint8_t functionNumber_ = 1;
  uint8_t dfdChoice_ = 0;

  std::optional<ScanWindow> window_;
  std::array<std::vector<uint8_t>, 3> gamma_;
  std::vector<uint8_t> matrix_;
  std::array<uint8_t, 64> luminance_{};
  std::array<uint8_t, 64> chrominance_{};
  std::array<uint8_t, 68> ipBlock_{};
  uint32_t ultrasonicMask_ = 0x010101;
  uint16_t truncHead_ = 0;
  uint16_t truncTail_ = 0;
  uint16_t trayHeight_ = 0;

  std::map<uint16_t, std::string> lcdStrings_;
  uint16_t lcdCurrentString_ = 1;
  std::map<uint16_t, std::vector<uint8_t>> lcdScreens_;

  struct Imprinter {
    bool enabled = false;
    bool started = false;
    uint32_t cleanings = 0;
    uint8_t inkWhole = 87;
    uint8_t inkTenth = 5;
    std::map<uint16_t, std::vector<uint8_t>> blocks;  // last block of each data type
  } imprinter_;

  uint32_t calibrationSteps_ = 5;
  uint32_t calibrationDone_ = 0;
  bool calibrating_ = false;
  uint32_t calibrationFailAt_ = 0;  // step number that fails, 0 none

  std::optional<std::vector<uint8_t>> pendingFirmwarePart_;
  std::vector<uint8_t> masterFirmware_;
  std::vector<uint8_t> slaveFirmware_;

  // Background raster reads since the last window, page start or reset: an even count makes
  // the next one the front's, an odd count the back's.
  uint32_t backgroundReads_ = 0;

  uint8_t transferMode_ = 0;
  bool engineJpegHeaders_ = false;  // the unit writes its own JPEG headers (inquiry byte 164 bit 1)
  bool batchReserved_ = false;
  bool pageReserved_ = false;

  std::deque<Sheet> feeder_;
  uint32_t nextSheet_ = 1;
  std::vector<Fault> faults_;
  std::set<std::pair<uint32_t, int>> blankSides_;
  std::optional<Page> page_;
};

}  // namespace rzd::engine
