#include "platform/registrar.h"

#include "platform/registry.h"
#include "platform/text.h"
#include "registry_tree.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

namespace rzd {
namespace {

using test::RegistryTree;

class RegistrarTest : public test::TempRoot {
 protected:
  // Everything in the registry, for "nothing changed" checks.
  static std::string Everything() {
    return RegistryTree(Hive::LocalMachine, u"") + "----\n" + RegistryTree(Hive::Users, u"");
  }
};

// A class registration in the shape the servers of the system use.
constexpr const char16_t* kClassScript = uR"(HKCR
{
	NoRemove AppID
	{
		'%APPID%' = s '%NAME%'
		'%NAME%.DLL'
		{
			val AppID = s '%APPID%'
		}
	}
	RZDHAL%SHORT_NAME%InProc.RZDHAL%SHORT_NAME%InProc.1 = s 'RZDHAL%SHORT_NAME%InProc Class'
	{
		CLSID = s '%HAL_CLSID%'
	}
	NoRemove CLSID
	{
		ForceRemove %HAL_CLSID% = s 'RZDHAL%SHORT_NAME%InProc Class'
		{
			ProgID = s 'RZDHAL%SHORT_NAME%InProc.RZDHAL%SHORT_NAME%InProc.1'
			ForceRemove Programmable
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Both'
			}
			TypeLib = s '%TLB_ID%'
			'Implemented Categories'
			{
				'%CATEGORY%'
			}
		}
	}
}
HKEY_LOCAL_MACHINE
{
	NoRemove SOFTWARE
	{
		NoRemove Corvanite
		{
			NoRemove val Kept = s 'stays'
			val Gone = s 'goes'
			M48tz
			{
				val SleepTime = d '15'
				val Flags = d '0x10'
				val Blob = b '00 ff 10'
			}
		}
	}
}
)";

void AddClassReplacements(Registrar& registrar) {
  registrar.AddReplacement(u"APPID", u"{DFD6D017-14D1-4EE8-A714-2F1E77C836A9}");
  registrar.AddReplacement(u"NAME", u"nethal");
  registrar.AddReplacement(u"SHORT_NAME", u"M48tz");
  registrar.AddReplacement(u"HAL_CLSID", u"{F6F06ED7-3332-4E7E-81A5-16A5DE2A56D6}");
  registrar.AddReplacement(u"MODULE", u"/opt/rzd/lib/nethal.so");
  registrar.AddReplacement(u"TLB_ID", u"{7013228D-6F76-460B-968F-3320A3D31360}");
  registrar.AddReplacement(u"Category", u"{8457C2BA-C251-4067-96A9-020BBA31B91B}");  // names ignore case
}

TEST_F(RegistrarTest, RegisterThenUnregisterGivesExactlyTheExpectedTrees) {
  RegKey other;
  ASSERT_EQ(RegKey::Create(Hive::ClassesRoot, u"CLSID\\{00000000-0000-0000-0000-000000000001}", &other),
            ERROR_SUCCESS);
  ASSERT_EQ(other.SetString(u"", u"Other"), ERROR_SUCCESS);

  Registrar registrar;
  AddClassReplacements(registrar);
  ASSERT_EQ(registrar.Register(kClassScript), S_OK) << registrar.LastError();
  const std::string registered =
      "\n"
      "Classes\n"
      "Classes\\AppID\n"
      "Classes\\AppID\\nethal.DLL\n"
      "Classes\\AppID\\nethal.DLL : AppID = s '{DFD6D017-14D1-4EE8-A714-2F1E77C836A9}'\n"
      "Classes\\AppID\\{DFD6D017-14D1-4EE8-A714-2F1E77C836A9}\n"
      "Classes\\AppID\\{DFD6D017-14D1-4EE8-A714-2F1E77C836A9} : @ = s 'nethal'\n"
      "Classes\\CLSID\n"
      "Classes\\CLSID\\{00000000-0000-0000-0000-000000000001}\n"
      "Classes\\CLSID\\{00000000-0000-0000-0000-000000000001} : @ = s 'Other'\n"
      "Classes\\CLSID\\{F6F06ED7-3332-4E7E-81A5-16A5DE2A56D6}\n"
      "Classes\\CLSID\\{F6F06ED7-3332-4E7E-81A5-16A5DE2A56D6} : @ = s 'RZDHALM48tzInProc Class'\n"
      "Classes\\CLSID\\{F6F06ED7-3332-4E7E-81A5-16A5DE2A56D6}\\Implemented Categories\n"
      "Classes\\CLSID\\{F6F06ED7-3332-4E7E-81A5-16A5DE2A56D6}\\Implemented Categories\\"
      "{8457C2BA-C251-4067-96A9-020BBA31B91B}\n"
      "Classes\\CLSID\\{F6F06ED7-3332-4E7E-81A5-16A5DE2A56D6}\\InprocServer32\n"
      "Classes\\CLSID\\{F6F06ED7-3332-4E7E-81A5-16A5DE2A56D6}\\InprocServer32 : @ = s '/opt/rzd/lib/nethal.so'\n"
      "Classes\\CLSID\\{F6F06ED7-3332-4E7E-81A5-16A5DE2A56D6}\\InprocServer32 : ThreadingModel = s 'Both'\n"
      "Classes\\CLSID\\{F6F06ED7-3332-4E7E-81A5-16A5DE2A56D6}\\ProgID\n"
      "Classes\\CLSID\\{F6F06ED7-3332-4E7E-81A5-16A5DE2A56D6}\\ProgID : @ = s "
      "'RZDHALM48tzInProc.RZDHALM48tzInProc.1'\n"
      "Classes\\CLSID\\{F6F06ED7-3332-4E7E-81A5-16A5DE2A56D6}\\Programmable\n"
      "Classes\\CLSID\\{F6F06ED7-3332-4E7E-81A5-16A5DE2A56D6}\\TypeLib\n"
      "Classes\\CLSID\\{F6F06ED7-3332-4E7E-81A5-16A5DE2A56D6}\\TypeLib : @ = s "
      "'{7013228D-6F76-460B-968F-3320A3D31360}'\n"
      "Classes\\RZDHALM48tzInProc.RZDHALM48tzInProc.1\n"
      "Classes\\RZDHALM48tzInProc.RZDHALM48tzInProc.1 : @ = s 'RZDHALM48tzInProc Class'\n"
      "Classes\\RZDHALM48tzInProc.RZDHALM48tzInProc.1\\CLSID\n"
      "Classes\\RZDHALM48tzInProc.RZDHALM48tzInProc.1\\CLSID : @ = s '{F6F06ED7-3332-4E7E-81A5-16A5DE2A56D6}'\n"
      "Corvanite\n"
      "Corvanite : Kept = s 'stays'\n"
      "Corvanite : Gone = s 'goes'\n"
      "Corvanite\\M48tz\n"
      "Corvanite\\M48tz : SleepTime = d 0F000000\n"
      "Corvanite\\M48tz : Flags = d 10000000\n"
      "Corvanite\\M48tz : Blob = b 00FF10\n";
  EXPECT_EQ(RegistryTree(Hive::LocalMachine, u"SOFTWARE"), registered);

  // Registering again gives the same tree.
  ASSERT_EQ(registrar.Register(kClassScript), S_OK) << registrar.LastError();
  EXPECT_EQ(RegistryTree(Hive::LocalMachine, u"SOFTWARE"), registered);

  // Unregistering removes what the script made; NoRemove keys and values and others' keys stay.
  ASSERT_EQ(registrar.Unregister(kClassScript), S_OK) << registrar.LastError();
  const std::string unregistered =
      "\n"
      "Classes\n"
      "Classes\\AppID\n"
      "Classes\\CLSID\n"
      "Classes\\CLSID\\{00000000-0000-0000-0000-000000000001}\n"
      "Classes\\CLSID\\{00000000-0000-0000-0000-000000000001} : @ = s 'Other'\n"
      "Corvanite\n"
      "Corvanite : Kept = s 'stays'\n";
  EXPECT_EQ(RegistryTree(Hive::LocalMachine, u"SOFTWARE"), unregistered);
  // Unregistering what is not there is no failure.
  ASSERT_EQ(registrar.Unregister(kClassScript), S_OK) << registrar.LastError();
  EXPECT_EQ(RegistryTree(Hive::LocalMachine, u"SOFTWARE"), unregistered);
}

TEST_F(RegistrarTest, ForceRemoveClearsOldContentAndKeysWithOtherSubkeysStay) {
  const char16_t* script = uR"(HKCR
{
	Sample.Prog.1 = s 'Sample Class'
	{
		val Extra = s 'x'
		CLSID = s '{11111111-2222-3333-4444-555555555555}'
	}
	NoRemove CLSID
	{
		ForceRemove {11111111-2222-3333-4444-555555555555} = s 'Sample Class'
		{
			InprocServer32 = s 'sample.so'
		}
	}
})";
  RegKey stale;
  ASSERT_EQ(RegKey::Create(Hive::ClassesRoot, u"CLSID\\{11111111-2222-3333-4444-555555555555}\\Stale", &stale),
            ERROR_SUCCESS);
  RegKey clsid;
  ASSERT_EQ(RegKey::Open(Hive::ClassesRoot, u"CLSID\\{11111111-2222-3333-4444-555555555555}", &clsid),
            ERROR_SUCCESS);
  ASSERT_EQ(clsid.SetString(u"Old", u"old"), ERROR_SUCCESS);

  Registrar registrar;
  ASSERT_EQ(registrar.Register(script), S_OK) << registrar.LastError();
  EXPECT_EQ(RegistryTree(Hive::ClassesRoot, u"CLSID"),
            "\n{11111111-2222-3333-4444-555555555555}\n"
            "{11111111-2222-3333-4444-555555555555} : @ = s 'Sample Class'\n"
            "{11111111-2222-3333-4444-555555555555}\\InprocServer32\n"
            "{11111111-2222-3333-4444-555555555555}\\InprocServer32 : @ = s 'sample.so'\n");

  // Someone else adds a subkey under a key of the script: unregister keeps that key (without
  // the script's values) and removes the rest.
  RegKey foreign;
  ASSERT_EQ(RegKey::Create(Hive::ClassesRoot, u"Sample.Prog.1\\Foreign", &foreign), ERROR_SUCCESS);
  ASSERT_EQ(foreign.SetDword(u"Theirs", 1), ERROR_SUCCESS);
  ASSERT_EQ(registrar.Unregister(script), S_OK) << registrar.LastError();
  EXPECT_EQ(RegistryTree(Hive::ClassesRoot, u"Sample.Prog.1"), "\nForeign\nForeign : Theirs = d 01000000\n");
  EXPECT_EQ(RegistryTree(Hive::ClassesRoot, u"CLSID"), "\n");
}

TEST_F(RegistrarTest, ReplacementsAreLiteralTextAndEveryValueTypeIsRead) {
  const char16_t* script = uR"(HKLM
{
	NoRemove SOFTWARE
	{
		'%KEY%'
		{
			val '%VALNAME%' = s '%TEXT%'
			val Percent = s '100%% sure'
			val Mixed = s 'pre-%Text%-post'
			val Dec = d '4294967295'
			val Neg = d '-2'
			val Hex = d '0xDEADbeef'
			val Bare = d 7
			val Q = q '0x0102030405060708'
			val Exp = e '%%SystemRoot%%\x'
			val Multi = m 'one\0two'
			val Bin = b ''
			val 'it''s' = s 'quote '' inside'
			%WORD% = s 'a keyword from a replacement is a name'
		}
	}
})";
  Registrar registrar;
  registrar.AddReplacement(u"KEY", u"Name with 'quote' and } brace");
  registrar.AddReplacement(u"VALNAME", u"Value Name");
  registrar.AddReplacement(u"TEXT", u"a 'b' {c} %d% = e");
  registrar.AddReplacement(u"WORD", u"NoRemove");
  ASSERT_EQ(registrar.Register(script), S_OK) << registrar.LastError();
  EXPECT_EQ(RegistryTree(Hive::LocalMachine, u"SOFTWARE\\Name with 'quote' and } brace"),
            "\n"
            " : Value Name = s 'a 'b' {c} %d% = e'\n"
            " : Percent = s '100% sure'\n"
            " : Mixed = s 'pre-a 'b' {c} %d% = e-post'\n"
            " : Dec = d FFFFFFFF\n"
            " : Neg = d FEFFFFFF\n"
            " : Hex = d EFBEADDE\n"
            " : Bare = d 07000000\n"
            " : Q = q 0807060504030201\n"
            " : Exp = e '%SystemRoot%\\x'\n"
            " : Multi = m 'one' 'two'\n"
            " : Bin = b \n"
            " : it's = s 'quote ' inside'\n"
            "NoRemove\n"
            "NoRemove : @ = s 'a keyword from a replacement is a name'\n");
  // The key named by the replacement is an ordinary key: unregister removes it all.
  ASSERT_EQ(registrar.Unregister(script), S_OK) << registrar.LastError();
  EXPECT_EQ(RegistryTree(Hive::LocalMachine, u"SOFTWARE\\Name with 'quote' and } brace"), "<missing>");
  RegKey software;
  EXPECT_EQ(RegKey::Open(Hive::LocalMachine, u"SOFTWARE", &software), ERROR_SUCCESS);

  // Replacements can be changed and cleared.
  registrar.AddReplacement(u"key", u"Second");
  ASSERT_EQ(registrar.Register(script), S_OK) << registrar.LastError();
  EXPECT_NE(RegistryTree(Hive::LocalMachine, u"SOFTWARE\\Second"), "<missing>");
  registrar.ClearReplacements();
  EXPECT_EQ(registrar.Register(script), E_FAIL);
  EXPECT_NE(registrar.LastError().find("unknown replacement variable %KEY%"), std::string::npos)
      << registrar.LastError();
}

TEST_F(RegistrarTest, AScriptWithAnErrorAppliesNothing) {
  struct Case {
    std::u16string script;
    std::string error;  // start of LastError()
  };
  std::u16string deep = u"HKLM\n{";
  for (int i = 0; i < 70; ++i) deep += u" K {";
  const Case cases[] = {
      {u"HKLM { NoRemove SOFTWARE { Good { val A = s 'x' } } }\nHKLM { Bad", "line 2: unexpected end of script"},
      {u"HKLM {\n Good = s 'x'\n Bad = z 'y'\n}", "line 3: unknown value type 'z'"},
      {u"HKLM {\n Good\n val N = d '0x1FFFFFFFF'\n}", "line 3: invalid number"},
      {u"HKLM {\n Good\n val N = d '4294967296'\n}", "line 3: invalid number"},
      {u"HKLM {\n Good\n val N = q '18446744073709551616'\n}", "line 3: invalid number"},
      {u"HKLM {\n Good\n val N = b 'abc'\n}", "line 3: invalid hexadecimal bytes"},
      {u"HKLM {\n Good = s 'unterminated\n}", "line 2: unterminated quoted text"},
      {u"HKLM {\n Good\n val N 'x'\n}", "line 3: expected '=' after the value name"},
      {u"HKLM {\n Good\n 'A\\B' = s 'x'\n}", "line 3: invalid key name"},
      {u"HKLM {\n Good\n %BAD%\n}", "line 3: invalid key name"},
      {u"HKLM {\n Good = s '%UNKNOWN%'\n}", "line 2: unknown replacement variable %UNKNOWN%"},
      {u"HKLM {\n Good = s 'a%b'\n}", "line 2: unterminated %variable%"},
      {u"HKEY_NOWHERE {\n}", "line 1: unknown root key"},
      {u"%ROOT% {\n}", "line 1: unknown root key"},
      {u"HKLM {\n Good\n}\n}", "line 4: unknown root key '}'"},
      {u"HKLM {\n ForceRemove NoRemove K\n}", "line 2: more than one of"},
      {u"HKLM {\n ForceRemove val X = s 'x'\n}", "line 2: only NoRemove may stand before val"},
      {u"HKLM {\n K = s 'x' = s 'y'\n}", "line 2: expected a key name, found '='"},
      {u"HKLM {\n val M = m 'a\\0\\0b'\n}", "line 2: an empty string inside a multi-string"},
      {deep, "line 2: keys nested too deeply"},
  };
  Registrar setup;
  AddClassReplacements(setup);
  ASSERT_EQ(setup.Register(kClassScript), S_OK) << setup.LastError();
  const std::string before = Everything();

  Registrar registrar;
  registrar.AddReplacement(u"BAD", u"a\\b");
  registrar.AddReplacement(u"ROOT", u"HKLM");  // roots are never taken from replacements
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.script));
    EXPECT_EQ(registrar.Register(c.script), E_FAIL);
    EXPECT_EQ(registrar.LastError().substr(0, c.error.size()), c.error);
    EXPECT_EQ(registrar.Unregister(c.script), E_FAIL);
    EXPECT_EQ(registrar.LastError().substr(0, c.error.size()), c.error);
    EXPECT_EQ(Everything(), before);
  }
  // A later good script clears the error.
  EXPECT_EQ(registrar.Register(u"HKLM { NoRemove SOFTWARE { Fine } }"), S_OK);
  EXPECT_EQ(registrar.LastError(), "");
}

TEST_F(RegistrarTest, DeleteKeywordRemovesAKeyOnRegisterOnly) {
  RegKey old;
  ASSERT_EQ(RegKey::Create(Hive::ClassesRoot, u"Old.Prog\\CurVer", &old), ERROR_SUCCESS);
  const char16_t* script = u"HKCR { Delete Old.Prog New.Prog = s 'new' }";
  Registrar registrar;
  ASSERT_EQ(registrar.Register(script), S_OK) << registrar.LastError();
  EXPECT_EQ(RegistryTree(Hive::ClassesRoot, u"Old.Prog"), "<missing>");
  EXPECT_EQ(RegistryTree(Hive::ClassesRoot, u"New.Prog"), "\n : @ = s 'new'\n");
  ASSERT_EQ(RegKey::Create(Hive::ClassesRoot, u"Old.Prog", &old), ERROR_SUCCESS);
  ASSERT_EQ(registrar.Unregister(script), S_OK) << registrar.LastError();
  EXPECT_EQ(RegistryTree(Hive::ClassesRoot, u"Old.Prog"), "\n");
  EXPECT_EQ(RegistryTree(Hive::ClassesRoot, u"New.Prog"), "<missing>");
}

TEST_F(RegistrarTest, PerUserRegistrationWritesTheUsersClasses) {
  const char16_t* script =
      u"HKCR { NoRemove CLSID { {22222222-0000-0000-0000-000000000000} = s 'user class' "
      u"{ InprocServer32 = s 'apphal.so' { val ThreadingModel = s 'Apartment' } } } }";
  Registrar registrar;
  registrar.SetPerUser(true);
  ASSERT_EQ(registrar.Register(script), S_OK) << registrar.LastError();
  EXPECT_EQ(RegistryTree(Hive::CurrentUser, u"Software\\Classes\\CLSID"),
            "\n{22222222-0000-0000-0000-000000000000}\n"
            "{22222222-0000-0000-0000-000000000000} : @ = s 'user class'\n"
            "{22222222-0000-0000-0000-000000000000}\\InprocServer32\n"
            "{22222222-0000-0000-0000-000000000000}\\InprocServer32 : @ = s 'apphal.so'\n"
            "{22222222-0000-0000-0000-000000000000}\\InprocServer32 : ThreadingModel = s 'Apartment'\n");
  EXPECT_EQ(RegistryTree(Hive::LocalMachine, u"SOFTWARE\\Classes"), "\n");
  std::u16string text;
  RegKey merged;
  ASSERT_EQ(RegKey::Open(Hive::ClassesRoot, u"CLSID\\{22222222-0000-0000-0000-000000000000}", &merged),
            ERROR_SUCCESS);
  EXPECT_EQ(merged.GetString(u"", &text), ERROR_SUCCESS);
  EXPECT_EQ(text, u"user class");

  ASSERT_EQ(registrar.Unregister(script), S_OK) << registrar.LastError();
  EXPECT_EQ(RegistryTree(Hive::CurrentUser, u"Software\\Classes"), "\nCLSID\n");
}

TEST_F(RegistrarTest, EveryRootByShortAndLongName) {
  const char16_t* script =
      u"hklm { NoRemove SOFTWARE { A } }\n"
      u"HKEY_CURRENT_USER { B }\n"
      u"HKU { C }\n"
      u"HKEY_CLASSES_ROOT { D }\n"
      u"HKEY_LOCAL_MACHINE { E }\n"
      u"HKCU { F }\n"
      u"HKEY_USERS { G }\n"
      u"HKCR { H }\n";
  Registrar registrar;
  ASSERT_EQ(registrar.Register(script), S_OK) << registrar.LastError();
  RegKey key;
  EXPECT_EQ(RegKey::Open(Hive::LocalMachine, u"SOFTWARE\\A", &key), ERROR_SUCCESS);
  EXPECT_EQ(RegKey::Open(Hive::CurrentUser, u"B", &key), ERROR_SUCCESS);
  EXPECT_EQ(RegKey::Open(Hive::Users, u"C", &key), ERROR_SUCCESS);
  EXPECT_EQ(RegKey::Open(Hive::LocalMachine, u"SOFTWARE\\Classes\\D", &key), ERROR_SUCCESS);
  EXPECT_EQ(RegKey::Open(Hive::LocalMachine, u"E", &key), ERROR_SUCCESS);
  EXPECT_EQ(RegKey::Open(Hive::CurrentUser, u"F", &key), ERROR_SUCCESS);
  EXPECT_EQ(RegKey::Open(Hive::Users, u"G", &key), ERROR_SUCCESS);
  EXPECT_EQ(RegKey::Open(Hive::ClassesRoot, u"H", &key), ERROR_SUCCESS);
  ASSERT_EQ(registrar.Unregister(script), S_OK) << registrar.LastError();
  for (const char16_t* name : {u"SOFTWARE\\A", u"E"}) EXPECT_EQ(RegKey::Open(Hive::LocalMachine, name, &key), ERROR_FILE_NOT_FOUND);
  for (const char16_t* name : {u"B", u"F"}) EXPECT_EQ(RegKey::Open(Hive::CurrentUser, name, &key), ERROR_FILE_NOT_FOUND);
  for (const char16_t* name : {u"C", u"G"}) EXPECT_EQ(RegKey::Open(Hive::Users, name, &key), ERROR_FILE_NOT_FOUND);
  for (const char16_t* name : {u"D", u"H"}) EXPECT_EQ(RegKey::Open(Hive::ClassesRoot, name, &key), ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace rzd
