// The host's side of the engine command protocol: command phase, data phase and status phase,
// like the driver's command layer does them, over a link to the unit. The link is the host's
// primitive operations on the unit's pipes; PortLink calls a UnitPort in this process, UsbLink
// goes through platform/usb to a unit in another process, so one test proves both.
#pragma once

#include "engine/unit_port.h"
#include "platform/usb.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace rzd::engine::test {

// What the host waits for. Across processes "no answer" is only seen by listening for a while:
// an answer that must come gets a generous deadline, a test that proves the unit keeps silent
// listens briefly. In-process the unit's answer is immediate either way.
enum class Await : uint8_t { Answer, Silence };

// The host's primitive operations on a unit: the command block as a vendor request (host to
// device), a bulk OUT on the write pipe, a bulk IN of at most N bytes on the read pipe, and a
// pipe reset (1 read, 2 write). Results are the unit's: Ok, Stall (pipe error) or NoAnswer.
class Link {
 public:
  virtual ~Link() = default;
  virtual PortStatus VendorOut(const VendorRequest& request, Await await = Await::Answer) = 0;
  virtual PortStatus BulkOut(const uint8_t* data, size_t size, Await await = Await::Answer) = 0;
  virtual PortStatus BulkIn(size_t maxSize, std::vector<uint8_t>& out, Await await = Await::Answer) = 0;
  virtual void ResetPipe(int pipeType) = 0;
};

// Directly on a UnitPort in this process.
class PortLink final : public Link {
 public:
  explicit PortLink(UnitPort& port) : port_(port) {}
  PortStatus VendorOut(const VendorRequest& request, Await = Await::Answer) override {
    return port_.VendorOut(request);
  }
  PortStatus BulkOut(const uint8_t* data, size_t size, Await = Await::Answer) override {
    return port_.BulkOut(data, size);
  }
  PortStatus BulkIn(size_t maxSize, std::vector<uint8_t>& out, Await = Await::Answer) override {
    return port_.BulkIn(maxSize, out);
  }
  void ResetPipe(int pipeType) override { port_.ResetPipe(pipeType); }

 private:
  UnitPort& port_;
};

// Through a platform/usb handle (a unit in another process). Win32 results map to the unit's:
// 0 Ok, 31 (stalled pipe) Stall, 258 (time-out; the request was cancelled and waited for)
// NoAnswer. Any other error fails the current test and answers Stall.
class UsbLink final : public Link {
 public:
  static constexpr uint32_t kAnswerTimeoutMs = 20000;
  static constexpr uint32_t kSilenceMs = 500;

  explicit UsbLink(std::shared_ptr<UsbDevice> device) : device_(std::move(device)) {}
  PortStatus VendorOut(const VendorRequest& request, Await await = Await::Answer) override;
  PortStatus BulkOut(const uint8_t* data, size_t size, Await await = Await::Answer) override;
  PortStatus BulkIn(size_t maxSize, std::vector<uint8_t>& out, Await await = Await::Answer) override;
  void ResetPipe(int pipeType) override;

  UsbDevice& Device() { return *device_; }
  // The Win32 result of the last operation.
  uint32_t LastError() const { return lastError_; }

 private:
  PortStatus Result(uint32_t error, const char* operation);
  std::shared_ptr<UsbDevice> device_;
  uint32_t lastError_ = 0;
};

inline void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void Put32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}
inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t Get32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

struct Reply {
  PortStatus command = PortStatus::Ok;
  std::vector<uint8_t> data;
  int status = -1;  // the status byte, -1 when none arrived
  bool Good() const { return status == 0; }
  bool CheckCondition() const { return status == 2; }
};

// The new set's sense answer, decoded.
struct SenseView {
  uint8_t key = 0;
  bool ili = false;
  uint8_t asc = 0;
  uint8_t ascq = 0;
  uint32_t info = 0;
  uint32_t pixels = 0;
  uint32_t lines = 0;
  uint32_t bytes = 0;
  uint32_t autoWidth = 0;
};

// A new-set window (96 bytes, big-endian), the way the driver builds it.
struct WindowParams {
  uint16_t xres = 200;
  uint16_t yres = 200;
  uint32_t pixels = 64;     // pixels per line
  uint32_t lines = 10;      // lines (both sides together for duplex)
  uint32_t mode = 0x10;     // 1 line art, 0x10 grey, 0x80 colour
  uint16_t source = 1;      // 1 front, 4 duplex, 5 back
  uint8_t compression = 0;  // 0 none, 3 JPEG
  uint8_t sampling = 4;     // JPEG: 1 (2x2), 2 (2x1), 3 (1x1); grey 4
  uint16_t pagesPerJob = 0;
  uint32_t BytesPerLine() const {
    return mode == 0x80 ? pixels * 3 : mode == 0x10 ? pixels : (pixels + 7) / 8;
  }
};

inline std::vector<uint8_t> NewWindow(const WindowParams& s) {
  std::vector<uint8_t> w(96, 0);
  w[2] = 2;
  Put16(&w[3], 96);
  Put16(&w[5], 1200);
  Put32(&w[15], s.pixels * 1200 / s.xres);
  Put32(&w[19], s.lines * 1200 / s.yres);
  Put16(&w[23], s.xres);
  Put16(&w[25], s.yres);
  Put32(&w[27], s.mode == 0x01 ? s.BytesPerLine() * 8 : s.pixels);
  Put32(&w[31], s.lines);
  Put32(&w[35], s.BytesPerLine());
  Put32(&w[39], s.mode);
  Put16(&w[43], s.source);
  w[45] = s.compression;
  w[46] = s.sampling;
  w[47] = 0x80;
  w[50] = w[51] = 128;
  Put16(&w[57], s.pagesPerJob);
  return w;
}

// The classic window parameter list: 8-byte header, then the descriptor (big-endian).
inline std::vector<uint8_t> ClassicWindow(uint16_t res, uint32_t bpl, uint32_t lines, uint8_t comp,
                                          uint8_t capEx1) {
  std::vector<uint8_t> w(8 + 147, 0);
  Put16(&w[6], 147);
  Put16(&w[10], res);
  Put16(&w[12], res);
  w[33] = comp;
  w[34] = comp == 0 ? 1 : 8;
  w[50] = 0xC0;  // fed from the feeder
  Put16(&w[53], bpl & 0xFFFF);
  Put16(&w[55], lines & 0xFFFF);
  w[65] = capEx1;
  w[67] = static_cast<uint8_t>(bpl >> 16);
  w[68] = static_cast<uint8_t>(lines >> 16);
  return w;
}

class HostLink {
 public:
  explicit HostLink(Link& link) : link_(link) {}
  // Directly on a unit in this process.
  explicit HostLink(UnitPort& port) : owned_(std::make_unique<PortLink>(port)), link_(*owned_) {}

  // One new-set command: the block as a vendor request, the data-out block (when given), a
  // data-in read of `inLength` bytes (when not 0), and the 3-byte status. `await` applies to
  // every phase.
  Reply New(const std::vector<uint8_t>& cdb, const std::vector<uint8_t>& out = {},
            size_t inLength = 0, Await await = Await::Answer) {
    Reply r;
    r.command = link_.VendorOut(Block(cdb), await);
    if (r.command != PortStatus::Ok) return r;
    return Phases(r, out, inLength, 3, await);
  }

  // One classic command: the block padded to 10 bytes on the write pipe, data, 1-byte status.
  Reply Classic(std::vector<uint8_t> cdb, const std::vector<uint8_t>& out = {},
                size_t inLength = 0) {
    Reply r;
    cdb.resize(10, 0);
    r.command = link_.BulkOut(cdb.data(), cdb.size());
    if (r.command != PortStatus::Ok) return r;
    return Phases(r, out, inLength, 1, Await::Answer);
  }

  // A new-set command block as the host sends it: vendor request 4, host to device.
  static VendorRequest Block(const std::vector<uint8_t>& cdb) {
    VendorRequest request;
    request.requestType = 0x40;
    request.request = 4;
    request.data = cdb;
    return request;
  }
  static std::vector<uint8_t> Cdb(uint8_t opcode) {
    std::vector<uint8_t> c(12, 0);
    c[0] = opcode;
    return c;
  }
  static std::vector<uint8_t> ReadCdb(uint16_t dataType, uint32_t length) {
    std::vector<uint8_t> c = Cdb(0xA8);
    Put16(&c[3], dataType);
    Put32(&c[7], length);
    return c;
  }
  static std::vector<uint8_t> SendCdb(uint16_t dataType, uint32_t length) {
    std::vector<uint8_t> c = Cdb(0xAA);
    Put16(&c[3], dataType);
    Put32(&c[7], length);
    return c;
  }

  Reply Read(uint16_t dataType, uint32_t length) {
    return New(ReadCdb(dataType, length), {}, length);
  }
  Reply Send(uint16_t dataType, const std::vector<uint8_t>& data) {
    return New(SendCdb(dataType, static_cast<uint32_t>(data.size())), data);
  }

  // New-set REQUEST SENSE (polling form when `polling`).
  SenseView RequestSense(bool polling = false) {
    std::vector<uint8_t> c = Cdb(0xE3);
    c[10] = 44;
    c[11] = polling ? 1 : 0;
    const Reply r = New(c, {}, 44);
    return Decode(r.data);
  }

  static SenseView Decode(const std::vector<uint8_t>& a) {
    SenseView s;
    if (a.size() < 44) return s;
    s.key = a[5] & 0x0F;
    s.ili = (a[5] & 0x20) != 0;
    s.asc = a[7];
    s.ascq = a[8];
    s.info = Get32(&a[9]);
    s.pixels = Get32(&a[19]) & 0xFFFFFF;
    s.lines = Get32(&a[23]) & 0xFFFFFF;
    s.bytes = Get32(&a[27]);
    s.autoWidth = Get32(&a[33]);
    return s;
  }

  bool SetWindow(const WindowParams& win) {
    std::vector<uint8_t> c = Cdb(0xE4);
    c[10] = 96;
    return New(c, NewWindow(win)).Good();
  }
  Reply Reserve(uint8_t control) {
    std::vector<uint8_t> c = Cdb(0xE6);
    c[11] = control;
    return New(c);
  }
  Reply Release(uint8_t control) {
    std::vector<uint8_t> c = Cdb(0xE7);
    c[11] = control;
    return New(c);
  }
  Reply ReadImage(uint32_t length) { return Read(0x00, length); }

 private:
  Reply Phases(Reply& r, const std::vector<uint8_t>& out, size_t inLength, size_t statusSize,
               Await await) {
    if (!out.empty() && link_.BulkOut(out.data(), out.size(), await) != PortStatus::Ok) return r;
    if (inLength > 0 && link_.BulkIn(inLength, r.data, await) != PortStatus::Ok) return r;
    std::vector<uint8_t> status;
    if (link_.BulkIn(statusSize, status, await) == PortStatus::Ok && status.size() == statusSize)
      r.status = status[statusSize - 1];
    return r;
  }

  std::unique_ptr<Link> owned_;
  Link& link_;
};

}  // namespace rzd::engine::test
