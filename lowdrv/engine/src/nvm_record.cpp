// Byte order and data-log text of the non-volatile record.
#include "lowdrv/engine/nvm_record.h"

#include "lowdrv/engine/byte_order.h"
#include "platform/text.h"

namespace rzd::lowdrv {

void ConvertByteOrder(ReduzidNVMData& n) {
  n.PadScanCount = Swap32(n.PadScanCount);
  n.ADFSingleModeScanCount = Swap32(n.ADFSingleModeScanCount);
  n.ADFDuplexModeScanCount = Swap32(n.ADFDuplexModeScanCount);
  n.FlatbedScanCount = Swap32(n.FlatbedScanCount);
  n.LeadingEdgeFlatbed = Swap16(n.LeadingEdgeFlatbed);
  n.SideEdgeFlatbed = Swap16(n.SideEdgeFlatbed);
  n.LeadingEdgeADFFront = Swap16(n.LeadingEdgeADFFront);
  n.SideEdgeADFFront = Swap16(n.SideEdgeADFFront);
  n.LeadingEdgeADFRear = Swap16(n.LeadingEdgeADFRear);
  n.SideEdgeADFRear = Swap16(n.SideEdgeADFRear);
  n.BornMonth = Swap16(n.BornMonth);
  n.BornDay = Swap16(n.BornDay);
  n.BornYear = Swap16(n.BornYear);
  n.FirstScanMonth = Swap16(n.FirstScanMonth);
  n.FirstScanDay = Swap16(n.FirstScanDay);
  n.FirstScanYear = Swap16(n.FirstScanYear);
  n.VerticalMagnification = Swap16(n.VerticalMagnification);
  n.HorizontalMagnification = Swap16(n.HorizontalMagnification);
  n.PowerSavingTime = Swap16(n.PowerSavingTime);
  n.RollerCount = Swap32(n.RollerCount);
  n.MultifeedCount = Swap32(n.MultifeedCount);
  n.JamCount = Swap32(n.JamCount);
  n.PowerOffTime = Swap16(n.PowerOffTime);
  n.Counter124 = Swap32(n.Counter124);
  n.ReverseRollerCount = Swap32(n.ReverseRollerCount);
  n.PickupRollerCount = Swap32(n.PickupRollerCount);
  n.Counter136 = Swap32(n.Counter136);
  n.Counter140 = Swap32(n.Counter140);
  n.Counter144 = Swap32(n.Counter144);
  n.ERPTime = Swap16(n.ERPTime);
  n.Counter150 = Swap32(n.Counter150);
  n.FrictionRollerCount = Swap32(n.FrictionRollerCount);
  n.Counter158 = Swap32(n.Counter158);
  n.CleanCounter = Swap32(n.CleanCounter);
}

std::string DumpNVRAM(const ReduzidNVMData& n) {
  std::string out;
  out += rzd::FormatA("Pad Scan Count: %d\n", static_cast<int>(n.PadScanCount));
  out += rzd::FormatA("ADF Single Mode Scan Count: %d\n", static_cast<int>(n.ADFSingleModeScanCount));
  out += rzd::FormatA("ADF Duplex Mode Scan Count: %d\n", static_cast<int>(n.ADFDuplexModeScanCount));
  out += rzd::FormatA("Fletbed Scan Count: %d\n", static_cast<int>(n.FlatbedScanCount));
  out += rzd::FormatA("Leading Edge Fletbed: %d\n", n.LeadingEdgeFlatbed);
  out += rzd::FormatA("Side Edge Fletbed: %d\n", n.SideEdgeFlatbed);
  out += rzd::FormatA("Leading Edge ADF Front Page: %d\n", n.LeadingEdgeADFFront);
  out += rzd::FormatA("Side Edge ADF Front Page: %d\n", n.SideEdgeADFFront);
  out += rzd::FormatA("Leading Edge ADF Rear Page: %d\n", n.LeadingEdgeADFRear);
  out += rzd::FormatA("Side Edge ADF Rear Page: %d\n", n.SideEdgeADFRear);
  out += rzd::FormatA("Born Month: %d\n", n.BornMonth);
  out += rzd::FormatA("Born Day: %d\n", n.BornDay);
  out += rzd::FormatA("Born Year: %d\n", n.BornYear);
  out += rzd::FormatA("First Scan Month: %d\n", n.FirstScanMonth);
  out += rzd::FormatA("First Scan Day: %d\n", n.FirstScanDay);
  out += rzd::FormatA("First Scan Year: %d\n", n.FirstScanYear);
  out += rzd::FormatA("Vertical Magnification: %d\n", n.VerticalMagnification);
  out += rzd::FormatA("Horizontal Magnification: %d\n", n.HorizontalMagnification);
  out += rzd::FormatA("CCD Type: 0x%02X\n", n.CCDType);
  out += rzd::FormatA("Scan Speed: 0x%02X\n", n.ScanSpeed);
  out += rzd::FormatA("SN: %24.24s", std::string(n.SerialNumber, sizeof n.SerialNumber).c_str());
  out += rzd::FormatA("Power Saving Time: %d\n", n.PowerSavingTime);
  out += rzd::FormatA("Auto Feed: %d\n", n.AutoFeed);
  out += rzd::FormatA("Roller Count: %d", static_cast<int>(n.RollerCount));
  out += rzd::FormatA("Multifeed Count: %d\n", static_cast<int>(n.MultifeedCount));
  out += rzd::FormatA("Jam Count: %d\n", static_cast<int>(n.JamCount));
  out += rzd::FormatA("Identify Info: %16.16s\n", std::string(n.IdentifyInfo, sizeof n.IdentifyInfo).c_str());
  out += rzd::FormatA("Formal Name: %16.16s\n\n", std::string(n.FormalName, sizeof n.FormalName).c_str());
  return out;
}

}  // namespace rzd::lowdrv
