// A helper process of the scanhost tests.
//
//   scanhost_test_client {CLSID} OUTPUT-FILE PARENT-PID STEP...
//       activates the instance class for IRZDHAL and runs the steps in order, appending
//       "<step> <result in hex>" to the output file after each (and "create <result>" first):
//       pid (code 35 with this process's id), register (code 33), unregister (code 34),
//       connect (code 14), disconnect (code 15), lock, unlock, wait (stays until killed, its
//       root goes or process PARENT-PID ends), read-forged:PID (below).
//
//       read-forged:PID allocates raster blocks of one 64 KiB block, writes into their header
//       that process PID (and its start time) reads them, and reads a whole scan into them
//       without metadata; a second thread takes the first block the service finishes, keeps it,
//       and appends "stalled 00000000" then, so the service waits for a block that never comes
//       back. The step ends with the read (its result), or the process is killed meanwhile.
//   scanhost_test_client --watch PID
//       waits until process PID has ended, then ends every service of the root that still runs.
#include "hal_control.h"
#include "interfaces/rzdhal_proxy_stub.h"
#include "rasterblocks/block_reader.h"
#include "shared_layout.h"
#include "platform/process.h"
#include "platform/root.h"
#include "platform/service.h"
#include "platform/text.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

void Append(const std::string& path, const std::string& step, HRESULT hr) {
  char line[96];
  std::snprintf(line, sizeof line, "%s %08X\n", step.c_str(), static_cast<uint32_t>(hr));
  std::ofstream out(path, std::ios::app);
  out << line;
}

int Watch(uint32_t pid) {
  const std::filesystem::path root = rzd::SystemRoot();
  while (rzd::IsProcessAlive(pid)) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  for (const std::u16string& name : rzd::ListServices()) {
    rzd::ServiceRunStatus status;
    if (rzd::QueryServiceRunStatus(name, &status) == 0 && status.processId != 0) rzd::KillProcess(status.processId);
  }
  return 0;
}

using rzd::scanhost::test::ControlWithValue;

HRESULT ReadForged(IRZDHAL* hal, uint32_t namedReader, const std::string& output) {
  rzd::ComPtr<IRasterBlocks> blocks;
  HRESULT hr = CoCreateInstance(CLSID_RasterBlocks, nullptr, CLSCTX_INPROC_SERVER, IID_IRasterBlocks, blocks.OutVoid());
  if (FAILED(hr) || FAILED(hr = blocks->Allocate(64 << 10, 1))) return hr;
  rzd::ComPtr<IUnknown> unknown;
  rzd::ComPtr<IVBuffer> buffer;
  if (FAILED(hr = blocks->GetVBuffer(unknown.Out())) ||
      FAILED(hr = unknown->QueryInterface(IID_IVBuffer, buffer.OutVoid()))) {
    return hr;
  }
  void* base = nullptr;
  if (FAILED(hr = buffer->Map(0, sizeof(rzd::rasterblocks::SharedHeader), &base))) return hr;
  rzd::rasterblocks::HeaderFields& fields = rzd::rasterblocks::HeaderOf(base)->fields;
  fields.readerPid = namedReader;
  fields.readerStart = rzd::ProcessStartTime(namedReader).value_or(0);
  buffer->Unmap(base);
  rzd::Bstr name;
  if (FAILED(hr = buffer->GetName(name.Out()))) return hr;
  rzd::ComPtr<IRasterBlockReader> reader;
  if (FAILED(hr = blocks->QueryInterface(IID_IRasterBlockReader, reader.OutVoid()))) return hr;
  // The thread holds its own reference and copy: it outlives this call.
  std::thread taker([reader, output] {
    RasterBlockInfo info;
    const BYTE* data = nullptr;
    if (reader->WaitBlock(INFINITE, &info, &data) == S_OK) Append(output, "stalled", S_OK);
  });
  taker.detach();  // it keeps its block until the process ends
  rzd::Bstr none(u"None");
  return hal->Read(name.Get(), none.Get(), 6);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 2 && args[0] == "--watch") return Watch(static_cast<uint32_t>(std::stoul(args[1])));
  if (args.size() < 3) return 2;
  const auto clsid = rzd::ParseGuid(args[0]);
  if (!clsid) return 2;
  const std::string output = args[1];
  const uint32_t parent = static_cast<uint32_t>(std::stoul(args[2]));
  rzd::ComInit com(COINIT_MULTITHREADED);
  if (FAILED(rzd::RegisterRzdHalProxyStub())) return 1;
  rzd::ComPtr<IRZDHAL> hal;
  HRESULT hr = CoCreateInstance(*clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IRZDHAL, hal.OutVoid());
  Append(output, "create", hr);
  if (FAILED(hr)) return 1;
  const uint32_t pid = rzd::CurrentProcessId();
  const std::filesystem::path root = rzd::SystemRoot();
  for (size_t i = 3; i < args.size(); ++i) {
    const std::string& step = args[i];
    LONG status = 0;
    if (step == "pid") {
      hr = ControlWithValue(hal.Get(), 35, pid);
    } else if (step == "register") {
      hr = ControlWithValue(hal.Get(), 33, pid);
    } else if (step == "unregister") {
      hr = ControlWithValue(hal.Get(), 34, 0);
    } else if (step == "connect") {
      hr = ControlWithValue(hal.Get(), 14, 0);
    } else if (step == "disconnect") {
      hr = ControlWithValue(hal.Get(), 15, 0);
    } else if (step == "lock") {
      hr = hal->LockScanner(static_cast<LONG>(pid), &status, 5000);
    } else if (step == "unlock") {
      hr = hal->UnlockScanner(&status);
    } else if (step.rfind("read-forged:", 0) == 0) {
      hr = ReadForged(hal.Get(), static_cast<uint32_t>(std::stoul(step.substr(12))), output);
    } else if (step == "wait") {
      while (std::filesystem::exists(root) && rzd::IsProcessAlive(parent)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      return 0;
    } else {
      return 2;
    }
    Append(output, step, hr);
  }
  return 0;
}
