// The thread that takes the blocks of a scan while the main thread waits in Produce, so a page
// larger than the buffer never stalls the writer. It hands each block to a PageAssembler and
// gives it back at once.
#pragma once

#include "page_assembler.h"

#include "platform/com.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace rzd::frontend {

class BlockConsumer {
 public:
  BlockConsumer(ComPtr<IRasterBlockReader> reader, PageAssembler::Progress progress);
  // Stops the thread (it looks for the stop between waits of a few milliseconds) and joins it.
  ~BlockConsumer();
  BlockConsumer(const BlockConsumer&) = delete;
  BlockConsumer& operator=(const BlockConsumer&) = delete;

  // Returns once every block finished before the call has been taken: the reader has found no
  // further block twice since the call began.
  void WaitDrained();
  std::vector<ScannedPage> TakeCompleted();
  LONG LastError();
  // A failure of the reader itself (S_OK while there is none).
  HRESULT ReaderFailure();

 private:
  void Run();

  ComPtr<IRasterBlockReader> reader_;
  std::mutex lock_;
  std::condition_variable changed_;
  bool stop_ = false;
  uint64_t emptyWaits_ = 0;
  HRESULT failure_ = S_OK;
  PageAssembler assembler_;
  std::thread thread_;  // last: it starts once everything above exists
};

}  // namespace rzd::frontend
