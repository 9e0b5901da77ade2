// The diagnostics sink: levels from the outside configuration server, records to its emitter.
#include "foundation/diag_sink.h"

#include "platform/text.h"

#include <algorithm>

namespace rzd {

namespace {

// Most features of one product a configuration read takes over; the count comes from outside.
constexpr LONG kMaxConfiguredFeatures = 4096;

constexpr DWORD kConfigContexts = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

ComPtr<IGlobalInterfaceTable> InterfaceTable() {
  ComPtr<IGlobalInterfaceTable> table;
  GetGlobalInterfaceTable(table.Out());
  return table;
}

}  // namespace

_CorDiagSink::_CorDiagSink(std::u16string company, std::u16string product, ChangeHandler onChange)
    : company_(std::move(company)), product_(std::move(product)), onChange_(std::move(onChange)) {
  if (FAILED(CoCreateInstance(CLSID_CorDiagConfig, nullptr, kConfigContexts, IID_ICorDiagConfig, config_.OutVoid()))) {
    config_.Reset();
    return;  // no server: no logger
  }
  // Each step needs the one before; a failure leaves the sink with what it has.
  Bstr companyText(company_);
  if (FAILED(config_->SetCompany(companyText.Get()))) return;
  DWORD cookie = 0;
  if (FAILED(InterfaceTable()->RegisterInterfaceInGlobal(config_.Get(), IID_ICorDiagConfig, &cookie))) return;
  {
    std::lock_guard guard(sinkLock_);
    gitCookie_ = cookie;
  }
  events_ = DispEventSink::Create(DIID__ICorDiagConfigEvents,
                                  [this](DISPID id, WORD, DISPPARAMS*, VARIANT*) { return OnEvent(id); });
  if (!events_ || FAILED(events_->Advise(config_.Get()))) return;
  ReadConfiguration(config_.Get());
}

_CorDiagSink::~_CorDiagSink() {
  DisconnectEvents();
  DWORD cookie;
  std::shared_ptr<const EmitterBinding> emitter;
  {
    std::lock_guard guard(sinkLock_);
    cookie = std::exchange(gitCookie_, 0);
    emitter = std::move(emitter_);
    emitterPath_.clear();
  }
  if (cookie != 0) InterfaceTable()->RevokeInterfaceFromGlobal(cookie);
  emitter.reset();  // unloads the emitter library
  config_.Reset();
}

void _CorDiagSink::DisconnectEvents() {
  if (!events_) return;
  events_->Unadvise();
  events_->Detach();
}

HRESULT _CorDiagSink::OnEvent(DISPID id) {
  if (id != DISPID_CorDiagConfigChanged) return S_OK;
  try {
    if (onChange_) {
      onChange_(this);
    } else {
      ReadConfiguration();
    }
  } catch (...) {
    // A failing re-read keeps the configuration read before.
  }
  return S_OK;
}

ComPtr<ICorDiagConfig> _CorDiagSink::TakeConfiguration() const {
  DWORD cookie;
  {
    std::lock_guard guard(sinkLock_);
    cookie = gitCookie_;
  }
  ComPtr<ICorDiagConfig> config;
  if (cookie != 0) InterfaceTable()->GetInterfaceFromGlobal(cookie, IID_ICorDiagConfig, config.OutVoid());
  return config;
}

void _CorDiagSink::ReadConfiguration() {
  ComPtr<ICorDiagConfig> config = TakeConfiguration();
  if (config) ReadConfiguration(config.Get());
}

void _CorDiagSink::ReadConfiguration(ICorDiagConfig* config) {
  std::lock_guard read(readLock_);
  Bstr product(product_);

  ComPtr<ICorDiagFeatureList> features;
  ComPtr<IUnknown> listObject;
  if (SUCCEEDED(config->GetFeatureList(product.Get(), listObject.Out())) && listObject) {
    listObject.As(IID_ICorDiagFeatureList, &features);
  }

  Bstr emitterPath;
  if (FAILED(config->GetEmitterPath(emitterPath.Out()))) return;
  BindEmitter(emitterPath.Str());

  if (!features) return;
  LONG count = 0;
  if (FAILED(features->Count(&count))) return;
  count = std::clamp<LONG>(count, 0, kMaxConfiguredFeatures);
  for (LONG index = 1; index <= count; ++index) {
    Bstr name;
    if (FAILED(features->Item(index, name.Out()))) return;
    if (FAILED(config->SetProduct(product.Get()))) return;
    LONG level = 0;
    if (FAILED(config->GetConfiguredFeatureLevel(name.Get(), &level))) return;
    LookupFeatureLevel(name.Str())->store(level, std::memory_order_relaxed);
  }
}

void _CorDiagSink::BindEmitter(const std::u16string& path) {
  std::shared_ptr<const EmitterBinding> previous;
  {
    std::lock_guard guard(sinkLock_);
    if (emitter_ && path == emitterPath_) return;
    // Unbound first: no new record enters the old library; records inside it keep it loaded
    // until they return.
    previous = std::move(emitter_);
    emitterPath_.clear();
  }
  previous.reset();
  if (path.empty()) return;

  auto binding = std::make_shared<EmitterBinding>();
  binding->module = Module::Load(ToUtf8(path));
  if (binding->module) binding->emit = binding->module->Bind<CorDiagEmitFunction>("Emit");
  if (binding->emit == nullptr) return;  // not kept: the next read tries the path again
  std::lock_guard guard(sinkLock_);
  emitter_ = std::move(binding);
  emitterPath_ = path;
}

std::u16string _CorDiagSink::EmitterPath() const {
  std::lock_guard guard(sinkLock_);
  return emitterPath_;
}

DWORD _CorDiagSink::EventCookie() const { return events_ ? events_->Cookie() : DispEventSink::kNotConnected; }

void _CorDiagSink::Log(uint32_t level, uint32_t processId, uint32_t threadId, const char16_t* timeStamp,
                       const char16_t* featureName, const char16_t* text) {
  std::shared_ptr<const EmitterBinding> emitter;
  {
    std::lock_guard guard(sinkLock_);
    emitter = emitter_;
  }
  if (!emitter) return;
  std::u16string source = product_;
  source += u'.';
  if (featureName != nullptr) source += featureName;
  emitter->emit(company_.c_str(), level, processId, threadId, timeStamp, source.c_str(), text);
}

FeatureLevel* _CorDiagSink::GetFeatureLevel(const std::u16string& featureName) {
  LONG level = 0;
  if (ComPtr<ICorDiagConfig> config = TakeConfiguration()) {
    Bstr product(product_);
    Bstr feature(featureName);
    LONG answer = 0;
    if (SUCCEEDED(config->SetProduct(product.Get())) && SUCCEEDED(config->GetFeatureLevel(feature.Get(), &answer))) {
      level = answer;
    }
  }
  FeatureLevel* entry = LookupFeatureLevel(featureName);
  entry->store(level, std::memory_order_relaxed);
  return entry;
}

}  // namespace rzd
