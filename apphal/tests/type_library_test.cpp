// The type library carried by libapphal.so: its types as a browser shows them, the text form,
// and its registration.
#include "apphal/model_ids.h"
#include "apphal/scan_records.h"
#include "apphal/type_library.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "testsupport/file_bytes.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

namespace rzd::apphal {
namespace {

const std::filesystem::path kModule = RZD_APPHAL_LIBRARY;

class TypeLibraryTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override {
    module_ = Module::Load(kModule);
    ASSERT_TRUE(module_);
    std::optional<TypeLibrary> loaded = LoadTypeLibrary(kModule);
    ASSERT_TRUE(loaded);
    library_ = *loaded;
  }
  const TypeLibType& Type(std::string_view name) {
    const TypeLibType* type = library_.Find(name);
    EXPECT_NE(type, nullptr) << name;
    static const TypeLibType none;
    return type ? *type : none;
  }

  std::unique_ptr<Module> module_;
  TypeLibrary library_;
};

TEST_F(TypeLibraryTest, TheModuleCarriesTheLibraryWithItsTypesInOrder) {
  EXPECT_EQ(library_.name, "M48tzZQ4HALLib");
  EXPECT_EQ(FormatGuidA(library_.id), "{78A24A74-A616-4B7B-B98D-99C80D75EF6F}");
  EXPECT_EQ(library_.major, 1);
  EXPECT_EQ(library_.minor, 0);
  EXPECT_EQ(library_.locale, 0x409u);
  EXPECT_EQ(library_.importLib, "stdole2.tlb");
  std::vector<std::string> names;
  for (const TypeLibType& type : library_.types) names.push_back(type.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Scanner_M48tz", "IHardwareInterface", "_ZQSCANINFO", "_ZQSCANMODE",
                                             "_ZQSCANWINDOW", "_ZQCLRPRCSS", "_ZQSCANHRDW", "_ZQSCANCOMMAND",
                                             "_ZQSTATUS"}));
  EXPECT_EQ(library_, BuildModelTypeLibrary());
  // The generated file the resource was made of is the library's text, byte for byte.
  EXPECT_EQ(rzd::test::ReadBytes(RZD_APPHAL_TYPE_LIBRARY), WriteTypeLibrary(library_));

  const TypeLibType& coclass = Type("Scanner_M48tz");
  EXPECT_EQ(coclass.kind, TypeKind::Coclass);
  EXPECT_EQ(FormatGuidA(coclass.id), "{B347F188-417F-40D7-97B6-B4DA1CB8FE5E}");
  EXPECT_EQ(coclass.help, "Scanner_M48tz Class");
  EXPECT_EQ(coclass.related, "IHardwareInterface");
}

TEST_F(TypeLibraryTest, ScanInfoHasItsFortyNineFieldsAtTheirOffsets) {
  const TypeLibType& info = Type("_ZQSCANINFO");
  // The classic offsets; the four pointer-carrying fields widen in place in a 64-bit build.
  struct Expected {
    const char* name;
    const char* type;
    uint32_t classicOffset;
  } expected[] = {
      {"Flatbed", "long", 0},          {"Sheetfed", "long", 4},           {"ADF", "long", 8},
      {"TPA", "long", 12},             {"Endorser", "long", 16},          {"OpticalXResolution", "long", 20},
      {"OpticalYResolution", "long", 24}, {"MaxBitDepthPerPixel", "long", 28}, {"BedWidth", "long", 32},
      {"BedHeight", "long", 36},       {"ADFBedWidth", "long", 40},       {"ADFBedHeight", "long", 44},
      {"ADFMaxPages", "long", 48},     {"SupportedCompressionType", "long", 52}, {"SupportedDataTypes", "long", 56},
      {"WidthPixels", "long", 60},     {"WidthBytes", "long", 64},        {"Lines", "long", 68},
      {"DataType", "_ZQSCANMODE", 72}, {"PixelBits", "long", 76},         {"Intensity", "long", 80},
      {"Contrast", "long", 84},        {"Threshold", "long", 88},         {"Xresolution", "long", 92},
      {"Yresolution", "long", 96},     {"RedGamma", "long", 100},         {"GreenGamma", "long", 104},
      {"BlueGamma", "long", 108},      {"Window", "_ZQSCANWINDOW", 112},  {"ToneMapParams", "_ZQCLRPRCSS", 128},
      {"ScanHardware", "_ZQSCANHRDW", 156}, {"Duplex", "long", 160},      {"ColorDropOut", "long", 164},
      {"Negative", "long", 168},       {"Mirror", "LONG_PTR", 172},           {"AutoBack", "long", 176},
      {"ScanDirection", "LONG_PTR", 180}, {"Demoire", "long", 184},       {"ToneMap", "long", 188},
      {"Compression", "long", 192},    {"RawDataFormat", "LONG_PTR", 196}, {"RawPixelOrder", "long", 200},
      {"bNeedDataAlignment", "long", 204}, {"DelayBetweenRead", "long", 208}, {"MaxBufferSize", "long", 212},
      {"Value", "LONG_PTR", 216},      {"LinesScanned", "long", 220},     {"PagesScanned", "long", 224},
      {"ActiveSide", "long", 228},
  };
  const uint32_t wide = sizeof(void*) - 4;
  ASSERT_EQ(info.fields.size(), 49u);
  EXPECT_EQ(info.size, 232 + 4 * wide);
  EXPECT_EQ(info.size, sizeof(_ZQSCANINFO));
  uint32_t widened = 0;
  uint32_t end = 0;
  for (size_t i = 0; i < info.fields.size(); ++i) {
    const TypeLibField& field = info.fields[i];
    SCOPED_TRACE(field.name);
    EXPECT_EQ(field.name, expected[i].name);
    EXPECT_EQ(field.type, expected[i].type);
    EXPECT_EQ(field.offset, expected[i].classicOffset + widened);
    EXPECT_EQ(field.offset, end);  // no padding anywhere
    end = field.offset + field.size;
    if (field.type == "LONG_PTR") widened += wide;
  }
  EXPECT_EQ(end, info.size);
  EXPECT_EQ(info.fields[28].offset, 112u);  // Window
  EXPECT_EQ(info.fields[29].offset, 128u);  // ToneMapParams

  const TypeLibType& window = Type("_ZQSCANWINDOW");
  EXPECT_EQ(window.size, 16u);
  ASSERT_EQ(window.fields.size(), 4u);
  EXPECT_EQ(window.fields[3].name, "yExtent");
  EXPECT_EQ(window.fields[3].offset, 12u);
  const TypeLibType& tone = Type("_ZQCLRPRCSS");
  EXPECT_EQ(tone.size, 28u);
  ASSERT_EQ(tone.fields.size(), 7u);
  EXPECT_EQ(tone.fields[6].name, "GreyGamma");
  EXPECT_EQ(tone.fields[6].offset, 24u);
}

TEST_F(TypeLibraryTest, EnumerationsHaveEveryMemberAndValue) {
  auto value = [&](std::string_view enumeration, std::string_view member) -> std::optional<uint32_t> {
    for (const TypeLibMember& m : Type(enumeration).members) {
      if (m.name == member) return m.value;
    }
    return std::nullopt;
  };
  EXPECT_EQ(Type("_ZQSCANMODE").members.size(), 29u);
  EXPECT_EQ(Type("_ZQSCANHRDW").members.size(), 5u);
  EXPECT_EQ(Type("_ZQSCANCOMMAND").members.size(), 96u);
  EXPECT_EQ(Type("_ZQSTATUS").members.size(), 68u);

  EXPECT_EQ(value("_ZQSCANMODE", "ZQSCANMODE_SUPPORT_RZD_FLB_PRGSVIEW"), 0x80000000u);  // past INT32_MAX
  EXPECT_EQ(value("_ZQSCANHRDW", "ZQSCANHRDW_TRANSPARANCY"), 8u);
  const std::vector<TypeLibMember>& commands = Type("_ZQSCANCOMMAND").members;
  for (size_t n = 0; n < commands.size(); ++n) EXPECT_EQ(commands[n].value, 0x2301000u + n) << commands[n].name;
  EXPECT_EQ(commands.front().name, "ZQSCAN_INITIALIZE");
  EXPECT_EQ(commands.back().name, "ZQSCAN_SET_COLOR_CORRECTION");
  EXPECT_EQ(value("_ZQSCANCOMMAND", "ZQSCAN_SET_FRIENDLY_NUMBER"), 0x230103Fu);

  EXPECT_EQ(value("_ZQSTATUS", "ZQHARDWARE_STATUS_EXTINFO"), 0x1000000u);
  EXPECT_EQ(value("_ZQSTATUS", "ZQHARDWARE_STATUS_BUTTON04"), 0x1000000u);
  EXPECT_EQ(value("_ZQSTATUS", "ZQHARDWARE_STATUS_DFDRECONFIG"), 0xC0000004u);
  EXPECT_EQ(value("_ZQSTATUS", "ZQHARDWARE_STATUS_DRIVERBUSY"), 0xC0000004u);
  EXPECT_EQ(value("_ZQSTATUS", "ZQHARDWARE_STATUS_SYSTEMSTART"), 0xFFFFFFFFu);
  EXPECT_EQ(value("_ZQSTATUS", "ZQHARDWARE_STATUS_EVENT0A"), 0x40000u);
  EXPECT_EQ(value("_ZQSTATUS", "ZQHARDWARE_STATUS_CAL_INPROGRESS"), 0xFE00000u);
  for (const TypeLibMember& m : Type("_ZQSTATUS").members) EXPECT_NE(m.value, 0xC0000002u) << m.name;
  // Declared in the order of the list, not of the values.
  const std::vector<TypeLibMember>& status = Type("_ZQSTATUS").members;
  EXPECT_EQ(status[0].name, "ZQHARDWARE_STATUS_OK");
  EXPECT_EQ(status[1].name, "ZQHARDWARE_STATUS_FAIL");
  EXPECT_EQ(status[22].name, "ZQHARDWARE_STATUS_DRIVERBUSY");
  EXPECT_EQ(status.back().name, "ZQHARDWARE_STATUS_CAL_INPROGRESS");
}

TEST_F(TypeLibraryTest, TheInterfaceHasSeventeenMethods) {
  const TypeLibType& interface = Type("IHardwareInterface");
  EXPECT_EQ(FormatGuidA(interface.id), "{09B12B6B-ED59-40BE-A55E-4FFCDD29197F}");
  EXPECT_EQ(interface.related, "IUnknown");
  EXPECT_EQ(interface.help, "IHardwareInterface Interface");
  ASSERT_EQ(interface.methods.size(), 17u);
  std::vector<std::string> propertyGets;
  for (const TypeLibMethod& method : interface.methods) {
    if (method.kind == "propget") propertyGets.push_back(method.name);
    // Pointers are out-values, retval where last, except the in-out ones.
    for (size_t i = 0; i < method.params.size(); ++i) {
      const TypeLibParam& param = method.params[i];
      const bool pointer = param.type.back() == '*';
      const bool inOut = param.name == "pinfo" || param.name == "pBuf";
      if (!pointer) {
        EXPECT_EQ(param.direction, "in") << method.name << " " << param.name;
      } else if (inOut) {
        EXPECT_EQ(param.direction, "in,out") << method.name << " " << param.name;
      } else {
        EXPECT_EQ(param.direction, i + 1 == method.params.size() ? "out,retval" : "out")
            << method.name << " " << param.name;
      }
    }
  }
  EXPECT_EQ(propertyGets, (std::vector<std::string>{"HasISISSupport", "FriendlyName", "ISISDriverName", "EventCount",
                                                    "EventNames", "SupportedResolutions", "HasMFButton",
                                                    "SupportedImageCaps", "ShortName"}));
  EXPECT_EQ(interface.methods[10].name, "ScanCommand");
  EXPECT_EQ(interface.methods[16].name, "GetDevicePoperties");
}

TEST(TypeLibraryText, RefusesBrokenText) {
  const std::string good = WriteTypeLibrary(BuildModelTypeLibrary());
  ASSERT_TRUE(ParseTypeLibrary(good));
  struct Case {
    const char* name;
    std::string text;
  } cases[] = {
      {"empty", ""},
      {"no magic", "library X {78A24A74-A616-4B7B-B98D-99C80D75EF6F} 1.0 0x0409\n"},
      {"no library", "RZDTLB 1\n"},
      {"type before library", "RZDTLB 1\nenum E\n"},
      {"bad guid", "RZDTLB 1\nlibrary X {nope} 1.0 0x0409\n"},
      {"bad version", "RZDTLB 1\nlibrary X {78A24A74-A616-4B7B-B98D-99C80D75EF6F} 1 0x0409\n"},
      {"two libraries", "RZDTLB 1\nlibrary X {78A24A74-A616-4B7B-B98D-99C80D75EF6F} 1.0 0x0409\n"
                        "library X {78A24A74-A616-4B7B-B98D-99C80D75EF6F} 1.0 0x0409\n"},
      {"field outside", "RZDTLB 1\nlibrary X {78A24A74-A616-4B7B-B98D-99C80D75EF6F} 1.0 0x0409\nrecord R 8 4\n"
                        "field a long 6 4\n"},
      {"field overflow", "RZDTLB 1\nlibrary X {78A24A74-A616-4B7B-B98D-99C80D75EF6F} 1.0 0x0409\nrecord R 8 4\n"
                         "field a long 4294967295 4\n"},
      {"field without record", "RZDTLB 1\nlibrary X {78A24A74-A616-4B7B-B98D-99C80D75EF6F} 1.0 0x0409\nenum E\n"
                               "field a long 0 4\n"},
      {"member not hex", "RZDTLB 1\nlibrary X {78A24A74-A616-4B7B-B98D-99C80D75EF6F} 1.0 0x0409\nenum E\n"
                         "member A 12\n"},
      {"member too big", "RZDTLB 1\nlibrary X {78A24A74-A616-4B7B-B98D-99C80D75EF6F} 1.0 0x0409\nenum E\n"
                         "member A 0x100000000\n"},
      {"param without method", "RZDTLB 1\nlibrary X {78A24A74-A616-4B7B-B98D-99C80D75EF6F} 1.0 0x0409\n"
                               "interface I {09B12B6B-ED59-40BE-A55E-4FFCDD29197F} \"I\" IUnknown\nparam in long x\n"},
      {"open quote", "RZDTLB 1\nlibrary X {78A24A74-A616-4B7B-B98D-99C80D75EF6F} 1.0 0x0409\n"
                     "interface I {09B12B6B-ED59-40BE-A55E-4FFCDD29197F} \"I IUnknown\n"},
      {"type named twice", "RZDTLB 1\nlibrary X {78A24A74-A616-4B7B-B98D-99C80D75EF6F} 1.0 0x0409\nenum E\nenum E\n"},
      {"unknown line", "RZDTLB 1\nlibrary X {78A24A74-A616-4B7B-B98D-99C80D75EF6F} 1.0 0x0409\ntypedef x\n"},
      {"control character", "RZDTLB 1\nlibrary X {78A24A74-A616-4B7B-B98D-99C80D75EF6F} 1.0 0x0409\nenum E\x01\n"},
      {"too large", "RZDTLB 1\n" + std::string(kMaxTypeLibraryBytes, '\n')},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseTypeLibrary(c.text, &error)) << c.name;
    EXPECT_FALSE(error.empty()) << c.name;
  }
}

TEST_F(TypeLibraryTest, RegistrationWritesTheLibraryKeyAndRemovesIt) {
  const std::u16string key = u"TypeLib\\{78A24A74-A616-4B7B-B98D-99C80D75EF6F}";
  const char16_t* platform = sizeof(void*) == 8 ? u"\\1.0\\409\\win64" : u"\\1.0\\409\\win32";
  ASSERT_EQ(RegisterTypeLibrary(kModule, false), S_OK);
  std::u16string text;
  RegKey version;
  ASSERT_EQ(RegKey::Open(Hive::LocalMachine, u"SOFTWARE\\Classes\\" + key + u"\\1.0", &version), ERROR_SUCCESS);
  EXPECT_EQ(version.GetString(u"", &text), ERROR_SUCCESS);
  EXPECT_EQ(text, u"M48tzZQ4HALLib");
  RegKey path;
  ASSERT_EQ(RegKey::Open(Hive::ClassesRoot, key + platform, &path), ERROR_SUCCESS);
  EXPECT_EQ(path.GetString(u"", &text), ERROR_SUCCESS);
  EXPECT_EQ(text, kModule.u16string());
  RegKey flags, helpDir;
  ASSERT_EQ(RegKey::Open(Hive::ClassesRoot, key + u"\\1.0\\FLAGS", &flags), ERROR_SUCCESS);
  EXPECT_EQ(flags.GetString(u"", &text), ERROR_SUCCESS);
  EXPECT_EQ(text, u"0");
  ASSERT_EQ(RegKey::Open(Hive::ClassesRoot, key + u"\\1.0\\HELPDIR", &helpDir), ERROR_SUCCESS);
  EXPECT_EQ(helpDir.GetString(u"", &text), ERROR_SUCCESS);
  EXPECT_EQ(text, kModule.parent_path().u16string());

  // Another version of the library keeps its key.
  RegKey other;
  ASSERT_EQ(RegKey::Create(Hive::ClassesRoot, key + u"\\1.1", &other), ERROR_SUCCESS);
  other.Close();
  version.Close();
  path.Close();
  flags.Close();
  helpDir.Close();
  ASSERT_EQ(UnregisterTypeLibrary(kModule, false), S_OK);
  RegKey gone;
  EXPECT_EQ(RegKey::Open(Hive::ClassesRoot, key + u"\\1.0", &gone), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegKey::Open(Hive::ClassesRoot, key + u"\\1.1", &gone), ERROR_SUCCESS);
  gone.Close();
  ASSERT_EQ(RegKey::DeleteKey(Hive::ClassesRoot, key + u"\\1.1"), ERROR_SUCCESS);
  ASSERT_EQ(RegisterTypeLibrary(kModule, false), S_OK);
  ASSERT_EQ(UnregisterTypeLibrary(kModule, false), S_OK);
  EXPECT_EQ(RegKey::Open(Hive::ClassesRoot, key, &gone), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegKey::Open(Hive::ClassesRoot, u"TypeLib", &gone), ERROR_SUCCESS);  // never removed
}

TEST_F(TypeLibraryTest, PerUserRegistrationStaysWithTheUser) {
  ASSERT_EQ(RegisterTypeLibrary(kModule, true), S_OK);
  RegKey key;
  EXPECT_EQ(RegKey::Open(Hive::CurrentUser, u"Software\\Classes\\TypeLib\\{78A24A74-A616-4B7B-B98D-99C80D75EF6F}\\1.0",
                         &key),
            ERROR_SUCCESS);
  key.Close();
  EXPECT_EQ(RegKey::Open(Hive::LocalMachine, u"SOFTWARE\\Classes\\TypeLib\\{78A24A74-A616-4B7B-B98D-99C80D75EF6F}", &key),
            ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(UnregisterTypeLibrary(kModule, true), S_OK);
  EXPECT_EQ(RegKey::Open(Hive::CurrentUser, u"Software\\Classes\\TypeLib\\{78A24A74-A616-4B7B-B98D-99C80D75EF6F}", &key),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(TypeLibraryTest, AModuleWithoutALibraryCannotBeRegistered) {
  EXPECT_EQ(RegisterTypeLibrary(RZD_PLATFORM_LIBRARY, false), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(UnregisterTypeLibrary("/nonexistent/apphal.so", false), TYPE_E_CANTLOADLIBRARY);
}

}  // namespace
}  // namespace rzd::apphal
