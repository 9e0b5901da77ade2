// The framed protocol between a host handle of platform/usb (sim backend) and a simulated unit's
// Unix stream socket. Both sides use these declarations.
//
// Every frame is a 24-byte header followed by `length` payload bytes. All numbers little-endian.
//
//   offset  size  field
//   0       4     magic  "RZDU" (0x55445A52)
//   4       4     id     request id, chosen by the host, unique per connection; a response
//                        carries the id of its request
//   8       1     op     Op below
//   9       1     pipe   1 read pipe, 2 write pipe, 0 none
//   10      2     flags  kFlagInWindow on a BulkIn response whose data is in the window; else 0
//   12      4     status response: Win32 error (0 success, 31 stalled pipe, 995 cancelled,
//                        1167 unit gone); request: 0
//   16      4     arg    op-specific (below)
//   20      4     length payload bytes that follow, at most kMaxPayload
//
// Requests and their responses (same id and op):
//   Hello      arg = kVersion, payload = the interface path the host opened (UTF-8). Response
//              status 0, 1167 while the unit is unplugged, 2 when the unit does not serve that
//              path, 50 for another version. Sent once, first. The frame may carry one file
//              descriptor (SCM_RIGHTS): the data window, a memory file of at most kMaxWindow
//              bytes that both sides map, so that large reads cross without passing through the
//              socket.
//   BulkOut    pipe 2, payload = the data. Response arg = bytes taken.
//   BulkIn     pipe 1, arg = most bytes wanted; payload empty, or 4 bytes: the offset in the
//              window of a region of `arg` bytes the host set aside for this read. Response
//              payload = the data (never more); or, for a request that named a region, the flag
//              kFlagInWindow, no payload, arg = bytes, and the data at the start of the region.
//              The unit writes a region only while it handles the request, before it answers
//              it; a request it answers later (one it parked) is answered inline.
//   Vendor     payload = 8-byte setup packet (bmRequestType, bRequest, wValue, wIndex, wLength)
//              followed by wLength data bytes. Response arg = data bytes taken.
//   ResetPipe  pipe 1 or 2. Response when the pipe was reset; transfers of the connection still
//              waiting on that pipe complete with 995 first.
//   WaitEvent  Response payload = one 16-byte device event report, when the unit has one.
//   Cancel     arg = id of a request of the same connection. No response of its own: the
//              request, if still waiting, completes with 995.
// A request the unit does not answer stays waiting until it is cancelled, its pipe is reset or
// the connection ends. A frame that breaks these rules ends the connection.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace rzd::usbsim {

inline constexpr uint32_t kMagic = 0x55445A52;  // "RZDU"
inline constexpr uint32_t kVersion = 2;
inline constexpr size_t kHeaderSize = 24;
inline constexpr uint16_t kFlagInWindow = 0x0001;
// Largest data window a unit maps.
inline constexpr uint64_t kMaxWindow = 64u * 1024 * 1024;
inline constexpr size_t kWindowOffsetSize = 4;
inline constexpr size_t kSetupSize = 8;
inline constexpr size_t kEventReportSize = 16;
// Largest transfer one request carries, and the payload bound that follows from it.
inline constexpr uint32_t kMaxTransfer = 16u * 1024 * 1024;
inline constexpr uint32_t kMaxPayload = kMaxTransfer + kSetupSize;

enum class Op : uint8_t {
  Hello = 1,
  BulkOut = 2,
  BulkIn = 3,
  Vendor = 4,
  ResetPipe = 5,
  WaitEvent = 6,
  Cancel = 7,
};

struct FrameHeader {
  uint32_t id = 0;
  Op op = Op::Hello;
  uint8_t pipe = 0;
  uint16_t flags = 0;
  uint32_t status = 0;
  uint32_t arg = 0;
  uint32_t length = 0;
};

// The setup packet of a vendor request.
struct SetupPacket {
  uint8_t requestType = 0;
  uint8_t request = 0;
  uint16_t value = 0;
  uint16_t index = 0;
  uint16_t length = 0;
};

void EncodeHeader(const FrameHeader& header, uint8_t out[kHeaderSize]);
// nullopt for a wrong magic, an unknown op or a length above kMaxPayload.
std::optional<FrameHeader> DecodeHeader(const uint8_t in[kHeaderSize]);
void EncodeSetup(const SetupPacket& setup, uint8_t out[kSetupSize]);
SetupPacket DecodeSetup(const uint8_t in[kSetupSize]);

// Frame I/O on a connected stream socket (blocking; interrupted calls are resumed).
// SendFrame writes the header with length = the sizes of both parts, then both parts, as one
// frame; false when the peer is gone. It never raises SIGPIPE. Threads sharing a socket must
// serialise their sends. `passFd` (not -1) goes with the frame as SCM_RIGHTS.
bool SendFrame(int fd, FrameHeader header, std::span<const uint8_t> part1 = {},
               std::span<const uint8_t> part2 = {}, int passFd = -1);
// The bytes of one whole frame, for a sender that queues frames.
std::vector<uint8_t> EncodeFrame(FrameHeader header, std::span<const uint8_t> part1 = {},
                                 std::span<const uint8_t> part2 = {});
// Writes all bytes; false when the peer is gone. Never raises SIGPIPE.
bool SendAll(int fd, std::span<const uint8_t> bytes);
// false at the end of the stream, on an error or on a malformed frame. Reads exactly one frame's
// bytes (a header, then its payload) and nothing beyond.
bool ReceiveFrame(int fd, FrameHeader& header, std::vector<uint8_t>& payload);

// Reads the frames of one connection with few system calls: small frames arrive several to one
// read; the rest of a large payload is read straight into its place, growing as its bytes come
// (a peer that announces a large payload and sends less never makes it allocate it all).
// Descriptors that come with the bytes (SCM_RIGHTS) are kept for TakeReceivedFd.
class FrameReader {
 public:
  explicit FrameReader(int fd);
  ~FrameReader();  // closes a received descriptor nobody took
  FrameReader(const FrameReader&) = delete;
  FrameReader& operator=(const FrameReader&) = delete;

  // The next frame; false at the end of the stream, on an error or on a malformed frame.
  bool Next(FrameHeader& header, std::vector<uint8_t>& payload);
  // The first descriptor received so far and not yet taken (the caller owns it), or -1.
  int TakeReceivedFd();

  // Before it sleeps in a read, the reader looks for bytes without blocking for up to `limit`
  // (yielding the processor between looks) while `worthIt` answers true (always when empty):
  // a peer that answers within microseconds is then read without a wake-up of this thread.
  void SetSpin(std::chrono::microseconds limit, std::function<bool()> worthIt = {});

 private:
  // Reads what the socket has, up to `size` bytes, into `to`: the count, 0 at the end of the
  // stream, -1 on an error.
  long Read(uint8_t* to, size_t size);

  int fd_;
  int receivedFd_ = -1;
  std::chrono::microseconds spin_{0};
  std::function<bool()> spinWorthIt_;
  std::vector<uint8_t> buffer_;
  size_t begin_ = 0;  // unread bytes are [begin_, end_)
  size_t end_ = 0;
};

// Unix stream sockets for the sim transport. Both answer -1 and set errno on failure; a path
// longer than a socket address holds fails with ENAMETOOLONG.
int ConnectSocket(const char* path);
// Binds and listens, replacing a stale socket file of that name; EADDRINUSE when a live server
// still listens there. The socket is 0600 and its folder made private (EnsurePrivateFolder,
// root.h), as every socket of the system (local_socket.h); EACCES for a folder of another user.
int ListenSocket(const char* path);

}  // namespace rzd::usbsim
