// Korvex.exe: the message texts the simulated agent sends to its clients.
#pragma once

#include <cstdint>
#include <string>

namespace korvex {

// The control command for the monitor: {"type":"T_MSG_CHECK","data":{"check":<verb>,
// "cmd_idx":"<index>","view_type":"KorvexMonitor","view_object":"","view_param":""}}.
std::string CheckEnvelope(const std::string& verb, uint64_t commandIndex);

// {"type":<type>,"data":<data>}: `data` embedded as it is when it is one JSON object,
// otherwise as a JSON string.
std::string MessageEnvelope(const std::string& type, const std::string& data);

// True when `text` is exactly one JSON object (surrounding white space allowed).
bool IsJsonObject(const std::string& text);

}  // namespace korvex
