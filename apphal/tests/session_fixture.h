// A session against the scripted data source, in a fresh root, with helpers to read its log.
#pragma once

#include "apphal/twain_session.h"
#include "platform/messages.h"
#include "testsupport/temp_root.h"
#include "twainds/script.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace rzd::apphal::test {

inline const std::filesystem::path kDataSource = RZD_TWAINDS_LIBRARY;

// The application identity the wrapper builds, with Id = the session id.
inline TW_IDENTITY ApplicationIdentity(int32_t sessionId) {
  TW_IDENTITY identity{};
  identity.Id = static_cast<TW_UINT32>(sessionId);
  identity.Version = TW_VERSION{5, 1, TWLG_USA, TWCY_USA, {}};
  std::strcpy(identity.Version.Info, "5.1 VI4reRIZUZ");
  identity.ProtocolMajor = 2;
  identity.ProtocolMinor = 2;
  identity.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2;
  std::strcpy(identity.Manufacturer, "Corvanite");
  std::strcpy(identity.ProductFamily, "VI4reRIZUZ");
  std::strcpy(identity.ProductName, "VI4reRIZUZ1");
  return identity;
}

class SessionTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override {
    EnsureMessageQueue();
    Drain();
  }
  void TearDown() override {
    for (int32_t id : ids_) TwainSessionMap::Instance().Remove(id);
    SetThreadMessageHandler(nullptr);
    Drain();
  }
  static void Drain() {
    while (PeekThreadMessage(true)) {
    }
  }

  // A session in state 3, registered in the map; by default under the next unused id from 1.
  std::shared_ptr<CTwainSession> NewSession(int32_t id = 0) {
    if (id == 0) id = ++lastId_;
    auto session = std::make_shared<CTwainSession>(id);
    EXPECT_EQ(session->OpenDSM(ApplicationIdentity(id)), 0u);
    EXPECT_TRUE(TwainSessionMap::Instance().Insert(id, session));
    ids_.push_back(id);
    return session;
  }

  // A session with the source open under `script`.
  std::shared_ptr<CTwainSession> OpenSession(const twainds::ScriptBuilder& script, int32_t id = 0) {
    EXPECT_TRUE(script.Write());
    auto session = NewSession(id);
    EXPECT_EQ(session->OpenDS(kDataSource), 0u);
    EXPECT_EQ(session->State(), kTwainStateSourceOpen);
    return session;
  }

  // The triplets the source received, in order (its own callbacks left out).
  static std::vector<std::string> Received() {
    std::vector<std::string> triplets;
    for (const twainds::LoggedTriplet& entry : twainds::ReadTripletLog()) {
      if (!entry.callback) triplets.push_back(entry.triplet);
    }
    return triplets;
  }
  // The last logged line for `triplet`.
  static twainds::LoggedTriplet LastLogged(const std::string& triplet) {
    twainds::LoggedTriplet found;
    for (const twainds::LoggedTriplet& entry : twainds::ReadTripletLog()) {
      if (entry.triplet == triplet) found = entry;
    }
    return found;
  }

 private:
  std::vector<int32_t> ids_;
  int32_t lastId_ = 0;
};

}  // namespace rzd::apphal::test
