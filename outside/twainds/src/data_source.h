// The scripted data source behind DS_Entry: one connection at a time, its TWAIN states 3 to 7,
// capabilities, image layout and the images of the sheets in its feeder.
#pragma once

#include "apphal/twain_protocol.h"
#include "ds_capabilities.h"
#include "ds_pages.h"
#include "ds_script.h"

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace rzd::twainds {

// The thread message the source posts to the application's thread to announce a transfer or a
// close request (Signal=message): id kDsEventMessage, wparam kDsEventMagic, lparam the TWAIN
// message. It is handed back through MSG_PROCESSEVENT.
constexpr uint32_t kDsEventMessage = 0x8DA5;
constexpr uint64_t kDsEventMagic = 0x74776169;

class DataSource {
 public:
  static DataSource& Instance();
  ~DataSource();

  TW_UINT16 Entry(TW_IDENTITY* origin, TW_UINT32 dataGroup, TW_UINT16 dataArgumentType, TW_UINT16 message,
                  TW_MEMREF data);

 private:
  struct Answer {
    TW_UINT16 rc = TWRC_SUCCESS;
    TW_UINT16 cc = TWCC_SUCCESS;
    std::string detail;
  };
  static Answer Fail(TW_UINT16 cc) { return Answer{TWRC_FAILURE, cc, {}}; }

  Answer Dispatch(TW_IDENTITY* origin, TW_UINT32 dataGroup, TW_UINT16 dat, TW_UINT16 message, TW_MEMREF data);
  Answer Identity(TW_IDENTITY* origin, TW_UINT16 message, TW_MEMREF data);
  Answer Capability(TW_UINT16 message, TW_CAPABILITY* capability);
  Answer UserInterface(TW_UINT16 message, TW_MEMREF data);
  Answer CustomData(const TW_CUSTOMDSDATA* custom);
  Answer ProcessEvent(TW_EVENT* event);
  Answer PendingTransfers(TW_UINT16 message, TW_PENDINGXFERS* pending);
  Answer ImageLayout(TW_UINT16 message, TW_IMAGELAYOUT* layout);
  Answer ImageInfo(TW_IMAGEINFO* info);
  Answer MemoryTransfer(TW_IMAGEMEMXFER* transfer);
  Answer ExtImageInfo(TW_EXTIMAGEINFO* record);

  void OpenConnection(const TW_IDENTITY& application, TW_UINT32 ownId);
  ImageGeometry NextGeometry() const;
  bool StartSheetImage();
  uint32_t PendingImages() const;
  void Announce();
  void StopAnnouncer();

  std::mutex mutex_;
  DsScript script_;
  std::map<std::string, int> counts_;
  Memory memory_;
  DSMENTRYPROC dsm_ = nullptr;
  TW_IDENTITY application_{};
  TW_IDENTITY self_{};
  int state_ = 3;
  TW_UINT16 condition_ = TWCC_SUCCESS;
  Capabilities capabilities_;
  std::array<double, 4> frame_{};  // inches
  int sheetsLeft_ = 0;
  uint32_t sheetNumber_ = 0;
  bool imageActive_ = false;
  Image image_;
  uint32_t applicationThread_ = 0;
  std::thread announcer_;
};

// Appends one line to the triplet log.
void AppendLog(const std::string& line);

}  // namespace rzd::twainds
