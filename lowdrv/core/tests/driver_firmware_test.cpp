// Firmware writing against the simulated unit: documents and buffers refused before anything is
// sent, a good image that changes the unit's revision, the checksum record, and the firmware the
// driver carries.
#include "driver/firmware_check.h"
#include "maintenance_fixture.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace rzd::lowdrv::test {
namespace {

using DriverFirmwareTest = MaintenanceTest;

const std::string kFlashSend = SendBlockOf(0x86);

std::vector<uint8_t> ReadFile(const std::string& name) {
  std::ifstream in(std::string(RZD_FIRMWARE_DATA_DIR) + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::u16string FirmwareDocument(const std::string& master, const std::string& slave) {
  return FromUtf8("<Firmware><Master " + master + "/><Slave " + slave + "/></Firmware>");
}

// The unit's firmware revision, from its state line.
std::string Revision(const std::string& state) {
  const size_t at = state.find("revision=");
  return at == std::string::npos ? std::string() : state.substr(at + 9, 4);
}

// The model driver, allowed to update; the tests carry its firmware images (129 and 130).
class UpdatingDriver : public CScannerLLD {
 public:
  using CScannerLLD::CScannerLLD;
  BOOL LLDHookB() override { return TRUE; }
};

TEST(FirmwareChecksum, TheSumGoesLeastSignificantByteFirstThenTheIdentifier) {
  CScannerLLD driver(u"\\\\?\\usb#vid_2e5a&pid_0148#qm48tz000001#{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
  std::vector<uint8_t> counting(100);
  for (size_t i = 0; i < counting.size(); ++i) counting[i] = static_cast<uint8_t>(i);  // sum 4950
  std::vector<uint8_t> ones(300, 0xFF);  // with the two letters below: sum 0x12981
  ones[0] = 'Q';
  ones[5] = 'Z';
  struct Case {
    const std::vector<uint8_t>* part;
    std::vector<uint8_t> record;
  };
  for (const Case& c : {Case{&counting, {0x56, 0x13, 0x00, 0x00, 0, 1, 2, 3, 4, 5}},
                        Case{&ones, {0x81, 0x29, 0x01, 0x00, 'Q', 0xFF, 0xFF, 0xFF, 0xFF, 'Z'}}}) {
    uint8_t record[12] = {};
    uint32_t size = sizeof record;
    ASSERT_EQ(driver.ComputeFirmwareChecksum(c.part->data(), static_cast<uint32_t>(c.part->size()), record, &size), 0u);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(std::vector<uint8_t>(record, record + 10), c.record);
  }
  uint8_t record[10] = {};
  uint32_t size = 9;
  EXPECT_EQ(driver.ComputeFirmwareChecksum(counting.data(), 100, record, &size), 15u);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(driver.ComputeFirmwareChecksum(counting.data(), 5, record, &size), lld::kInvalidParameter);
}

TEST(FirmwareLayout, EveryPartMustLieInsideTheBuffer) {
  using firmware::CheckLocation;
  using firmware::Layout;
  EXPECT_EQ(CheckLocation(Layout{{0, 64}, {64, 48}}, 112), nullptr);
  EXPECT_EQ(CheckLocation(Layout{{48, 64}, {0, 48}}, 112), nullptr);
  // Sizes that add up, apart, one at 0, yet the slave reads 50 bytes past the end.
  EXPECT_NE(CheckLocation(Layout{{0, 100}, {150, 100}}, 200), nullptr);
  EXPECT_NE(CheckLocation(Layout{{0, 100}, {100, 100}}, 199), nullptr);
  EXPECT_NE(CheckLocation(Layout{{0, 100}, {50, 100}}, 200), nullptr);
  EXPECT_NE(CheckLocation(Layout{{1, 100}, {101, 100}}, 200), nullptr);

  struct Case {
    std::u16string document;
    bool accepted;
  };
  for (const Case& c : {Case{FirmwareDocument("Size=\"64\" Offset=\"0\"", "Size=\"48\" Offset=\"64\""), true},
                        Case{FirmwareDocument("Size=\" 64 \" Offset=\"0\"", "Size=\"48\" Offset=\"64\""), true},
                        Case{FirmwareDocument("Size=\"64\" Offset=\"0\"", "Size=\"22\" Offset=\"64\""), true},
                        Case{FirmwareDocument("Size=\"33\" Offset=\"0\"", "Size=\"48\" Offset=\"33\""), true},
                        Case{FirmwareDocument("Size=\"64abc\" Offset=\"0\"", "Size=\"48\" Offset=\"64\""), false},
                        Case{FirmwareDocument("Size=\"+64\" Offset=\"0\"", "Size=\"48\" Offset=\"64\""), false},
                        Case{FirmwareDocument("Size=\"\" Offset=\"0\"", "Size=\"48\" Offset=\"64\""), false},
                        Case{FirmwareDocument("Size=\"64\" Offset=\"0\"", "Size=\"48\" Offset=\"1234567890123456789\""), false}}) {
    SCOPED_TRACE(ToUtf8(c.document));
    EXPECT_EQ(firmware::ReadLayout(c.document, firmware::SlavePart::Required).failure == nullptr, c.accepted);
  }
}

// The slave part is required only of a driver with a slave image: without one a document may
// name the master alone, and a slave it names is read as given.
TEST(FirmwareLayout, TheSlaveIsRequiredOnlyWithASlaveImage) {
  using firmware::SlavePart;
  const std::u16string masterOnly = u"<Firmware><Master Size=\"64\" Offset=\"0\"/></Firmware>";
  const std::u16string both = FirmwareDocument("Size=\"64\" Offset=\"0\"", "Size=\"48\" Offset=\"64\"");
  const std::u16string badSlave = FirmwareDocument("Size=\"64\" Offset=\"0\"", "Size=\"21\" Offset=\"64\"");

  const firmware::LayoutResult required = firmware::ReadLayout(masterOnly, SlavePart::Required);
  ASSERT_NE(required.failure, nullptr);
  EXPECT_EQ(std::u16string(required.failure), u"WriteFirmware failed because SetContext(/Firmware/Slave)");

  const firmware::LayoutResult alone = firmware::ReadLayout(masterOnly, SlavePart::Optional);
  EXPECT_EQ(alone.failure, nullptr);
  EXPECT_EQ(alone.layout.master.size, 64u);
  EXPECT_EQ(alone.layout.slave.size, 0u);
  EXPECT_EQ(firmware::CheckLocation(alone.layout, 64), nullptr);
  EXPECT_NE(firmware::CheckLocation(alone.layout, 112), nullptr);

  const firmware::LayoutResult given = firmware::ReadLayout(both, SlavePart::Optional);
  EXPECT_EQ(given.failure, nullptr);
  EXPECT_EQ(given.layout.slave.offset, 64u);
  EXPECT_EQ(given.layout.slave.size, 48u);
  const firmware::LayoutResult small = firmware::ReadLayout(badSlave, SlavePart::Optional);
  ASSERT_NE(small.failure, nullptr);
  EXPECT_EQ(std::u16string(small.failure), u"WriteFirmware failed because GetAttribute(Slave/Size)");
  // A master alone of an offset other than 0 does not fit.
  const std::u16string shifted = u"<Firmware><Master Size=\"64\" Offset=\"8\"/></Firmware>";
  const firmware::LayoutResult moved = firmware::ReadLayout(shifted, SlavePart::Optional);
  EXPECT_EQ(moved.failure, nullptr);
  EXPECT_NE(firmware::CheckLocation(moved.layout, 64), nullptr);
  EXPECT_NE(firmware::CheckLocation(moved.layout, 72), nullptr);
}

TEST_F(DriverFirmwareTest, BadDocumentsAndBuffersAreRefusedBeforeAnythingIsSent) {
  StartUnit();
  CScannerLLD driver(path_);
  OpenAndLock(driver);
  const std::vector<uint8_t> master = ReadFile("firmware_master.bin");
  const std::vector<uint8_t> slave = ReadFile("firmware_slave.bin");
  ASSERT_EQ(master.size(), 64u);
  ASSERT_EQ(slave.size(), 48u);
  std::vector<uint8_t> image = master;
  image.insert(image.end(), slave.begin(), slave.end());
  const std::string good = "Size=\"64\" Offset=\"0\"";
  const std::string goodSlave = "Size=\"48\" Offset=\"64\"";
  auto with = [&](size_t at, const char* text) {
    std::vector<uint8_t> copy = image;
    std::memcpy(copy.data() + at, text, std::strlen(text));
    return copy;
  };

  struct Case {
    const char* name;
    std::u16string document;
    std::vector<uint8_t> buffer;
  };
  const std::vector<Case> cases = {
      {"not XML", u"<Firmware>", image},
      {"no document", u"", image},
      {"no master", u"<Firmware><Slave Size=\"48\" Offset=\"64\"/></Firmware>", image},
      {"a master of 32 bytes", FirmwareDocument("Size=\"32\" Offset=\"0\"", "Size=\"80\" Offset=\"32\""), image},
      {"a size that is no number", FirmwareDocument("Size=\"6x4\" Offset=\"0\"", goodSlave), image},
      {"no master offset", FirmwareDocument("Size=\"64\"", goodSlave), image},
      {"a negative offset", FirmwareDocument("Size=\"64\" Offset=\"-1\"", goodSlave), image},
      {"no slave", u"<Firmware><Master Size=\"64\" Offset=\"0\"/></Firmware>", image},
      {"a slave too small for its text", FirmwareDocument("Size=\"91\" Offset=\"0\"", "Size=\"21\" Offset=\"91\""), image},
      {"sizes that do not add up to the buffer", FirmwareDocument(good, "Size=\"40\" Offset=\"64\""), image},
      {"overlapping parts", FirmwareDocument(good, "Size=\"48\" Offset=\"60\""), image},
      {"neither part at offset 0", FirmwareDocument("Size=\"64\" Offset=\"1\"", "Size=\"48\" Offset=\"65\""), image},
      {"a slave past the end of the buffer",
       FirmwareDocument("Size=\"100\" Offset=\"0\"", "Size=\"100\" Offset=\"150\""), std::vector<uint8_t>(200, 0)},
      {"an offset that would wrap", FirmwareDocument(good, "Size=\"48\" Offset=\"18446744073709551615\""), image},
      {"different identifiers", FirmwareDocument(good, goodSlave), with(64, "QMF202")},
      {"a master without its text", FirmwareDocument(good, goodSlave), with(8, "MASTER")},
      {"a slave without its text", FirmwareDocument(good, goodSlave), with(72, "SLAVE")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TakeUnitLog();
    std::vector<uint8_t> buffer = c.buffer;
    EXPECT_EQ(driver.DoControlCode(cc::kWriteFirmware, c.document.c_str(), nullptr, buffer.data(),
                                   static_cast<uint32_t>(buffer.size()), nullptr, nullptr),
              lld::kInvalidXmlValue);
    EXPECT_TRUE(TakeUnitLog().empty());
  }
  EXPECT_EQ(Revision(Control("state")), "1.00");
  // Not locked: out of sequence, nothing sent.
  EXPECT_EQ(driver.UnlockScanner(), 0u);
  TakeUnitLog();
  EXPECT_EQ(driver.WriteFirmware(image.data(), static_cast<uint32_t>(image.size()), FirmwareDocument(good, goodSlave).c_str()),
            lld::kWrongSequence);
  EXPECT_TRUE(TakeUnitLog().empty());
}

TEST_F(DriverFirmwareTest, AGoodImageChangesTheUnitsRevision) {
  StartUnit();
  CScannerLLD driver(path_);
  OpenAndLock(driver);
  const std::vector<uint8_t> master = ReadFile("firmware_master.bin");
  const std::vector<uint8_t> slave = ReadFile("firmware_slave.bin");
  // The slave first, then the master: the document says where each lies.
  std::vector<uint8_t> image = slave;
  image.insert(image.end(), master.begin(), master.end());
  TakeUnitLog();
  ASSERT_EQ(driver.WriteFirmware(image.data(), static_cast<uint32_t>(image.size()),
                                 FirmwareDocument("Size=\"64\" Offset=\"48\"", "Size=\"48\" Offset=\"0\"").c_str()),
            0u);
  const std::vector<std::string> log = TakeUnitLog();
  EXPECT_EQ(CountBlocks(log, kFlashSend), 4u);  // master, its checksum, slave, its checksum
  EXPECT_EQ(Revision(Control("state")), "2.01");
  EXPECT_EQ(driver.m_ReduzidScanner.m_ulCmdTimeout, driver.m_ulCmdTimeout);

  // A send the unit refuses: its code, the rest not sent, the time-out back.
  Control("refuse send 86 once");
  TakeUnitLog();
  EXPECT_EQ(driver.WriteFirmware(image.data(), static_cast<uint32_t>(image.size()),
                                 FirmwareDocument("Size=\"64\" Offset=\"48\"", "Size=\"48\" Offset=\"0\"").c_str()),
            35u);
  EXPECT_EQ(CountBlocks(TakeUnitLog(), kFlashSend), 1u);
  EXPECT_EQ(driver.m_ReduzidScanner.m_ulCmdTimeout, driver.m_ulCmdTimeout);
}

TEST_F(DriverFirmwareTest, TheDriversOwnFirmwareIsWrittenOnlyWhereItMayBeAndDiffers) {
  StartUnit();
  {
    // The model's description does not allow updates.
    CScannerLLD model(path_);
    OpenAndLock(model);
    TakeUnitLog();
    EXPECT_EQ(model.DoControlCode(cc::kWriteDefaultFirmware, nullptr, nullptr, nullptr, 0, nullptr, nullptr),
              lld::kNotImplemented);
    EXPECT_TRUE(TakeUnitLog().empty());
  }
  UpdatingDriver driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  ASSERT_TRUE(driver.Settings()->m_bCanUpdateFirmware);
  // Opened, not locked: flashing waits for the lock.
  TakeUnitLog();
  EXPECT_EQ(driver.WriteDefaultFirmware(), lld::kWrongSequence);
  EXPECT_TRUE(TakeUnitLog().empty());
  const uint32_t timeout = 5000;
  ASSERT_EQ(driver.LockScanner(&timeout, sizeof timeout), 0u);
  // The unit runs the default version already: nothing to do.
  driver.Settings()->m_strDefaultFirmwareVersion = driver.m_strFirmwareVersion;
  EXPECT_EQ(driver.WriteDefaultFirmware(), 0u);
  EXPECT_TRUE(TakeUnitLog().empty());
  // Another version: the images are written.
  driver.Settings()->m_strDefaultFirmwareVersion = u"2.01";
  EXPECT_EQ(driver.WriteDefaultFirmware(), 0u);
  EXPECT_EQ(CountBlocks(TakeUnitLog(), kFlashSend), 4u);
  EXPECT_EQ(Revision(Control("state")), "2.01");
  // Without images (the delivered library's case) nothing is sent and that is no failure.
  driver.m_uFirmwareMasterResource = 0;
  EXPECT_EQ(driver.WriteDefaultFirmware(), 0u);
  driver.m_uFirmwareMasterResource = kModelFirmwareMasterResource;
  driver.m_uFirmwareSlaveResource = 9131;  // a slave the library lacks
  EXPECT_EQ(driver.WriteDefaultFirmware(), 0u);
  EXPECT_TRUE(TakeUnitLog().empty());
  // A driver without a slave image writes the master alone.
  driver.m_uFirmwareSlaveResource = 0;
  driver.Settings()->m_strDefaultFirmwareVersion = u"2.02";
  EXPECT_EQ(driver.WriteDefaultFirmware(), 0u);
  EXPECT_EQ(CountBlocks(TakeUnitLog(), kFlashSend), 2u);  // the master and its checksum
}

// The model's driver needs the slave part named in the caller's document; a driver without a
// slave image takes a document that names the master alone and sends the master only.
TEST_F(DriverFirmwareTest, TheSlavePartIsRequiredAsTheSlaveImageIdentifierSays) {
  StartUnit();
  CScannerLLD driver(path_);
  OpenAndLock(driver);
  const std::vector<uint8_t> master = ReadFile("firmware_master.bin");
  ASSERT_EQ(master.size(), 64u);
  const std::u16string masterOnly = u"<Firmware><Master Size=\"64\" Offset=\"0\"/></Firmware>";
  std::vector<uint8_t> buffer = master;

  TakeUnitLog();
  EXPECT_EQ(driver.DoControlCode(cc::kWriteFirmware, masterOnly.c_str(), nullptr, buffer.data(),
                                 static_cast<uint32_t>(buffer.size()), nullptr, nullptr),
            lld::kInvalidXmlValue);
  EXPECT_TRUE(TakeUnitLog().empty());

  driver.m_uFirmwareSlaveResource = 0;
  EXPECT_EQ(driver.DoControlCode(cc::kWriteFirmware, masterOnly.c_str(), nullptr, buffer.data(),
                                 static_cast<uint32_t>(buffer.size()), nullptr, nullptr),
            0u);
  const std::vector<std::string> log = TakeUnitLog();
  ASSERT_EQ(CountBlocks(log, kFlashSend), 2u);  // the master and its checksum, no slave
  EXPECT_EQ(Revision(Control("state")), "2.01");
}

}  // namespace
}  // namespace rzd::lowdrv::test
