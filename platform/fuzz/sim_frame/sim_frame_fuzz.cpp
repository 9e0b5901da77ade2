// libFuzzer target: a byte stream from a peer of the simulated unit's link, read as frames by both
// readers of the protocol (FrameReader, which reads ahead, and ReceiveFrame, which reads one frame
// at a time) over a real socket pair.
//
// Besides the sanitizers, each input checks: both readers give the same frames and stop at the
// same one; every frame they give is exactly the bytes it came from (its header encodes back to
// them), so nothing is skipped, duplicated or invented.
//
// Run (from a build configured with the fuzz preset):
//   sim_frame_fuzz -max_total_time=60 -dict=<src>/platform/fuzz/sim_frame/sim_frame.dict \
//                  <corpus-dir> <src>/platform/fuzz/sim_frame/corpus
#include "platform/usb_sim_protocol.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using rzd::usbsim::FrameHeader;

struct Frame {
  FrameHeader header;
  std::vector<uint8_t> payload;
};

void Fail(const char* what) {
  std::fprintf(stderr, "sim_frame_fuzz: %s\n", what);
  std::abort();
}

// A socket whose peer sent `bytes` and then ended the stream (they fit in its buffer).
int StreamOf(const uint8_t* data, size_t size) {
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) Fail("no socket pair");
  if (size > 0 && ::send(pair[1], data, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size)) Fail("short send");
  ::close(pair[1]);
  return pair[0];
}

template <typename ReadOne>
std::vector<Frame> ReadAll(const uint8_t* data, size_t size, ReadOne readOne) {
  const int fd = StreamOf(data, size);
  std::vector<Frame> frames;
  Frame f;
  while (readOne(fd, f)) frames.push_back(f);
  ::close(fd);
  return frames;
}

bool Same(const FrameHeader& a, const FrameHeader& b) {
  return a.id == b.id && a.op == b.op && a.pipe == b.pipe && a.flags == b.flags && a.status == b.status &&
         a.arg == b.arg && a.length == b.length;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 64 * 1024) return 0;  // more than the socket holds without a reader
  const std::vector<Frame> ahead = [&] {
    std::vector<Frame> frames;
    const int fd = StreamOf(data, size);
    {
      rzd::usbsim::FrameReader reader(fd);
      Frame f;
      while (reader.Next(f.header, f.payload)) frames.push_back(f);
    }
    ::close(fd);
    return frames;
  }();
  const std::vector<Frame> single =
      ReadAll(data, size, [](int fd, Frame& f) { return rzd::usbsim::ReceiveFrame(fd, f.header, f.payload); });

  if (ahead.size() != single.size()) Fail("the readers disagree on the number of frames");
  size_t at = 0;
  for (size_t i = 0; i < ahead.size(); ++i) {
    if (!Same(ahead[i].header, single[i].header) || ahead[i].payload != single[i].payload) {
      Fail("the readers disagree on a frame");
    }
    if (ahead[i].payload.size() != ahead[i].header.length) Fail("a payload of another length than announced");
    const std::vector<uint8_t> encoded = rzd::usbsim::EncodeFrame(ahead[i].header, ahead[i].payload);
    if (at + encoded.size() > size || std::memcmp(encoded.data(), data + at, encoded.size()) != 0) {
      Fail("a frame that is not the bytes it came from");
    }
    at += encoded.size();
  }
  return 0;
}
