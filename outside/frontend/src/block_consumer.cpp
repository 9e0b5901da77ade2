#include "block_consumer.h"

namespace rzd::frontend {

namespace {
constexpr DWORD kWaitMs = 10;
}

BlockConsumer::BlockConsumer(ComPtr<IRasterBlockReader> reader, PageAssembler::Progress progress)
    : reader_(std::move(reader)), assembler_(std::move(progress)), thread_([this] { Run(); }) {}

BlockConsumer::~BlockConsumer() {
  {
    std::lock_guard guard(lock_);
    stop_ = true;
  }
  thread_.join();
}

void BlockConsumer::Run() {
  ComInit com(COINIT_MULTITHREADED);
  for (;;) {
    {
      std::lock_guard guard(lock_);
      if (stop_) return;
    }
    RasterBlockInfo info;
    const BYTE* data = nullptr;
    const HRESULT hr = reader_->WaitBlock(kWaitMs, &info, &data);
    const bool timedOut = hr == HRESULT_FROM_WIN32(WAIT_TIMEOUT);
    {
      std::lock_guard guard(lock_);
      if (hr == S_OK) {
        assembler_.Add(info, data);
        reader_->ReleaseBlock();
        continue;
      }
      if (FAILED(hr) && !timedOut && failure_ == S_OK) failure_ = hr;
      ++emptyWaits_;
      changed_.notify_all();
    }
    // The stream ended or the reader failed: the next look comes after a pause.
    if (!timedOut) std::this_thread::sleep_for(std::chrono::milliseconds(kWaitMs));
  }
}

void BlockConsumer::WaitDrained() {
  std::unique_lock guard(lock_);
  const uint64_t target = emptyWaits_ + 2;
  changed_.wait(guard, [&] { return emptyWaits_ >= target || stop_; });
}

std::vector<ScannedPage> BlockConsumer::TakeCompleted() {
  std::lock_guard guard(lock_);
  return assembler_.TakeCompleted();
}

LONG BlockConsumer::LastError() {
  std::lock_guard guard(lock_);
  return assembler_.LastError();
}

HRESULT BlockConsumer::ReaderFailure() {
  std::lock_guard guard(lock_);
  return failure_;
}

}  // namespace rzd::frontend
