// tbxIpc: the endpoint file of a loopback server, one line "tcp <port> <token>\n": the port
// in decimal, the token kIpcTokenLength lowercase hexadecimal digits.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "Export.h"

class TBXIPC_API CIpcEndpointFile {
 public:
  CIpcEndpointFile() = default;
  CIpcEndpointFile(uint16_t port, std::string token) : port_(port), token_(std::move(token)) {}

  // The file's whole text.
  std::string Format() const;
  // False, leaving this unchanged, unless `text` is exactly one well-formed line.
  bool Parse(const std::string& text);

  // Reads the file at `path`. Returns an IpcState: kIpcNoServer when there is no endpoint file
  // there or it is not well-formed.
  int32_t Read(const std::string& path, std::string* why);
  // Replaces the file at `path` atomically; false with the reason.
  bool Write(const std::string& path, std::string* why) const;

  uint16_t port() const { return port_; }
  const std::string& token() const { return token_; }

 private:
  uint16_t port_ = 0;
  std::string token_;
};
