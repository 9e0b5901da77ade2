#include "test_server.h"

#include "platform/process.h"
#include "platform/root.h"
#include "platform/service.h"
#include "platform/text.h"

#include <fstream>
#include <sstream>

namespace rzd::test {

CLSID TestServerClass(uint32_t instance) {
  return CLSID{0x5C0F7E30, 0x1A2B, 0x4C3D, {0x8E, 0x9F, 0, 0, 0, 0, 0, static_cast<uint8_t>(instance)}};
}

GUID TestServerAppId(uint32_t instance) {
  return GUID{0x5C0F7E31, 0x1A2B, 0x4C3D, {0x8E, 0x9F, 0, 0, 0, 0, 0, static_cast<uint8_t>(instance)}};
}

ServerName ParseServerName(const std::filesystem::path& program) {
  ServerName name;
  name.service = FromUtf8(program.stem().string());
  const std::u16string& text = name.service;
  const size_t last = text.rfind(u'_');
  if (last == std::u16string::npos) return name;
  if (last + 1 < text.size() && text[last + 1] >= u'0' && text[last + 1] <= u'9') {
    name.instance = static_cast<uint32_t>(text[last + 1] - u'0');
  }
  const size_t before = last == 0 ? std::u16string::npos : text.rfind(u'_', last - 1);
  if (before != std::u16string::npos && last - before - 1 >= 4) name.subkey = text.substr(before + 1, 4);
  return name;
}

std::filesystem::path TestServerLog() { return SystemRoot() / "test-server.log"; }

std::vector<uint32_t> StartedTestServers() {
  std::vector<uint32_t> pids;
  std::ifstream in(TestServerLog());
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string what;
    uint32_t pid = 0;
    if (words >> what >> pid && what == "start") pids.push_back(pid);
  }
  return pids;
}

void KillTestServers() {
  for (const std::u16string& name : ListServices()) RequestServiceStop(name);
  for (uint32_t pid : StartedTestServers()) KillProcess(pid);
}

}  // namespace rzd::test
