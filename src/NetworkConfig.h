// The default server domains of the agent, read from the network configuration file.
#pragma once

// Reads "h_srv_domain" from the unnamed section of <application dir>/conf/network_config,
// splits it at "|" (pieces untrimmed, empty ones kept) and hands the pieces, in file order, to
// CGlobalDomainConfig::SetDefaultSrvDomain with an empty first list. True when the domains
// were accepted; false without a log line when the file is missing or not a regular file, and
// false with a log line when it cannot be loaded or the domain configuration does not exist.
// Keeps nothing after it returns.
bool LoadNetworkConfig();
