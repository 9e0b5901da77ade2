// CreateInstanceInConsoleSession: the object is made by a local server running in the session
// attached to the console.
#include "foundation/com_utils.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "platform/session.h"
#include "platform/text.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace rzd {
namespace {

// {8D2E5A11-4C3B-4F6E-9A1D-3B5C7E9F1A20}
constexpr CLSID kConsoleClass{0x8D2E5A11, 0x4C3B, 0x4F6E, {0x9A, 0x1D, 0x3B, 0x5C, 0x7E, 0x9F, 0x1A, 0x20}};

class ConsoleSessionTest : public test::TempRoot {
 protected:
  void TearDown() override {
    std::ifstream in(SystemRoot() / "com-server.log");
    for (std::string line; std::getline(in, line);) {
      std::istringstream words(line);
      std::string what;
      uint32_t pid = 0;
      if (words >> what >> pid && what == "start") KillProcess(pid);
    }
  }
  ComInit com_{COINIT_MULTITHREADED};
};

TEST_F(ConsoleSessionTest, TheObjectComesFromAServerInTheConsoleSession) {
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"SOFTWARE\\Classes\\CLSID\\" + FormatGuid(kConsoleClass) + u"\\LocalServer32",
                           &key),
            ERROR_SUCCESS);
  ASSERT_EQ(key.SetString(u"", FromUtf8("\"" + (test::BinaryDir() / "com_server_child").string() + "\" " +
                                        FormatGuidA(kConsoleClass))),
            ERROR_SUCCESS);
  SetActiveConsoleSession(4);

  ComPtr<IUnknown> object;
  ASSERT_EQ(CreateInstanceInConsoleSession(kConsoleClass, IID_IUnknown, object.OutVoid()), S_OK);
  ASSERT_TRUE(object);
  std::ifstream in(SystemRoot() / "com-server.log");
  std::string what;
  uint32_t pid = 0;
  uint32_t session = 0;
  ASSERT_TRUE(in >> what >> pid >> session);
  EXPECT_EQ(what, "start");
  EXPECT_EQ(session, 4u);
  EXPECT_EQ(ProcessSessionId(pid), 4u);
}

TEST_F(ConsoleSessionTest, FailuresAnswerTheFirstFailingStep) {
  ComPtr<IUnknown> object;
  EXPECT_EQ(CreateInstanceInConsoleSession(kConsoleClass, IID_IUnknown, object.OutVoid()), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CreateInstanceInConsoleSession(kConsoleClass, IID_IUnknown, nullptr), E_POINTER);
  SetActiveConsoleSession(kNoConsoleSession);
  EXPECT_EQ(CreateInstanceInConsoleSession(kConsoleClass, IID_IUnknown, object.OutVoid()), CO_E_SERVER_EXEC_FAILURE)
      << "no session is attached to the console";
}

}  // namespace
}  // namespace rzd
