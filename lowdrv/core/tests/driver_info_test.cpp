// The unit information document `RZDScanner`: its exact form, text from the unit made safe for
// XML, its counters against the unit's NVRAM, the cached record while another process holds the
// unit, and the file versions it names.
#include "driver/scanner_info.h"
#include "driver/xml_text.h"
#include "lowdrv/core/driver_system.h"
#include "maintenance_fixture.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace rzd::lowdrv::test {
namespace {

using DriverInfoTest = MaintenanceTest;

ScannerInfo SampleInfo() {
  ScannerInfo info;
  info.productName = u"Quarx M48tz Scanner";
  info.vendorName = u"Quarx Incorporated";
  info.modelId = 0x0148;
  info.vendorId = 0x2E5A;
  info.scannerModel = u"M48tz";
  info.serialNumber = u"qm48tz000001";
  info.firmwareVersion = u"1.00";
  info.driverVersion = u"1, 0, 0, 0";
  info.twainVersion = u"X, X, X, X";
  info.nvm.BornYear = 2022;
  info.nvm.BornMonth = 3;
  info.nvm.BornDay = 14;
  info.nvm.FirstScanYear = 2023;
  info.nvm.FirstScanMonth = 1;
  info.nvm.FirstScanDay = 2;
  info.nvm.PowerSavingTime = 15;
  info.nvm.PowerOffTime = 240;
  info.nvm.ERPTime = 60;
  info.nvm.PadScanCount = 1;
  info.nvm.RollerCount = 2;
  info.nvm.ADFSingleModeScanCount = 4000000000u;  // the sum passes 32 bits
  info.nvm.ADFDuplexModeScanCount = 1000000000u;
  info.nvm.MultifeedCount = 5;
  info.nvm.JamCount = 6;
  info.nvm.CleanCounter = 7;
  info.nvm.FlatbedScanCount = 8;
  info.nvm.ReverseRollerCount = 9;
  info.nvm.PickupRollerCount = 10;
  info.nvm.FrictionRollerCount = 11;
  info.hasPowerOffTimer = true;
  info.trayHeight = 2;
  info.defaultFirmwareVersion = u"1.02";
  info.imprinter = true;
  info.inkRemaining = std::make_pair(uint8_t{87}, uint8_t{5});
  return info;
}

TEST(ScannerInfoDocument, HasItsElementsInOrderOneALine) {
  const std::u16string expected =
      u"<RZDScanner>\r\n"
      u"\t<ProductName><![CDATA[Quarx M48tz Scanner]]></ProductName>\r\n"
      u"\t<VendorName><![CDATA[Quarx Incorporated]]></VendorName>\r\n"
      u"\t<ModelID><![CDATA[0148]]></ModelID>\r\n"
      u"\t<VendorID><![CDATA[2E5A]]></VendorID>\r\n"
      u"\t<ScannerModel><![CDATA[M48tz]]></ScannerModel>\r\n"
      u"\t<SerialNumber><![CDATA[qm48tz000001]]></SerialNumber>\r\n"
      u"\t<FirmwareVersion><![CDATA[1.00]]></FirmwareVersion>\r\n"
      u"\t<DriverVersion><![CDATA[1, 0, 0, 0]]></DriverVersion>\r\n"
      u"\t<TWAINDSVersion><![CDATA[X, X, X, X]]></TWAINDSVersion>\r\n"
      u"\t<DateOfManufacture><![CDATA[2022 03 14]]></DateOfManufacture>\r\n"
      u"\t<DateOfFirstScan><![CDATA[2023 01 02]]></DateOfFirstScan>\r\n"
      u"\t<PowerSaveTimeout>15</PowerSaveTimeout>\r\n"
      u"\t<PowerOffTimeout>240</PowerOffTimeout>\r\n"
      u"\t<TrayHeight>2</TrayHeight>\r\n"
      u"\t<PadScanCount>1</PadScanCount>\r\n"
      u"\t<RollerScanCount>2</RollerScanCount>\r\n"
      u"\t<ADFCount>5000000000</ADFCount>\r\n"
      u"\t<ADFSimplexCount>4000000000</ADFSimplexCount>\r\n"
      u"\t<ADFDuplexCount>1000000000</ADFDuplexCount>\r\n"
      u"\t<ADFMultifeedCount>5</ADFMultifeedCount>\r\n"
      u"\t<ADFJamCount>6</ADFJamCount>\r\n"
      u"\t<CleanCounter>7</CleanCounter>\r\n"
      u"\t<FlatbedScanCount>8</FlatbedScanCount>\r\n"
      u"\t<ReverseRollerCount>9</ReverseRollerCount>\r\n"
      u"\t<PickupRollerCount>10</PickupRollerCount>\r\n"
      u"\t<FrictionRollerCount>11</FrictionRollerCount>\r\n"
      u"\t<CanUpdateFirmware>0</CanUpdateFirmware>\r\n"
      u"\t<DefaultFirmwareVersion>1.02</DefaultFirmwareVersion>\r\n"
      u"\t<FrontPostImprinter>1</FrontPostImprinter>\r\n"
      u"<ImprInkRemaining>87.5</ImprInkRemaining>\r\n"
      u"</RZDScanner>\r\n";
  EXPECT_EQ(BuildScannerInfoDocument(SampleInfo()), expected);

  // Without the timers, the tray and the imprinter their elements are left out.
  ScannerInfo plain = SampleInfo();
  plain.hasPowerOffTimer = false;
  plain.trayHeight.reset();
  plain.imprinter = false;
  plain.hasERPTimer = true;
  const std::u16string document = BuildScannerInfoDocument(plain);
  for (const char16_t* gone : {u"PowerOffTimeout", u"TrayHeight", u"FrontPostImprinter", u"ImprInkRemaining"})
    EXPECT_EQ(document.find(gone), std::u16string::npos) << ToUtf8(gone);
  EXPECT_NE(document.find(u"\t<ERPTimeout>60</ERPTimeout>\r\n"), std::u16string::npos);
  EXPECT_NE(document.find(u"</DefaultFirmwareVersion>\r\n</RZDScanner>\r\n"), std::u16string::npos);
}

TEST(ScannerInfoDocument, TextFromTheUnitCannotEndItsSectionOrBreakTheDocument) {
  ScannerInfo info = SampleInfo();
  info.firmwareVersion = std::u16string(u"1]]>\x01<x/>\x1f", 9);
  info.serialNumber = u"]]]]>>";
  info.defaultFirmwareVersion = u"<b>&amp;";
  const std::u16string document = BuildScannerInfoDocument(info);
  EXPECT_EQ(TextAt(document, u"/RZDScanner/FirmwareVersion"), u"1]]><x/>");
  EXPECT_EQ(TextAt(document, u"/RZDScanner/SerialNumber"), u"]]]]>>");
  EXPECT_EQ(TextAt(document, u"/RZDScanner/DefaultFirmwareVersion"), u"<b>&amp;");
  EXPECT_EQ(TextAt(document, u"/RZDScanner/PadScanCount"), u"1");

  EXPECT_EQ(CDataText(u"a]]>b]]>"), u"a]]]]><![CDATA[>b]]]]><![CDATA[>");
  EXPECT_EQ(CDataText(std::u16string(u"\x7f\x00z", 3)), u"z");
  EXPECT_EQ(XmlEscaped(u"a<b>&\tc\x02"), u"a&lt;b&gt;&amp;\tc");
}

TEST_F(DriverInfoTest, TheDocumentParsesAndItsCountersAreTheUnitsNvram) {
  StartUnit();
  ASSERT_EQ(Control("counters pad=101 adfsimplex=4000000000 adfduplex=400000000 flatbed=7 roller=102 multifeed=3 "
                    "jam=4 reverse=5 pickup=6 friction=8 clean=9")
                .rfind("ok", 0),
            0u);
  CScannerLLD driver(path_);
  OpenAndLock(driver);
  Bstr info;
  ASSERT_EQ(driver.DoControlCode(cc::kScannerInfo, nullptr, info.Out(), nullptr, 0, nullptr, nullptr), 0u);
  const std::u16string document = info.Str();
  MSXML6StoreSTL store;
  ASSERT_TRUE(store.LoadFromString(document)) << ToUtf8(document);

  const std::map<std::string, uint32_t> unit = UnitCounters();
  const std::vector<std::pair<const char16_t*, std::string>> counters = {
      {u"PadScanCount", "pad"},           {u"RollerScanCount", "roller"},     {u"ADFSimplexCount", "adfsimplex"},
      {u"ADFDuplexCount", "adfduplex"},   {u"ADFMultifeedCount", "multifeed"}, {u"ADFJamCount", "jam"},
      {u"CleanCounter", "clean"},         {u"FlatbedScanCount", "flatbed"},   {u"ReverseRollerCount", "reverse"},
      {u"PickupRollerCount", "pickup"},   {u"FrictionRollerCount", "friction"},
      {u"PowerSaveTimeout", "sleep"},     {u"PowerOffTimeout", "off"},         {u"ERPTimeout", "erp"},
  };
  for (const auto& [element, name] : counters) {
    SCOPED_TRACE(ToUtf8(element));
    EXPECT_EQ(TextAt(document, u"/RZDScanner/" + std::u16string(element)), FromUtf8(std::to_string(unit.at(name))));
  }
  EXPECT_EQ(TextAt(document, u"/RZDScanner/ADFCount"), u"4400000000");
  EXPECT_EQ(TextAt(document, u"/RZDScanner/SerialNumber"), u"QM48TZ000001") << "the unit's own, not the path's case";
  EXPECT_EQ(TextAt(document, u"/RZDScanner/FirmwareVersion"), u"1.00");
  EXPECT_EQ(TextAt(document, u"/RZDScanner/DateOfManufacture"), u"2022 03 14");
  EXPECT_EQ(TextAt(document, u"/RZDScanner/ModelID"), u"0148");
  EXPECT_EQ(TextAt(document, u"/RZDScanner/FrontPostImprinter"), u"1");
  EXPECT_EQ(TextAt(document, u"/RZDScanner/ImprInkRemaining"), u"87.5");
  EXPECT_EQ(TextAt(document, u"/RZDScanner/TrayHeight"), u"0");
  // This test program carries the version record, as the built library does.
  EXPECT_EQ(TextAt(document, u"/RZDScanner/DriverVersion"), u"1, 0, 0, 0");
  // The record read became the process's.
  EXPECT_EQ(uint32_t{CRZDScannerSettingsBase::NVMDataCopy().PadScanCount}, 101u);
}

TEST_F(DriverInfoTest, WithTheUnitHeldByAnotherProcessTheDocumentComesFromTheCache) {
  StartUnit();
  Control("counters pad=5");
  CScannerLLD driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  Event held = NamedEvent("held");
  Event release = NamedEvent("release");
  StartProbe({"open", "lock", "5000", "signal", "held", "wait", "release", "unlock", "close"});
  ASSERT_TRUE(WaitFor(held));
  Control("counters pad=77");  // the unit moved on; the process has not read it since
  TakeUnitLog();

  Bstr info;
  ASSERT_EQ(driver.GetScannerInfoString(info.Out()), 0u);
  EXPECT_EQ(TextAt(info.View(), u"/RZDScanner/PadScanCount"), u"5");
  EXPECT_EQ(TextAt(info.View(), u"/RZDScanner/PowerSaveTimeout"), u"15");
  EXPECT_TRUE(TakeUnitLog().empty());  // not a command while another process holds the unit
  EXPECT_EQ(driver.m_ulStatus, state::kOpen);
  release.Set();
  ASSERT_EQ(WaitProbe(0), 0);

  // Free again: the open object takes the unit for the call and reads it.
  ASSERT_EQ(driver.GetScannerInfoString(info.Out()), 0u);
  EXPECT_EQ(TextAt(info.View(), u"/RZDScanner/PadScanCount"), u"77");
  EXPECT_EQ(driver.m_ulStatus, state::kOpen);
  EXPECT_EQ(driver.CloseScanner(), 0u);
  EXPECT_EQ(driver.GetScannerInfoString(info.Out()), lld::kWrongSequence);
}

// The device path carries the unit's instance name in lower case; the document writes it as the
// unit's own serial number (its NVRAM record) when that is the same name. Anything else leaves
// the instance name as the path gives it.
TEST(SerialNumberTextTest, TheUnitsOwnCaseWhenItIsTheSameName) {
  struct Case {
    std::string nvram;  // up to 24 bytes, unended when 24
    std::u16string instance;
    std::u16string shown;
  };
  const std::string full24 = "AbCdEfGhIjKlMnOpQrStUvWx";
  for (const Case& c : {Case{"QM48TZ000001", u"qm48tz000001", u"QM48TZ000001"},
                        Case{"Qm48Tz000001", u"qm48tz000001", u"Qm48Tz000001"},
                        Case{full24, u"abcdefghijklmnopqrstuvwx", FromUtf8(full24)},
                        Case{"QM48TZ000009", u"qm48tz000001", u"qm48tz000001"},  // another unit's record
                        Case{"QM48TZ0000011", u"qm48tz000001", u"qm48tz000001"},
                        Case{"", u"qm48tz000001", u"qm48tz000001"},  // no record read yet
                        Case{"QM48TZ000001", u"7&0&1", u"7&0&1"},    // a unit without a USB serial
                        Case{"QM48TZ000001", u"", u""}}) {
    SCOPED_TRACE(c.nvram + " / " + ToUtf8(c.instance));
    ReduzidNVMData record{};
    std::memcpy(record.SerialNumber, c.nvram.data(), std::min(c.nvram.size(), sizeof record.SerialNumber));
    EXPECT_EQ(SerialNumberText(c.instance, record), c.shown);
  }
}

TEST_F(DriverInfoTest, TheTwainDataSourceVersionComesFromItsFile) {
  StartUnit();
  const std::filesystem::path text = RootPath() / "twain.ds";
  std::ofstream(text) << "not a program";
  struct Case {
    std::filesystem::path file;
    std::u16string version;
  };
  for (const Case& c : {Case{rzd::test::BinaryDir() / "rzd-engine", u"1, 0, 0, 0"}, Case{text, u"X, X, X, X"},
                        Case{RootPath() / "missing.ds", u"X, X, X, X"}}) {
    SCOPED_TRACE(c.file.string());
    RegKey key;
    ASSERT_EQ(RegKey::Open(Hive::LocalMachine, std::u16string(kImageClassKey) + u"\\0000", &key), ERROR_SUCCESS);
    ASSERT_EQ(key.SetString(u"TWAIN_DS_PATH", FromUtf8(c.file.string())), ERROR_SUCCESS);
    ASSERT_EQ(key.SetString(u"TWAIN_64_PATH", FromUtf8(c.file.string())), ERROR_SUCCESS);
    CScannerLLD driver(path_);
    EXPECT_EQ(driver.m_strTwainDSVersion, c.version);
  }
  EXPECT_EQ(GetFileVersionString(u""), u"X, X, X, X");
  EXPECT_EQ(GetFileVersionString(u"lowdrv_core_tests"), u"1, 0, 0, 0");  // beside the running program
}

}  // namespace
}  // namespace rzd::lowdrv::test
