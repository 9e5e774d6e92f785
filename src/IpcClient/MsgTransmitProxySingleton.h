// The executable's side of the message transmit proxy. The executable is the home of the
// proxy's singleton, CSingleton<CMsgTransmitProxy>, and exports exactly its members, so the
// proxy library and every module loaded into the process reach the one proxy held here.
#pragma once

// Creates the IPC client and the proxy and points the proxy at the client, whose
// IMsgTransmitInterface then answers GetMsgTransmitInstance(). Called once, at start-up, before
// any component uses that interface. False when the client cannot be created; when the proxy
// cannot be created (the client reference taken here is released again); or when the proxy
// refuses the client (both then stay created).
bool CreateIpcClientAndProxy();
