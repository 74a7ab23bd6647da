// Handlers of the session functions: the logons, logoff, client type, status and count, the
// last result, client events, the server version and the connection test.
#pragma once

#include "wyrlan/handler_api.h"

namespace wyrlan {

WYRLAN_HANDLER(ClientLogon)
WYRLAN_HANDLER(ClientLogonEx)
WYRLAN_HANDLER(InternalClientLogon)
WYRLAN_HANDLER(ClientLogoff)
WYRLAN_HANDLER(SetClientType)
WYRLAN_HANDLER(ClientStatus)
WYRLAN_HANDLER(GetClientsCount)
WYRLAN_HANDLER(GetLastAPIResult)
WYRLAN_HANDLER(FireClientEvent)
WYRLAN_HANDLER(ServerVersion)
WYRLAN_HANDLER(TestConnection)

}  // namespace wyrlan
