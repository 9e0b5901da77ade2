// A raster-block manager for tests that stands in front of a real one (the image-transfer
// buffer library's own): every call goes on to the real manager, but it answers a line pad of
// the test's choosing, records the line sizes the writer sets, and can answer GetVBuffer with a
// failure. While a ScriptedBlocksClass lives it is this process's class of CLSID_RasterBlocks,
// so the scanner object's reads and code 16 create it; managers created before stay real.
#pragma once

#include "interfaces/raster_buffers.h"
#include "platform/com.h"
#include "platform/com_object.h"
#include "platform/modules.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace rzd::scanhost::test {

struct BlocksScript {
  LONG pad = 0;                           // what GetLinePad answers
  std::optional<HRESULT> vbufferFailure;  // what GetVBuffer answers instead of the real one
  bool vbufferMissing = false;            // GetVBuffer answers S_OK and no buffer
  std::vector<LONG> lineSizes;            // every SetLineSize, in order
};

class ScriptedBlocks final : public ComObject<IRasterBlocks, IRasterLineSize> {
 public:
  ScriptedBlocks(ComPtr<IRasterBlocks> real, std::shared_ptr<BlocksScript> script, std::shared_ptr<std::mutex> lock)
      : real_(std::move(real)), script_(std::move(script)), lock_(std::move(lock)) {}

  HRESULT Allocate(ULONGLONG blockSize, ULONG blockCount) override { return real_->Allocate(blockSize, blockCount); }
  HRESULT GetVBuffer(IUnknown** buffer) override {
    {
      std::lock_guard guard(*lock_);
      if (script_->vbufferFailure || script_->vbufferMissing) {
        *buffer = nullptr;
        return script_->vbufferFailure.value_or(S_OK);
      }
    }
    return real_->GetVBuffer(buffer);
  }
  HRESULT Attach(IUnknown* buffer) override { return real_->Attach(buffer); }
  HRESULT Begin() override { return real_->Begin(); }
  HRESULT NextBlock() override { return real_->NextBlock(); }
  HRESULT BlockSize(ULONGLONG* size) override { return real_->BlockSize(size); }
  HRESULT GetFill(ULONGLONG* fill) override { return real_->GetFill(fill); }
  HRESULT SetFill(ULONGLONG fill) override { return real_->SetFill(fill); }
  HRESULT MapRegion(ULONGLONG offset, ULONGLONG size, void** region) override {
    return real_->MapRegion(offset, size, region);
  }
  HRESULT UnmapRegion(void* region) override { return real_->UnmapRegion(region); }
  HRESULT SetBoundary(LONG level) override { return real_->SetBoundary(level); }
  HRESULT PutFrontData(const void* data, ULONGLONG size) override { return real_->PutFrontData(data, size); }
  HRESULT PutBackData(const void* data, ULONGLONG size) override { return real_->PutBackData(data, size); }

  HRESULT SetLineSize(LONG minimum) override {
    std::lock_guard guard(*lock_);
    script_->lineSizes.push_back(minimum);
    return S_OK;
  }
  HRESULT GetLinePad(LONG* pad) override {
    std::lock_guard guard(*lock_);
    *pad = script_->pad;
    return S_OK;
  }

 protected:
  void* FindInterface(const IID& iid) override {
    if (iid == IID_IRasterBlocks) return static_cast<IRasterBlocks*>(this);
    if (iid == IID_IRasterLineSize) return static_cast<IRasterLineSize*>(this);
    return nullptr;
  }
  // The real manager's other interfaces (its descriptor, its reader).
  HRESULT QueryAggregated(const IID& iid, void** object) override { return real_->QueryInterface(iid, object); }

 private:
  ComPtr<IRasterBlocks> real_;
  std::shared_ptr<BlocksScript> script_;
  std::shared_ptr<std::mutex> lock_;
};

class ScriptedBlocksClass {
 public:
  explicit ScriptedBlocksClass(const char* realLibrary) {
    // The real library stays loaded for the process (as in-process servers do): managers it made
    // may outlive this class in the objects that hold them.
    static Module* const library = Module::Load(realLibrary).release();
    EXPECT_TRUE(library);
    if (!library) return;
    using GetClassObject = HRESULT (*)(const CLSID&, const IID&, void**);
    auto get = library->Bind<GetClassObject>("DllGetClassObject");
    EXPECT_NE(get, nullptr);
    if (get == nullptr) return;
    ComPtr<IClassFactory> real;
    EXPECT_EQ(get(CLSID_RasterBlocks, IID_IClassFactory, real.OutVoid()), S_OK);
    State() = {real, script_, lock_};
    auto create = [](IUnknown* outer, const IID& iid, void** object) -> HRESULT {
      const Current current = State();
      ComPtr<IRasterBlocks> inner;
      if (HRESULT hr = current.real->CreateInstance(outer, IID_IRasterBlocks, inner.OutVoid()); FAILED(hr)) return hr;
      return CreateComObject<ScriptedBlocks>(outer, iid, object, inner, current.script, current.lock);
    };
    ComPtr<IUnknown> factory;
    EXPECT_EQ(CreateComObject<ClassFactory>(nullptr, IID_IUnknown, factory.OutVoid(), +create, nullptr), S_OK);
    EXPECT_EQ(CoRegisterClassObject(CLSID_RasterBlocks, factory.Get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_),
              S_OK);
  }
  ~ScriptedBlocksClass() {
    if (cookie_ != 0) CoRevokeClassObject(cookie_);
    State() = {};
  }
  ScriptedBlocksClass(const ScriptedBlocksClass&) = delete;
  ScriptedBlocksClass& operator=(const ScriptedBlocksClass&) = delete;

  // The script of every manager this class creates.
  template <typename Change>
  void Script(Change&& change) {
    std::lock_guard guard(*lock_);
    change(*script_);
  }
  std::vector<LONG> LineSizes() {
    std::lock_guard guard(*lock_);
    return script_->lineSizes;
  }

 private:
  struct Current {
    ComPtr<IClassFactory> real;
    std::shared_ptr<BlocksScript> script;
    std::shared_ptr<std::mutex> lock;
  };
  static Current& State() {
    static Current current;
    return current;
  }

  std::shared_ptr<BlocksScript> script_ = std::make_shared<BlocksScript>();
  std::shared_ptr<std::mutex> lock_ = std::make_shared<std::mutex>();
  DWORD cookie_ = 0;
};

}  // namespace rzd::scanhost::test
