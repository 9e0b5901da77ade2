// The documents of the entry points: the device list over simulated units, the namespace list,
// the schema code, and the `Result` document with the text of every driver result code.
#include "api/local_documents.h"
#include "api_fixture.h"
#include "engine/sim_unit.h"
#include "engine/unit_server.h"
#include "lowdrv/engine/model_ids.h"

#include "platform/devices.h"

#include <memory>
#include <string>
#include <vector>

namespace rzd::lowdrv::test {
namespace {

std::u16string DeviceListText() {
  BSTR list = nullptr;
  BSTR error = nullptr;
  EXPECT_TRUE(Control(nullptr, cc::kDeviceList, nullptr, &list, nullptr, 0, nullptr, nullptr, &error));
  EXPECT_EQ(error, nullptr);  // a local code writes no document
  std::u16string text(BstrView(list));
  SysFreeString(list);
  return text;
}

// A simulated unit of the model serving in this process, present in the device table.
struct RunningUnit {
  RunningUnit(uint32_t instance, const std::string& serial)
      : unit(engine::SimUnitOptions{.serialNumber = serial}),
        server(unit, engine::ModelUnitOptions(instance, serial, u"Quarx M48tz Scanner")) {
    EXPECT_EQ(server.Start(), ERROR_SUCCESS);
  }
  std::u16string Path() const { return server.Entry().interfacePath; }
  engine::SimUnit unit;
  engine::UnitServer server;
};

class DocumentsTest : public ApiTest {};

TEST_F(DocumentsTest, DeviceListWithoutUnitsIsHeadAndTail) {
  EXPECT_EQ(DeviceListText(), u"<DeviceList ScannerModel=\"M48tz\">\r\n</DeviceList>");
}

TEST_F(DocumentsTest, DeviceListWithOneUnit) {
  RunningUnit first(1, "QM48TZ000001");
  EXPECT_EQ(first.Path(), UnitPath(u"qm48tz000001"));
  EXPECT_EQ(DeviceListText(),
            u"<DeviceList ScannerModel=\"M48tz\">\r\n"
            u"\t<DeviceID ID=\"0\"><![CDATA[\\\\?\\usb#vid_2e5a&pid_0148#qm48tz000001#"
            u"{6bdd1fc6-810f-11d0-bec7-08002be2092f}]]></DeviceID>\r\n"
            u"</DeviceList>");
}

TEST_F(DocumentsTest, DeviceListWithTwoUnitsNumbersThemInDiscoveryOrder) {
  RunningUnit first(1, "QM48TZ000001");
  RunningUnit second(2, "QM48TZ000002");
  // A unit of another maker on the same class is not listed.
  UsbImageDevice other;
  other.vendorId = 0x1234;
  other.productId = kModelUsbProductId;
  other.serialNumber = u"OTHER1";
  other.instance = 3;
  ASSERT_EQ(AddDevice(MakeUsbImageDevice(other)), ERROR_SUCCESS);

  EXPECT_EQ(DeviceListText(), u"<DeviceList ScannerModel=\"M48tz\">\r\n"
                              u"\t<DeviceID ID=\"0\"><![CDATA[" + first.Path() + u"]]></DeviceID>\r\n"
                              u"\t<DeviceID ID=\"1\"><![CDATA[" + second.Path() + u"]]></DeviceID>\r\n"
                              u"</DeviceList>");

  // A unit that goes away leaves the list; the other is number 0 now.
  first.server.Stop();
  EXPECT_EQ(DeviceListText(), u"<DeviceList ScannerModel=\"M48tz\">\r\n"
                              u"\t<DeviceID ID=\"0\"><![CDATA[" + second.Path() + u"]]></DeviceID>\r\n"
                              u"</DeviceList>");
}

TEST_F(DocumentsTest, NamespaceListText) {
  BSTR list = nullptr;
  BSTR error = nullptr;
  ASSERT_TRUE(Control(nullptr, cc::kNamespaceList, nullptr, &list, nullptr, 0, nullptr, nullptr, &error));
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(BstrView(list),
            u"<NamespaceList>"
            u"         <Namespace>http://www.corvanite.com/xmlschemas/1.0/Scanner</Namespace>"
            u"         <Namespace>http://www.corvanite.com/xmlschemas/1.0/RZDTypes</Namespace>"
            u"         <Namespace>http://www.corvanite.com/xmlschemas/1.0/Transform</Namespace>"
            u"         <Namespace>http://www.corvanite.com/xmlschemas/1.0/Document</Namespace>"
            u"       </NamespaceList>");
  SysFreeString(list);
}

TEST_F(DocumentsTest, SchemaCodeKnowsTheFourNamespacesAndCarriesNoSchema) {
  struct Case {
    std::u16string uri;
    LLDError result;
  };
  const Case cases[] = {
      {u"http://www.corvanite.com/xmlschemas/1.0/Scanner", 0x8002},
      {u"http://www.corvanite.com/xmlschemas/1.0/RZDTypes", 0x8002},
      {u"http://www.corvanite.com/xmlschemas/1.0/Transform", 0x8002},
      {u"http://www.corvanite.com/xmlschemas/1.0/Document", 0x8002},
      {u"HTTP://WWW.CORVANITE.COM/xmlschemas/1.0/Scanner", 0x8005},  // compared exactly
      {u"http://www.corvanite.com/xmlschemas/1.0/Scanner/", 0x8005},
      {u"", 0x8005},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.uri));
    BSTR schema = nullptr;
    BSTR error = nullptr;
    EXPECT_EQ(api::ControlCall(nullptr, cc::kSchema, c.uri.c_str(), &schema, nullptr, 0, nullptr, nullptr, &error),
              c.result);
    EXPECT_EQ(schema, nullptr);
    EXPECT_EQ(error, nullptr);
  }
  // The list and the schema code name the same four URIs.
  const std::u16string list = api::MakeNamespaceListDocument();
  for (const api::SchemaNamespace& ns : api::kSchemaNamespaces) {
    EXPECT_NE(list.find(u"<Namespace>" + std::u16string(ns.uri) + u"</Namespace>"), std::u16string::npos);
  }
}

// Every driver result code's document, as Control writes it into the error slot.
TEST_F(DocumentsTest, ErrorDocumentOfEveryResultCode) {
  void* handle = Open();
  ASSERT_NE(handle, nullptr);
  state_->otherText = u"Text of the driver object";
  LLDError answer = 0;
  state_->onControl = [&](uint32_t, void*, uint32_t) { return answer; };
  struct Case {
    LLDError code;
    std::u16string document;
  };
  const Case cases[] = {
      {0, u"<Result><ErrorCode>0</ErrorCode><Description>Text of the driver object</Description></Result>"},
      {2, u"<Result><ErrorCode>2</ErrorCode><Description>An item is jammed in the scanner.</Description></Result>"},
      {75, u"<Result><ErrorCode>75</ErrorCode><Description>The ADF cable is not securely plugged into the base of "
           u"the scanner.</Description></Result>"},
      {0x8000, u"<Result><ErrorCode>32768</ErrorCode><Description>Cannot connect to the scanner.</Description>"
               u"</Result>"},
      {0x8001, u"<Result><ErrorCode>32769</ErrorCode><Description>The scanner did not respond within a specified time "
               u"period.</Description></Result>"},
      {0x8002, u"<Result><ErrorCode>32770</ErrorCode><Description>The LLD has stopped responding or an unexpected "
               u"error has occurred.</Description></Result>"},
      {0x8003, u"<Result><ErrorCode>32771</ErrorCode><Description>An invalid device handle has been passed to the "
               u"LLD.</Description></Result>"},
      {0x8004, u"<Result><ErrorCode>32772</ErrorCode><Description>An invalid XML string has been passed to the "
               u"LLD.</Description></Result>"},
      {0x8005, u"<Result><ErrorCode>32773</ErrorCode><Description>An LLD function has received an invalid "
               u"parameter.</Description></Result>"},
      {0x8006, u"<Result><ErrorCode>32774</ErrorCode><Description>An XML string has an invalid value.</Description>"
               u"</Result>"},
      {0x8007, u"<Result><ErrorCode>32775</ErrorCode><Description>Wrong command sequence</Description></Result>"},
      {0x8008, u"<Result><ErrorCode>32776</ErrorCode><Description>The scanner is in use by another "
               u"application.</Description></Result>"},
      {0x8009, u"<Result><ErrorCode>32777</ErrorCode><Description>The LLD cannot allocate enough memory to complete "
               u"the operation.</Description></Result>"},
      {0x800A, u"<Result><ErrorCode>32778</ErrorCode><Description>The requested function is not implemented in the "
               u"LLD.</Description></Result>"},
      {0x800B, u"<Result><ErrorCode>32779</ErrorCode><Description>The scanner lamp is warming up.</Description>"
               u"</Result>"},
      {0x800C, u"<Result><ErrorCode>32780</ErrorCode><Description>The LLD accepted the settings but at least one "
               u"value was adjusted to an allowed value.</Description></Result>"},
      // Other codes take the driver object's text (the engine's sense texts for the model driver).
      {7, u"<Result><ErrorCode>7</ErrorCode><Description>Text of the driver object</Description></Result>"},
      {77, u"<Result><ErrorCode>77</ErrorCode><Description>Text of the driver object</Description></Result>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    answer = c.code;
    uint32_t status = 0;
    uint32_t size = sizeof status;
    BSTR error = nullptr;
    EXPECT_EQ(Control(handle, cc::kStatus, nullptr, nullptr, nullptr, 0, &status, &size, &error),
              c.code == 0 ? TRUE : FALSE);
    EXPECT_EQ(BstrView(error), c.document);
    SysFreeString(error);
  }
}

TEST_F(DocumentsTest, ReadFailureDocumentGoesIntoTheMetadataSlot) {
  void* handle = Open();
  state_->onRead = [](uint8_t*, uint32_t* size, BSTR* meta, uint32_t*) {
    *meta = AllocBstr(u"<Result>partial page</Result>");  // written by the driver before it failed
    *size = 0;
    return LLDError{0x8001};
  };
  uint8_t buffer[4] = {};
  uint32_t size = sizeof buffer;
  uint32_t boundary = 0;
  BSTR meta = nullptr;
  EXPECT_FALSE(Read(handle, buffer, &size, &meta, &boundary));
  EXPECT_EQ(BstrView(meta), u"<Result><ErrorCode>32769</ErrorCode><Description>The scanner did not respond within a "
                            u"specified time period.</Description></Result>");
  SysFreeString(meta);
}

}  // namespace
}  // namespace rzd::lowdrv::test
