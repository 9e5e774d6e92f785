// tbxIpc: the secrets of loopback TCP: the token a server publishes in its endpoint file, the
// nonces of a handshake, and the proofs by which each end shows that it knows the token without
// sending it (see IpcTcpHandshake.h).
#pragma once

#include <string>

#include "Export.h"

namespace ipc {

// kIpcTokenLength lowercase hexadecimal digits from the system's random generator. False, with
// the reason, when the generator fails: a guessable token must never be used.
bool NewToken(std::string* token, std::string* why);
// A fresh nonce, kIpcNonceLength lowercase hexadecimal digits, as NewToken makes them.
bool NewNonce(std::string* nonce, std::string* why);
// True when `text` has the form both have: kIpcTokenLength lowercase hexadecimal digits.
bool IsTokenOrNonce(const std::string& text);

// The server's proof for one exchange: HMAC-SHA256 with the token's characters as the key over
// "S" + clientNonce + serverNonce, in kIpcProofLength lowercase hexadecimal digits. False,
// with the reason, when the system cannot compute it.
TBXIPC_API bool ServerProof(const std::string& token, const std::string& clientNonce,
                            const std::string& serverNonce, std::string* proof, std::string* why);
// The client's proof: the same over "C" + serverNonce + clientNonce, so neither end's proof
// ever serves as the other's.
TBXIPC_API bool ClientProof(const std::string& token, const std::string& clientNonce,
                            const std::string& serverNonce, std::string* proof, std::string* why);

// True when `offered` equals `expected`. The time taken does not depend on where they differ,
// so a peer cannot learn a proof a character at a time.
TBXIPC_API bool ProofMatches(const std::string& offered, const std::string& expected);

}  // namespace ipc
