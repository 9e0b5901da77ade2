#include "scanner_info.h"

#include "platform/text.h"
#include "xml_text.h"

namespace rzd::lowdrv {

namespace {

class Writer {
 public:
  void Text(std::u16string_view name, std::u16string_view value, bool tab = true) {
    Line(name, XmlEscaped(value), tab);
  }
  void CData(std::u16string_view name, std::u16string_view value) {
    Line(name, u"<![CDATA[" + CDataText(value) + u"]]>", true);
  }
  void Number(std::u16string_view name, uint64_t value) { Line(name, FormatW(u"%llu", static_cast<unsigned long long>(value)), true); }
  std::u16string Take() { return std::move(out_); }

 private:
  void Line(std::u16string_view name, std::u16string_view content, bool tab) {
    if (tab) out_ += u'\t';
    out_ += u'<';
    out_ += name;
    out_ += u'>';
    out_ += content;
    out_ += u"</";
    out_ += name;
    out_ += u">\r\n";
  }
  std::u16string out_ = u"<RZDScanner>\r\n";
};

std::u16string Date(uint16_t year, uint16_t month, uint16_t day) {
  return FormatW(u"%4.4d %2.2d %2.2d", static_cast<int>(year), static_cast<int>(month), static_cast<int>(day));
}

}  // namespace

std::u16string SerialNumberText(std::u16string_view instanceName, const ReduzidNVMData& record) {
  size_t length = 0;
  while (length < sizeof record.SerialNumber && record.SerialNumber[length] != '\0') ++length;
  std::u16string own = FromAnsi(std::string_view(record.SerialNumber, length));
  if (!own.empty() && EqualsNoCase(own, instanceName)) return own;
  return std::u16string(instanceName);
}

std::u16string BuildScannerInfoDocument(const ScannerInfo& info) {
  const ReduzidNVMData& n = info.nvm;
  Writer w;
  w.CData(u"ProductName", info.productName);
  w.CData(u"VendorName", info.vendorName);
  w.CData(u"ModelID", FormatW(u"%.4X", static_cast<unsigned>(info.modelId)));
  w.CData(u"VendorID", FormatW(u"%.4X", static_cast<unsigned>(info.vendorId)));
  w.CData(u"ScannerModel", info.scannerModel);
  w.CData(u"SerialNumber", info.serialNumber);
  w.CData(u"FirmwareVersion", info.firmwareVersion);
  w.CData(u"DriverVersion", info.driverVersion);
  w.CData(u"TWAINDSVersion", info.twainVersion);
  w.CData(u"DateOfManufacture", Date(n.BornYear, n.BornMonth, n.BornDay));
  w.CData(u"DateOfFirstScan", Date(n.FirstScanYear, n.FirstScanMonth, n.FirstScanDay));
  w.Number(u"PowerSaveTimeout", n.PowerSavingTime);
  if (info.hasPowerOffTimer) w.Number(u"PowerOffTimeout", n.PowerOffTime);
  if (info.hasERPTimer) w.Number(u"ERPTimeout", n.ERPTime);
  if (info.trayHeight) w.Number(u"TrayHeight", *info.trayHeight);
  w.Number(u"PadScanCount", n.PadScanCount);
  w.Number(u"RollerScanCount", n.RollerCount);
  w.Number(u"ADFCount", static_cast<uint64_t>(n.ADFSingleModeScanCount) + n.ADFDuplexModeScanCount);
  w.Number(u"ADFSimplexCount", n.ADFSingleModeScanCount);
  w.Number(u"ADFDuplexCount", n.ADFDuplexModeScanCount);
  w.Number(u"ADFMultifeedCount", n.MultifeedCount);
  w.Number(u"ADFJamCount", n.JamCount);
  w.Number(u"CleanCounter", n.CleanCounter);
  w.Number(u"FlatbedScanCount", n.FlatbedScanCount);
  w.Number(u"ReverseRollerCount", n.ReverseRollerCount);
  w.Number(u"PickupRollerCount", n.PickupRollerCount);
  w.Number(u"FrictionRollerCount", n.FrictionRollerCount);
  w.Number(u"CanUpdateFirmware", info.canUpdateFirmware ? 1 : 0);
  w.Text(u"DefaultFirmwareVersion", info.defaultFirmwareVersion);
  if (info.imprinter) w.Text(u"FrontPostImprinter", u"1");
  if (info.imprinter && info.inkRemaining) {
    w.Text(u"ImprInkRemaining",
           FormatW(u"%d.%d", static_cast<int>(info.inkRemaining->first), static_cast<int>(info.inkRemaining->second)),
           false);
  }
  std::u16string document = w.Take();
  document += u"</RZDScanner>\r\n";
  return document;
}

}  // namespace rzd::lowdrv
