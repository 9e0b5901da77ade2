// The diagnostics sink: the process logger of the deliverables that log. A thread of its own
// creates the outside diagnostics-configuration server, publishes the sink as this deliverable's
// logger (GetGlobalLogObject) when the server exists, follows the server's change event, and
// hands every record to the emitter library the configuration names (export `Emit`). Without the
// server there is no logger and nothing is logged.
#pragma once

#include "foundation/cor_diag_config.h"
#include "foundation/log_interface.h"

#include "platform/com.h"
#include "platform/com_events.h"
#include "platform/modules.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace rzd {

// How long StopDiagnostics waits for the thread before it reports an overrun (and goes on
// waiting: the thread is never killed). Tests may shorten it.
constexpr uint32_t kDiagnosticsStopWaitMs = 10000;
void SetDiagnosticsStopWait(uint32_t milliseconds);
// How many stops of this process have overrun that wait so far.
uint32_t DiagnosticsOverrunCount();

// Starts this deliverable's diagnostics thread with the company and product names, and returns
// once the thread has published its logger, found no server, or ended. Does nothing while a
// thread started earlier has not been stopped. Concurrent first calls start one thread.
void StartDiagnostics(const std::u16string& company, const std::u16string& product);
// Stops the thread: signals it, waits for it (see kDiagnosticsStopWaitMs), and forgets the
// names. The logger is withdrawn and deleted only after every call inside it has returned.
// Harmless when nothing was started.
void StopDiagnostics();
// True from a StartDiagnostics that started a thread to the matching StopDiagnostics.
bool DiagnosticsStarted();

// The sink. It connects to the configuration server in its constructor; HasConfiguration() tells
// whether a server was found. Used by the diagnostics thread; tests may build one directly.
class _CorDiagSink final : public CLogInterface {
 public:
  // Runs on each change event in place of ReadConfiguration() (null: the sink reads at once).
  // The diagnostics thread's handler re-reads under the global diagnostics lock, and only while
  // the sink is the published one.
  using ChangeHandler = std::function<void(_CorDiagSink* sink)>;

  // Creates the configuration object (in-process, in-process handler, local or remote server),
  // gives it the company, registers it in the global interface table, connects the change event
  // and reads the configuration. A failing step ends the steps after it; the sink then holds
  // what it got. The calling thread must have initialised COM.
  _CorDiagSink(std::u16string company, std::u16string product, ChangeHandler onChange = nullptr);
  // Disconnects and detaches the change event (waiting for a running change handler), revokes
  // the table entry, drops the emitter and releases the configuration object.
  ~_CorDiagSink() override;

  bool HasConfiguration() const { return static_cast<bool>(config_); }

  // Hands the record to the emitter's `Emit` (nothing while none is bound), with the source
  // product + "." + feature. The emitter stays loaded until every call into it has returned.
  void Log(uint32_t level, uint32_t processId, uint32_t threadId, const char16_t* timeStamp,
           const char16_t* featureName, const char16_t* text) override;
  // Asks the server for the feature's level (for this product), stores it in the feature map
  // entry and returns the entry. A failing question stores 0.
  FeatureLevel* GetFeatureLevel(const std::u16string& featureName) override;

  // Reads the configuration: the product's feature list, the emitter path (a new path is loaded
  // and bound; one without `Emit` is not kept, so it is tried again next time), and each listed
  // feature's level into the feature map.
  void ReadConfiguration();
  void ReadConfiguration(ICorDiagConfig* config);
  // Ends the change-event connection; after it returns no change handler runs or will run.
  void DisconnectEvents();

  const std::u16string& Company() const { return company_; }
  const std::u16string& Product() const { return product_; }
  // The emitter path bound now (empty while none is).
  std::u16string EmitterPath() const;
  DWORD EventCookie() const;

 private:
  struct EmitterBinding {
    std::unique_ptr<Module> module;
    CorDiagEmitFunction emit = nullptr;
  };

  ComPtr<ICorDiagConfig> TakeConfiguration() const;
  void BindEmitter(const std::u16string& path);
  HRESULT OnEvent(DISPID id);

  ComPtr<ICorDiagConfig> config_;
  DWORD gitCookie_ = 0;  // 0 while not registered
  ComPtr<DispEventSink> events_;
  const std::u16string company_;
  const std::u16string product_;
  const ChangeHandler onChange_;
  std::mutex readLock_;          // one configuration read at a time
  mutable std::mutex sinkLock_;  // the emitter path and binding, the table cookie
  std::u16string emitterPath_;
  std::shared_ptr<const EmitterBinding> emitter_;
};

}  // namespace rzd
