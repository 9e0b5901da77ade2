// Command blocks of both command sets: planning the data phase, running the command, keeping
// the sense of a check condition for the next REQUEST SENSE.
#include "engine.h"
#include "jpeg_entropy.h"
#include "lowdrv/engine/engine_caps.h"
#include "lowdrv/engine/jpeg_tables.h"
#include "wire.h"

#include <algorithm>

namespace rzd::engine {

Engine::Engine(const SimUnitOptions& options) : options_(options) {
  revision_ = options_.revision.substr(0, 4);
  revision_.resize(4, ' ');
  BuildInquiryAnswer();
  InitNvram();
  luminance_ = lowdrv::jpeg::kStandardLuminanceTable;  // until the host sends its own
  chrominance_ = lowdrv::jpeg::kStandardChrominanceTable;
  lcdStrings_[1] = "Quarx M48tz";
  lcdStrings_[2] = "Ready";
}

CommandPlan Engine::PlanNew(const std::vector<uint8_t>& cdb) {
  CommandPlan p;
  if (cdb.size() < 12) return p;
  switch (cdb[0]) {
    case 0xA8: p = {CommandPlan::Dir::In, wire::Get32(&cdb[7])}; break;
    case 0xAA: p = {CommandPlan::Dir::Out, wire::Get32(&cdb[7])}; break;
    case 0xE2:
    case 0xE3:
    case 0xE8: p = {CommandPlan::Dir::In, cdb[10]}; break;
    case 0xE4: p = {CommandPlan::Dir::Out, cdb[10]}; break;
    default: break;
  }
  if (p.length == 0) p.dir = CommandPlan::Dir::None;
  return p;
}

CommandPlan Engine::PlanClassic(const std::vector<uint8_t>& cdb) {
  CommandPlan p;
  if (cdb.size() < 10) return p;
  switch (cdb[0]) {
    case 0x03:
    case 0x08:
    case 0x12: p = {CommandPlan::Dir::In, cdb[4]}; break;
    case 0x24: p = {CommandPlan::Dir::Out, cdb[8]}; break;
    case 0x28: p = {CommandPlan::Dir::In, wire::Get24(&cdb[6])}; break;
    case 0x2A: p = {CommandPlan::Dir::Out, wire::Get24(&cdb[6])}; break;
    default: break;
  }
  if (p.length == 0) p.dir = CommandPlan::Dir::None;
  return p;
}

CommandResult Engine::Good(std::vector<uint8_t> data) {
  CommandResult r;
  r.data = std::move(data);
  return r;
}

CommandResult Engine::Check(const Sense& s, std::vector<uint8_t> data) {
  CommandResult r;
  r.data = std::move(data);
  r.check = true;
  r.sense = s;
  return r;
}

CommandResult Engine::Finish(CommandResult result, size_t inMax) {
  if (result.data.size() > inMax) result.data.resize(inMax);
  if (result.check) {
    result.sense.autoWidthBytesPerLine = page_ ? page_->bytesPerLine : window_ ? window_->bytesPerLine : 0;
    pendingSense_ = result.sense;
  }
  return result;
}

Sense Engine::StandingSense() const {
  Sense s = coverOpen_ ? sense::CoverOpen() : locked_ ? sense::Locked() : Sense{};
  s.autoWidthBytesPerLine = page_ ? page_->bytesPerLine : window_ ? window_->bytesPerLine : 0;
  return s;
}

Sense Engine::TakeSense() {
  if (pendingSense_) {
    Sense s = *pendingSense_;
    pendingSense_.reset();
    return s;
  }
  return StandingSense();
}

CommandResult Engine::ExecuteNew(const std::vector<uint8_t>& cdb, const std::vector<uint8_t>& out,
                                 size_t inMax) {
  const CommandPlan plan = PlanNew(cdb);
  const size_t in = plan.dir == CommandPlan::Dir::In ? std::min(plan.length, inMax) : 0;
  if (cdb.size() < 12) return Finish(Check(sense::InvalidOpcode()), in);
  if (plan.dir == CommandPlan::Dir::Out) {
    if (plan.length > kMaxDataOut) return Finish(Check(sense::InvalidCdbField()), in);
    if (out.size() != plan.length) return Finish(Check(sense::InvalidParameterListLength()), in);
  }
  CommandResult r;
  switch (cdb[0]) {
    case 0xA8:
    case 0xAA: {
      const bool send = cdb[0] == 0xAA;
      const uint16_t type = wire::Get16(&cdb[3]);
      std::optional<CommandResult> refused = TakeRefusal(send, type);
      r = refused ? std::move(*refused) : send ? SendNew(type, out) : ReadNew(type, plan.length, in);
      break;
    }
    case 0xE2: r = Good(inquiryAnswer_); break;
    case 0xE3: r = Good(EncodeNewSense(TakeSense())); break;
    case 0xE4: r = SetWindow(ParseNewWindow(out.data(), out.size())); break;
    case 0xE6: r = Reserve(cdb[11], true); break;
    case 0xE7: r = Release(cdb[11]); break;
    case 0xE8:
      if (cdb[9] == 0x03) {  // double-feed decision buttons
        std::vector<uint8_t> a = wire::ShortAnswer(36);
        a[4] = dfdChoice_;
        r = Good(std::move(a));
      } else {  // media check
        std::vector<uint8_t> a = wire::ShortAnswer(5);
        a[4] = FeederStatus();
        r = Good(std::move(a));
      }
      break;
    case 0xFF: r = ResetUnit(); break;
    default: r = Check(sense::InvalidOpcode()); break;
  }
  return Finish(std::move(r), in);
}

CommandResult Engine::ExecuteClassic(const std::vector<uint8_t>& cdb,
                                     const std::vector<uint8_t>& out, size_t inMax) {
  const CommandPlan plan = PlanClassic(cdb);
  const size_t in = plan.dir == CommandPlan::Dir::In ? std::min(plan.length, inMax) : 0;
  if (cdb.size() < 10) return Finish(Check(sense::InvalidOpcode()), in);
  if (plan.dir == CommandPlan::Dir::Out) {
    if (plan.length > kMaxDataOut) return Finish(Check(sense::InvalidCdbField()), in);
    if (out.size() != plan.length) return Finish(Check(sense::InvalidParameterListLength()), in);
  }
  CommandResult r;
  switch (cdb[0]) {
    case 0x00:  // TEST UNIT READY; with byte 5 bit 0 the unit resets
      if (cdb[5] & 0x01) r = ResetUnit();
      else r = StandingSense().key != 0 ? Check(StandingSense()) : Good();
      break;
    case 0x03: r = Good(EncodeClassicSense(TakeSense())); break;
    case 0x12: r = Good(ClassicInquiryRecord()); break;
    case 0x16: r = Reserve(cdb[5], false); break;
    case 0x17: r = Release(cdb[5]); break;
    case 0x1B: r = StartPage(); break;  // SCAN
    case 0x08: r = Good({FeederStatus()}); break;
    case 0x24: r = SetWindow(ParseClassicWindow(out.data(), out.size())); break;
    case 0x28:
    case 0x2A: {
      const bool send = cdb[0] == 0x2A;
      std::optional<CommandResult> refused = TakeRefusal(send, cdb[2]);
      r = refused ? std::move(*refused) : send ? SendClassic(cdb[2], wire::Get16(&cdb[4]), out) : ReadClassic(cdb[2], plan.length, in);
      break;
    }
    case 0x31:  // OBJECT POSITION: the sheet in the paper path leaves the unit
      PaperRelease(1);
      r = Good();
      break;
    default: r = Check(sense::InvalidOpcode()); break;
  }
  return Finish(std::move(r), in);
}

CommandResult Engine::SetWindow(const WindowResult& parsed) {
  if (!parsed.window) return Check(parsed.error);
  window_ = parsed.window;
  backgroundReads_ = 0;
  return Good();
}

CommandResult Engine::Reserve(uint8_t control, bool feeds) {
  if (control == 2) {
    batchReserved_ = true;
    return Good();
  }
  pageReserved_ = true;
  return feeds ? StartPage() : Good();
}

CommandResult Engine::Release(uint8_t control) {
  if (control == 2) {
    batchReserved_ = false;
    return TakeAbortedRelease(control) ? Check(sense::Aborted()) : Good();
  }
  // 0 ends the page, 1 cancels the scan; a sheet not read to its end leaves the unit. A double
  // feed found while the unit was set to pause on one is reported now, when the page is done.
  const bool doubleFed = page_ && page_->multifeedSeen && control == 0;
  if (page_) {
    if (page_->Complete()) page_.reset();
    else EjectPage();
  }
  pageReserved_ = false;
  if (doubleFed) return Check(sense::Multifeed());
  if (TakeAbortedRelease(control)) return Check(sense::Aborted());
  return Good();
}

CommandResult Engine::ResetUnit() {
  ReturnPageToFeeder();
  pendingSense_.reset();
  backgroundReads_ = 0;
  calibrating_ = false;
  calibrationDone_ = 0;
  pendingFirmwarePart_.reset();
  batchReserved_ = false;
  pageReserved_ = false;
  dfdChoice_ = 0;
  return Good();
}

uint8_t Engine::FeederStatus() const {
  if (feeder_.empty()) return 0x00;
  return static_cast<uint8_t>(lowdrv::caps::kFeederPaper | feeder_.front().kind);
}

uint8_t Engine::LampStatus() {
  if (!lampOn_) return 0;
  if (lampFault_) return 3;
  if (lampWarmingUntilReady_) return 2;
  if (lampWarmingReads_ > 0) {
    --lampWarmingReads_;
    return 2;
  }
  return 1;
}

void Engine::StartCalibration() {
  calibrating_ = true;
  calibrationDone_ = 0;
}

CommandResult Engine::CalibrationPoll() {
  std::vector<uint8_t> a = wire::ShortAnswer(8);
  if (!calibrating_) return Good(std::move(a));  // byte 4 = 0: idle
  ++calibrationDone_;
  if (calibrationFailAt_ != 0 && calibrationDone_ == calibrationFailAt_) {
    calibrating_ = false;
    calibrationFailAt_ = 0;
    return Check(sense::CalibrationFailure());
  }
  if (calibrationDone_ >= calibrationSteps_) calibrating_ = false;
  a[4] = calibrating_ ? 1 : 0;
  a[5] = static_cast<uint8_t>(std::min<uint32_t>(calibrationDone_, 255));
  a[6] = static_cast<uint8_t>(std::min<uint32_t>(calibrationSteps_, 255));
  a[7] = static_cast<uint8_t>(calibrationSteps_ ? calibrationDone_ * 100 / calibrationSteps_ : 100);
  return Good(std::move(a));
}

void Engine::PaperRelease(uint8_t how) {
  if (how == 2) ReturnPageToFeeder();  // rewind: the sheet goes back on the stack
  else EjectPage();                    // eject
}

}  // namespace rzd::engine
