// The configuration server's object: questions answered from the configuration store, and the
// change event fired to connected sinks whenever the configuration is announced as changed.
#pragma once

#include "change_watcher.h"
#include "server_module.h"

#include "foundation/cor_diag_config.h"
#include "platform/com_events.h"

#include <memory>
#include <mutex>
#include <string>

namespace cordiag {

class CorDiagConfig final : public rzd::ComObject<ICorDiagConfig, IConnectionPointContainer> {
 public:
  CorDiagConfig() : ComObject(&g_module) {}
  ~CorDiagConfig() override;

  // Creation through the class object; "CreateInstance" may be made to fail.
  static HRESULT Create(IUnknown* outer, const IID& iid, void** object);

  HRESULT GetTypeInfoCount(UINT* count) override { return NoTypeInfoCount(count); }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override { return NoTypeInfo(info); }
  HRESULT GetIDsOfNames(const IID&, OLECHAR**, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, const IID&, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

  HRESULT GetFeatureLevel(BSTR feature, LONG* level) override;
  HRESULT GetConfiguredFeatureLevel(BSTR feature, LONG* level) override;
  HRESULT SetFeatureLevel(BSTR feature, LONG level) override;
  HRESULT NotifyChanged() override;
  HRESULT SetCompany(BSTR company) override;
  HRESULT GetCompany(BSTR* company) override;
  HRESULT SetProduct(BSTR product) override;
  HRESULT GetProduct(BSTR* product) override;
  HRESULT GetFeatureList(BSTR product, IUnknown** list) override;
  HRESULT GetEmitterPath(BSTR* path) override;

  HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override;
  HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** point) override;

 protected:
  void* FindInterface(const IID& iid) override;

 private:
  std::u16string Product() const;

  mutable std::mutex lock_;
  bool companySet_ = false;
  std::u16string company_;
  std::u16string product_;
  rzd::ConnectionPoint events_{this, DIID__ICorDiagConfigEvents};
  std::unique_ptr<ChangeWatcher> watcher_;  // from the first look at the connection point
};

// The features of one product: ICorDiagFeatureList over a copy taken when it was asked for.
class CorDiagFeatureList final : public rzd::ComObject<ICorDiagFeatureList> {
 public:
  explicit CorDiagFeatureList(std::vector<std::u16string> names) : ComObject(&g_module), names_(std::move(names)) {}

  HRESULT GetTypeInfoCount(UINT* count) override { return NoTypeInfoCount(count); }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override { return NoTypeInfo(info); }
  HRESULT GetIDsOfNames(const IID&, OLECHAR**, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, const IID&, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

  HRESULT GetNewEnum(IUnknown** enumerator) override;
  HRESULT Item(LONG index, BSTR* feature) override;
  HRESULT Count(LONG* count) override;

 protected:
  void* FindInterface(const IID& iid) override;

 private:
  const std::vector<std::u16string> names_;
};

}  // namespace cordiag
