// A UDP socket on 127.0.0.1 connected to itself: WSAPoll waits on sockets only, and a datagram
// to oneself makes it readable.
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include "IpcWaker.h"

namespace {

SOCKET Native(ipc::SocketHandle socket) {
  return static_cast<SOCKET>(socket);
}

std::string Failure(const std::string& what) {
  return what + ": error " + std::to_string(WSAGetLastError());
}

}  // namespace

CIpcWaker::~CIpcWaker() {
  if (handle_ != ipc::kNoSocket) {
    closesocket(Native(handle_));
    WSACleanup();  // balances the WSAStartup of Open
  }
}

bool CIpcWaker::Open(std::string* why) {
  WSADATA data;
  const int started = WSAStartup(MAKEWORD(2, 2), &data);
  if (started != 0) {
    *why = "WSAStartup: error " + std::to_string(started);
    return false;
  }
  const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) {
    *why = Failure("waker socket");
    WSACleanup();
    return false;
  }
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof(address);
  u_long nonBlocking = 1;
  if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
    *why = Failure("waker socket");
    closesocket(s);
    WSACleanup();
    return false;
  }
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  handle_ = static_cast<ipc::SocketHandle>(s);
  return true;
}

void CIpcWaker::Wake() {
  const char byte = 1;
  // A full buffer already holds a wake-up, which is just as good.
  send(Native(handle_), &byte, 1, 0);
}

void CIpcWaker::Drain() {
  char buffer[64];
  while (recv(Native(handle_), buffer, sizeof(buffer), 0) > 0) {
  }
}
