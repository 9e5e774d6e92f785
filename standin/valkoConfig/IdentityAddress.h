// The machine's identity address: the first IPv4 address of an interface that is not the
// loopback, in dotted decimal.
#pragma once

#include <string>

namespace valko::standin {

// False (and "") when there is none.
bool FirstIpv4Address(std::string* address);

}  // namespace valko::standin
