// The desktop application's side of the LCD screens, as tests write it: the console user, the
// user's language, event profiles with their scan profiles, and the link cache.
#pragma once

#include "platform/picture.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "platform/storage.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace rzd::scanhost::test {

inline constexpr char16_t kTestUserSid[] = u"S-1-5-21-7000-1001";

struct EventProfile {
  std::u16string key;  // "F1"
  std::optional<std::u16string> name;
  std::optional<uint32_t> transfer;
  std::optional<std::u16string> link;
  std::optional<std::u16string> scanConfig;
};

struct ScanProfile {
  std::u16string key;
  std::optional<uint32_t> dataType;
  std::optional<uint32_t> xResolution;
  std::optional<uint32_t> pageWidth;
  std::optional<uint32_t> pageHeight;
  std::optional<std::u16string> name;
  std::optional<std::u16string> vantixConfig;
};

inline RegKey CreateKey(Hive hive, const std::u16string& path) {
  RegKey key;
  EXPECT_EQ(RegKey::Create(hive, path, &key), ERROR_SUCCESS) << ToUtf8(path);
  return key;
}

// The console user known to the service, with a language ("00000409"); an empty sid forgets it.
inline void SetConsoleUser(const std::u16string& sid, const std::u16string& locale = u"00000409") {
  CreateKey(Hive::LocalMachine, u"SOFTWARE\\Corvanite\\RZD").SetString(u"CurrentUserSID", sid);
  if (!sid.empty()) CreateKey(Hive::Users, sid + u"\\Control Panel\\International").SetString(u"Locale", locale);
}

inline std::u16string ApplicationKey(const std::u16string& friendlyName, const std::u16string& sid = kTestUserSid) {
  return sid + u"\\Software\\Corvanite\\Quickarc 4.0\\" + friendlyName;
}

inline void WriteEventProfile(const std::u16string& friendlyName, const EventProfile& p,
                              const std::u16string& sid = kTestUserSid) {
  RegKey key = CreateKey(Hive::Users, ApplicationKey(friendlyName, sid) + u"\\EventProfiles\\" + p.key);
  if (p.name) key.SetString(u"Name", *p.name);
  if (p.transfer) key.SetDword(u"Transfer", *p.transfer);
  if (p.link) key.SetString(u"Link", *p.link);
  if (p.scanConfig) key.SetString(u"ScanConfig", *p.scanConfig);
}

inline void WriteScanProfile(const std::u16string& friendlyName, const ScanProfile& p,
                             const std::u16string& sid = kTestUserSid) {
  RegKey key = CreateKey(Hive::Users, ApplicationKey(friendlyName, sid) + u"\\ScanProfiles\\" + p.key);
  if (p.dataType) key.SetDword(u"DataType", *p.dataType);
  if (p.xResolution) key.SetDword(u"Xresolution", *p.xResolution);
  if (p.pageWidth) key.SetDword(u"PageWidth", *p.pageWidth);
  if (p.pageHeight) key.SetDword(u"PageHeight", *p.pageHeight);
  if (p.name) key.SetString(u"Name", *p.name);
  if (p.vantixConfig) key.SetString(u"VantixConfig", *p.vantixConfig);
}

inline void DeleteEventProfiles(const std::u16string& friendlyName, const std::u16string& sid = kTestUserSid) {
  RegKey::DeleteTree(Hive::Users, ApplicationKey(friendlyName, sid) + u"\\EventProfiles");
}

// A "LINKS" stream: a 396-byte record per name, the name at byte 128.
inline std::vector<uint8_t> LinkRecords(const std::vector<std::string>& names) {
  std::vector<uint8_t> links(names.size() * 396, 0);
  for (size_t i = 0; i < names.size(); ++i) {
    std::memcpy(links.data() + i * 396 + 128, names[i].data(), std::min<size_t>(names[i].size(), 268));
    std::memset(links.data() + i * 396, 0x5A, 128);  // whatever the record holds before the name
  }
  return links;
}

// An image list of `count` 32 x 32 link icons on a transparent ground, in turn an envelope (mail),
// a folder (save) and a printer (print).
inline ImageList LinkIcons(int32_t count) {
  const gdi::Rgb ground{255, 0, 255};
  std::shared_ptr<gdi::Bitmap> strip = gdi::CreateDibSection(32 * count, 32, 24);
  strip->Fill(ground);
  auto box = [&](int32_t i, int32_t l, int32_t t, int32_t r, int32_t b, gdi::Rgb fill, gdi::Rgb edge) {
    for (int32_t y = t; y < b; ++y)
      for (int32_t x = l; x < r; ++x)
        strip->SetPixel(32 * i + x, y, (x == l || x == r - 1 || y == t || y == b - 1) ? edge : fill);
  };
  for (int32_t i = 0; i < count; ++i) {
    switch (i % 3) {
      case 0: {  // envelope
        const gdi::Rgb edge{40, 90, 160};
        box(i, 3, 8, 29, 25, gdi::Rgb{232, 240, 250}, edge);
        for (int32_t k = 0; k < 13; ++k) {
          strip->SetPixel(32 * i + 3 + k, 8 + k * 8 / 13, edge);
          strip->SetPixel(32 * i + 28 - k, 8 + k * 8 / 13, edge);
        }
        break;
      }
      case 1: {  // folder
        const gdi::Rgb edge{176, 128, 30};
        box(i, 3, 7, 14, 11, gdi::Rgb{246, 200, 90}, edge);
        box(i, 3, 10, 29, 26, gdi::Rgb{250, 212, 110}, edge);
        break;
      }
      default: {  // printer
        const gdi::Rgb edge{70, 80, 92};
        box(i, 9, 4, 23, 12, gdi::kWhite, edge);
        box(i, 3, 11, 29, 23, gdi::Rgb{150, 162, 176}, edge);
        box(i, 9, 19, 23, 28, gdi::kWhite, edge);
        strip->SetPixel(32 * i + 25, 14, gdi::Rgb{80, 200, 90});
        break;
      }
    }
  }
  ImageList list(32, 32, count, 4);
  list.AddMasked(*strip, ground);
  return list;
}

// The user's link cache file with these links (record i has icon i) and its registry value.
inline std::filesystem::path WriteLinkCache(const std::filesystem::path& folder, const std::vector<std::string>& names,
                                            const std::u16string& sid = kTestUserSid) {
  const std::filesystem::path file = folder / "LinkCache.dat";
  std::filesystem::create_directories(folder);
  EXPECT_TRUE(WriteCompoundFile(file, {{"ICONS", LinkIcons(static_cast<int32_t>(names.size())).Write()},
                                       {"LINKS", LinkRecords(names)}}));
  CreateKey(Hive::Users, sid + u"\\Software\\Corvanite\\Quickarc 4.0\\Relaybox 4.0")
      .SetString(u"LinkCache", FromUtf8(file.string()));
  return file;
}

// Nine profiles as the desktop application writes them for the console user (English), with scan
// profiles and a link cache.
inline void WriteNineProfiles(const std::u16string& friendlyName) {
  SetConsoleUser(kTestUserSid, u"00000409");
  const std::vector<std::string> links = {"Mail{Outlook}", "Save{Documents}", "Print{Office printer}"};
  WriteLinkCache(SystemRoot() / "Users" / "AppData", links);
  struct Profile {
    const char16_t* name;
    uint32_t transfer;
    const char16_t* link;
    ScanProfile scan;
  } profiles[] = {
      {u"Invoices", 0x400, u"Mail{Outlook}", {u"Office", 4, 300, 8500, 11000, u"Office", std::nullopt}},
      {u"Contracts", 0x8000, u"Save{Documents}", {u"Legal", 1, 200, 8500, 14000, u"Legal", std::nullopt}},
      {u"Photos", 0x20002, u"Save{Documents}", {u"Photo", 4, 600, 4000, 6000, u"Photo", std::nullopt}},
      {u"Receipts", 0x2000, u"Mail{Outlook}", {u"Small", 2, 150, 3500, 2000, u"Small", std::nullopt}},
      {u"Archive", 0x30004, u"Print{Office printer}", {u"A4", 2, 300, 8268, 11693, u"A4", std::nullopt}},
      {u"Letters", 0x40, u"Print{Office printer}", {u"Text", 1, 300, 8268, 11693, u"Text", std::nullopt}},
      {u"Drawings", 0x1000, u"Save{Documents}", {u"Big", 4, 400, 11693, 16535, u"Big", std::nullopt}},
      {u"Cards", 0x10, u"Mail{Outlook}", {u"Cards", 2, 300, 3375, 2125, u"Cards", std::nullopt}},
      {u"Everything", 0x10008, u"QUICKARC4_INTERNAL:STICLIENT", {u"Any", 4, 0, 0, 0, u"Any", std::nullopt}},
  };
  int n = 0;
  for (const Profile& p : profiles) {
    const std::u16string key = FormatW(u"F%d", ++n);
    WriteEventProfile(friendlyName, {key, p.name, p.transfer, p.link, p.scan.key});
    WriteScanProfile(friendlyName, p.scan);
  }
}

}  // namespace rzd::scanhost::test
