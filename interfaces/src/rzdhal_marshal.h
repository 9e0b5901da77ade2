// Private parts of the IRZDHAL proxy/stub shared by its files.
#pragma once

#include "interfaces/rzdhal.h"
#include "platform/com_object.h"
#include "platform/com_remote.h"

namespace rzd::rzdhal_internal {

// The lock count of this copy of the proxy/stub code: every live proxy and stub.
ComModule& ProxyStubModule();

// A proxy of IRZDHAL aggregated into `outer`; *inner is its non-delegating unknown.
HRESULT CreateRzdHalProxy(IUnknown* outer, const RemoteLink& link, IUnknown** inner);
// A stub calling `server`'s IRZDHAL.
HRESULT CreateRzdHalStub(IUnknown* server, IRemoteStub** stub);

}  // namespace rzd::rzdhal_internal
