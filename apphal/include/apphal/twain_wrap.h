// CTWAINwrap: the hardware operations of the scanner command core as conversations with the
// model's TWAIN data source, through one CTwainSession per initialised wrapper. It builds the
// application identity, turns the scan record into capability settings, runs the cycle of
// enable, wait, memory transfers into the caller's buffer and end of transfer, and answers every
// operation with a `_ZQSTATUS` value. CTWAINwrapOver, the model's wrapper, differs only in its
// tone curve.
//
// A wrapper is used on one thread at a time (the application's); only the source's callbacks
// reach its session from other threads.
#pragma once

#include "apphal/scan_records.h"
#include "apphal/twain_session.h"
#include "foundation/log_client.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace rzd::apphal {

// A status counts as a failure when either of its two top bits is set.
constexpr bool IsZqFailure(uint32_t status) { return (status & 0xC0000000u) != 0; }

// The session result (condition code << 16 | return code) as a status.
uint32_t MapTwainResult(uint32_t result);

// Tone curves: entries of a table of `length` bytes (256 one-byte entries below 65536 bytes,
// 65536 two-byte entries from there). False for a length below 256.
bool BuildIntensityContrastCurve(int32_t intensity, int32_t contrast, uint8_t* table, size_t length);
// The model's fixed curve: 256 one-byte entries. False for a length below 256.
bool BuildFixedCurve(uint8_t* table, size_t length);
// The gamma tuning of a 256-entry table for the intensity and contrast (each taken as a byte
// of value × 256 / 100, held to 0..255).
void TuneGammaTable(uint8_t* table, int32_t intensity, int32_t contrast);
// True when HKLM\SOFTWARE\Corvanite\Quickarc 4.0\Global\TuneGammaForVRS holds Enabled = 1.
bool GammaTuningEnabled();
inline constexpr char16_t kTuneGammaKeyPath[] = u"SOFTWARE\\Corvanite\\Quickarc 4.0\\Global\\TuneGammaForVRS";

// The extended page information asked for after each start and transfer, in this order (0x8001,
// 0x8005 and 0x8004 are the source's own entries).
inline constexpr TW_UINT16 kExtendedInfoIds[13] = {
    TWEI_DOCUMENTNUMBER, TWEI_PAPERCOUNT, TWEI_PAGENUMBER, TWEI_PAGESIDE,     TWEI_FRAMENUMBER,
    TWEI_PIXELFLAVOR,    TWEI_PATCHCODE,  TWEI_CHAPTERNUMBER, 0x8001, TWEI_PRINTERTEXT, TWEI_BARCODECOUNT,
    0x8005,              0x8004};

class CTWAINwrap : public CLogClient {
 public:
  CTWAINwrap();
  // Runs Uninitialize.
  ~CTWAINwrap() override;
  CTWAINwrap(const CTWAINwrap&) = delete;
  CTWAINwrap& operator=(const CTWAINwrap&) = delete;

  // ---- Operations 15 to 26.
  virtual uint32_t ShowNetWaitDialog();
  virtual uint32_t Initialize(ZQSCANINFO* pinfo, const std::filesystem::path& dataSourcePath);
  virtual uint32_t Uninitialize();
  virtual uint32_t GetADFStatus();
  virtual uint32_t Configure(ZQSCANINFO* pinfo);
  virtual uint32_t ConfigureDSData(ZQSCANINFO* pinfo);
  virtual uint32_t StartScan(ZQSCANINFO* pinfo, std::string colourCorrection);
  // Bytes written into `buffer`; `status` gets the status, `last` whether the page ended.
  virtual int32_t ReadScan(ZQSCANINFO* pinfo, uint8_t* buffer, int32_t size, uint32_t* status, bool* last);
  virtual uint32_t FinishScan(ZQSCANINFO* pinfo);
  virtual uint32_t CancelScan();
  virtual bool BuildToneCurve(const ZQSCANINFO* pinfo, int32_t channel, uint8_t* table, size_t length);
  virtual uint32_t MapTwainStatus(uint32_t result);

  // ---- What the cycle holds (for the core and tests).
  int32_t SessionId() const { return m_sessionId; }
  bool Started() const { return m_started; }
  bool BatchOver() const { return m_batchOver; }
  bool MorePending() const { return m_morePending; }
  uint64_t BytesDelivered() const { return m_bytesDelivered; }
  uint64_t BytesExpected() const { return m_bytesExpected; }
  uint32_t LastReadStatus() const { return m_lastReadStatus; }
  // The session in the session map, or null.
  std::shared_ptr<CTwainSession> Session() const;

 private:
  TW_IDENTITY ApplicationIdentity(int32_t sessionId) const;
  // Reads the extended page information into the record (when it asks for it).
  void GatherExtendedInfo(CTwainSession& session, ZQSCANINFO* pinfo);
  // The source's page values asked for at each start and page end (their values are the
  // application's page record's; they are read so the source sees the same conversation).
  void ReadPageValues(CTwainSession& session);
  // Closes the source after a fault inside it and leaves the session in state 2.
  void CloseAfterFault(CTwainSession& session);
  // Exchanges the first and third byte of every three-byte pixel of the whole lines in `data`.
  void SwapRedBlue(uint8_t* data, size_t bytes) const;

  bool m_started = false;
  bool m_batchOver = false;
  bool m_morePending = false;
  int32_t m_sessionId = 0;
  uint64_t m_bytesDelivered = 0;
  uint64_t m_bytesExpected = 0;
  uint32_t m_lastReadStatus = 0;
  // The page being read: its line size, pixels per line, bits per pixel, and whether it is
  // compressed (then read until the source says the transfer is done).
  int32_t m_widthBytes = 0;
  int32_t m_widthPixels = 0;
  int32_t m_bitsPerPixel = 0;
  bool m_compressed = false;
  bool m_transferDone = false;
};

// The model's wrapper: the fixed tone curve.
class CTWAINwrapOver : public CTWAINwrap {
 public:
  CTWAINwrapOver();
  bool BuildToneCurve(const ZQSCANINFO* pinfo, int32_t channel, uint8_t* table, size_t length) override;
};

}  // namespace rzd::apphal
