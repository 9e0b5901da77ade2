// Tries a running local server as another user (nobody): first a bare connection to the class
// socket, then an activation.
//
//   com_other_user_child {CLSID} SESSION
//
// Exit codes: 10 the socket could not be reached, 20 the server refused the activation, 30 the
// activation succeeded, 40 anything else, 50 the user could not be changed.
#include "platform/com_remote.h"
#include "platform/local_socket.h"
#include "platform/root.h"

#include <string>

#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  auto clsid = rzd::ParseGuid(std::string(argv[1]));
  if (!clsid) return 2;
  const uint32_t session = static_cast<uint32_t>(std::stoul(argv[2]));
  constexpr uid_t kNobody = 65534;
  if (setgid(kNobody) != 0 || setuid(kNobody) != 0) return 50;

  const std::filesystem::path path =
      rzd::SystemRoot() / "com" / (rzd::FormatGuidA(*clsid) + "." + std::to_string(session));
  rzd::LocalStream stream;
  if (rzd::LocalStream::Connect(path, &stream) == ERROR_ACCESS_DENIED) return 10;
  stream.Close();
  IUnknown* object = nullptr;
  HRESULT hr = rzd::ConnectToRunningServer(*clsid, session, IID_IUnknown, reinterpret_cast<void**>(&object));
  if (object != nullptr) object->Release();
  if (hr == E_ACCESSDENIED) return 20;
  return hr == S_OK ? 30 : 40;
}
