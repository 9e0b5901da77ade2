// The diagnostics thread: starts the sink, publishes it as this deliverable's logger, re-reads
// the configuration on change events, and takes everything down again on stop.
#include "foundation/diag_sink.h"

#include "foundation/module_objects.h"
#include "platform/process.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace rzd {

namespace {

// What the starter, the stopper and one thread share. Kept alive by each of them.
struct ThreadRun {
  std::mutex lock;
  std::condition_variable changed;
  bool started = false;  // the sink was made (published or not)
  bool stop = false;     // the stop request
  bool ended = false;    // the thread function has returned
};

struct DiagnosticsState {
  std::mutex startStop;  // one start or stop at a time: two first starts make one thread
  std::mutex global;     // the global diagnostics lock: publishing, withdrawing, re-reading
  std::shared_ptr<ThreadRun> run;  // set while a started thread has not been stopped
  std::thread thread;
  _CorDiagSink* published = nullptr;  // the sink now published; guarded by `global`
  std::u16string company;
  std::u16string product;
  std::atomic<uint32_t> stopWaitMs{kDiagnosticsStopWaitMs};
  std::atomic<uint32_t> overruns{0};

  // At the unload of the library holding this code a thread still running is stopped and joined,
  // never left behind.
  ~DiagnosticsState() {
    if (!thread.joinable()) return;
    {
      std::lock_guard guard(run->lock);
      run->stop = true;
    }
    run->changed.notify_all();
    thread.join();
  }
};

DiagnosticsState& State() {
  static ModuleObject<DiagnosticsState> state;
  return state.Get();
}

void Signal(ThreadRun& run, bool ThreadRun::*flag) {
  {
    std::lock_guard guard(run.lock);
    run.*flag = true;
  }
  run.changed.notify_all();
}

// The change event: re-read while the sink is the published one. A late event after the stop
// finds another sink (or none) published and does nothing.
void OnConfigurationChanged(_CorDiagSink* sink) {
  DiagnosticsState& state = State();
  std::lock_guard guard(state.global);
  if (state.published != sink) return;
  sink->ReadConfiguration();
}

void DiagnosticsThreadProc(std::shared_ptr<ThreadRun> run, std::u16string company, std::u16string product) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
    Signal(*run, &ThreadRun::ended);  // the starter waits for this too
    return;
  }
  DiagnosticsState& state = State();
  CLogInterfacePtr slot = GetGlobalLogObject();
  std::unique_ptr<_CorDiagSink> sink;
  bool published = false;
  {
    std::lock_guard guard(state.global);
    try {
      sink = std::make_unique<_CorDiagSink>(std::move(company), std::move(product), OnConfigurationChanged);
    } catch (...) {
      sink.reset();
    }
    if (sink && sink->HasConfiguration()) {
      slot->Publish(sink.get());
      state.published = sink.get();
      published = true;
    }
  }
  Signal(*run, &ThreadRun::started);

  if (published) {
    std::unique_lock wait(run->lock);
    run->changed.wait(wait, [&] { return run->stop; });
  }

  {
    std::lock_guard guard(state.global);
    state.published = nullptr;
  }
  // Outside the global lock: the waits below let running calls finish, and those may take it.
  if (published && slot->Get() == sink.get()) slot->Withdraw();  // no Log or level call is inside now
  if (sink) sink->DisconnectEvents();  // no change handler runs now, and none will
  {
    std::lock_guard guard(state.global);
    try {
      sink.reset();
    } catch (...) {
    }
  }
  CoUninitialize();
  Signal(*run, &ThreadRun::ended);
}

void ReportOverrun(uint32_t waitedMs) {
  const std::u16string text = FormatWString(
      u"The diagnostics thread did not end within %u ms of the stop request; waiting for it.", waitedMs);
  OutputDebugText(text + u"\n");
  const std::u16string feature = u"Diagnostics Sink";
  FeatureLevel* level = CLogInterface::LookupFeatureLevel(feature);
  LogObjectUse logger(GetGlobalLogObject());
  if (logger && (level->load(std::memory_order_relaxed) & LOG_LEVEL_ERROR) != 0) {
    logger->Log(LOG_LEVEL_ERROR, CurrentProcessId(), CurrentThreadId(), GetTimeStamp().c_str(), feature.c_str(),
                text.c_str());
  }
}

}  // namespace

void SetDiagnosticsStopWait(uint32_t milliseconds) { State().stopWaitMs = milliseconds; }

uint32_t DiagnosticsOverrunCount() { return State().overruns.load(); }

void StartDiagnostics(const std::u16string& company, const std::u16string& product) {
  DiagnosticsState& state = State();
  std::lock_guard order(state.startStop);
  if (state.run) return;
  auto run = std::make_shared<ThreadRun>();
  try {
    state.thread = std::thread(DiagnosticsThreadProc, run, company, product);
  } catch (...) {
    return;  // no thread: nothing started, nothing to stop
  }
  state.run = run;
  state.company = company;
  state.product = product;
  // The thread either makes its sink or ends (when it cannot initialise COM): wait for either.
  std::unique_lock wait(run->lock);
  run->changed.wait(wait, [&] { return run->started || run->ended; });
}

void StopDiagnostics() {
  DiagnosticsState& state = State();
  std::lock_guard order(state.startStop);
  if (std::shared_ptr<ThreadRun> run = state.run) {
    Signal(*run, &ThreadRun::stop);
    const uint32_t waitMs = state.stopWaitMs.load();
    bool ended;
    {
      std::unique_lock wait(run->lock);
      ended = run->changed.wait_for(wait, std::chrono::milliseconds(waitMs), [&] { return run->ended; });
    }
    if (!ended) {
      // Never killed: reported, then waited for to its end.
      ReportOverrun(waitMs);
      state.overruns.fetch_add(1);
      std::unique_lock wait(run->lock);
      run->changed.wait(wait, [&] { return run->ended; });
    }
    state.thread.join();
    state.run.reset();
  }
  state.company.clear();
  state.product.clear();
}

bool DiagnosticsStarted() {
  DiagnosticsState& state = State();
  std::lock_guard order(state.startStop);
  return state.run != nullptr;
}

}  // namespace rzd
