#include "IpcTcpHandshake.h"

#include <chrono>

#include "IpcFrame.h"
#include "IpcStates.h"
#include "IpcToken.h"

namespace ipc {

namespace {

// The end of the time one exchange may take.
class Deadline {
 public:
  explicit Deadline(int timeoutMs)
      : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)) {}

  // Milliseconds left, 0 once passed.
  int LeftMs() const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          end_ - std::chrono::steady_clock::now())
                          .count();
    return left > 0 ? static_cast<int>(left) : 0;
  }

 private:
  const std::chrono::steady_clock::time_point end_;
};

// The next handshake frame within the deadline; the decoder has checked its kind and size.
bool ReceiveStep(CIpcConnection* connection, const Deadline& deadline, const char* expected,
                 IpcFrame* frame, std::string* why) {
  if (connection->Receive(frame, deadline.LeftMs())) {
    return true;
  }
  *why = std::string("no ") + expected + ": " + connection->error();
  return false;
}

bool SendStep(CIpcConnection* connection, uint8_t kind, const std::string& payload,
              std::string* why) {
  if (connection->Send(kind, payload) == kIpcOk) {
    return true;
  }
  *why = std::string(FrameKindName(kind)) + " could not be sent";
  return false;
}

}  // namespace

int32_t HandshakeAsClient(CIpcConnection* connection, const std::string& token, int timeoutMs,
                          std::string* why) {
  const Deadline deadline(timeoutMs);
  std::string clientNonce;
  if (!NewNonce(&clientNonce, why)) {
    return kIpcSystemError;
  }
  IpcFrame answer;
  if (!SendStep(connection, kIpcFrameHello, clientNonce, why) ||
      !ReceiveStep(connection, deadline, "PROOF from the server", &answer, why)) {
    return kIpcHandshakeFailed;
  }
  const std::string serverNonce = answer.payload.substr(0, kIpcNonceLength);
  if (!IsTokenOrNonce(serverNonce)) {
    *why = "the server's PROOF carries a malformed nonce";
    return kIpcHandshakeFailed;
  }
  std::string expected;
  std::string proof;
  if (!ServerProof(token, clientNonce, serverNonce, &expected, why) ||
      !ClientProof(token, clientNonce, serverNonce, &proof, why)) {
    return kIpcSystemError;
  }
  if (!ProofMatches(answer.payload.substr(kIpcNonceLength), expected)) {
    *why = "the server's proof is wrong: it does not know the endpoint's token";
    return kIpcPeerRejected;
  }
  return SendStep(connection, kIpcFrameProof, proof, why) ? kIpcOk : kIpcHandshakeFailed;
}

bool HandshakeAsServer(CIpcConnection* connection, const std::string& token, int timeoutMs,
                       std::string* why) {
  const Deadline deadline(timeoutMs);
  IpcFrame hello;
  if (!ReceiveStep(connection, deadline, "HELLO", &hello, why)) {
    return false;
  }
  if (!IsTokenOrNonce(hello.payload)) {
    *why = "HELLO carries a malformed nonce";
    return false;
  }
  std::string serverNonce;
  std::string proof;
  std::string expected;
  if (!NewNonce(&serverNonce, why) ||
      !ServerProof(token, hello.payload, serverNonce, &proof, why) ||
      !ClientProof(token, hello.payload, serverNonce, &expected, why)) {
    return false;
  }
  IpcFrame answer;
  if (!SendStep(connection, kIpcFrameProof, serverNonce + proof, why) ||
      !ReceiveStep(connection, deadline, "PROOF from the client", &answer, why)) {
    return false;
  }
  if (!ProofMatches(answer.payload, expected)) {
    *why = "the client's proof is wrong: it does not know the endpoint's token";
    return false;
  }
  return true;
}

}  // namespace ipc
