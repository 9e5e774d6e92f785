// What the agent's end must see from the client, shared by the tests against the fakes and
// against the stand-in IPC library.
#pragma once

namespace ipcclient_expect {

// The server names the client tries, in this order.
inline constexpr char kServerName[] = "Valko-<Guid(3F7B19C4-52E0-4D8A-B6C1-90A4E27D5B13)>";
inline constexpr char kFallbackServerName[] = "Valko_Guid_3F7B19C4-52E0-4D8A-B6C1-90A4E27D5B13";

// The two registration documents, in JsonCpp's styled layout.
inline constexpr char kFirstDocument[] =
    "{\n"
    "   \"client_list\" : [],\n"
    "   \"is_black\" : 1,\n"
    "   \"is_reg\" : 1,\n"
    "   \"type_list\" : [ \"T_MSG_PLUGIN_HEARTS_ACK\", \"T_MSG_CLIENT_RULE_PUSH\" ]\n"
    "}\n";
inline constexpr char kSecondDocument[] =
    "{\n"
    "   \"client_list\" : [ \"protocol_ipc_client_with_obj_id\" ],\n"
    "   \"is_black\" : 0,\n"
    "   \"is_reg\" : 1,\n"
    "   \"type_list\" : [ \"INTERNAL_MSG_REQUEST_CONTAINER_INFO\", \"T_MSG_NEW_VALKO_INFO\" ]\n"
    "}\n";

// The first configuration request in the standard envelope (protocol version 0).
inline constexpr char kPullConf[] =
    "{\"traceId\":\"\",\"priority\":0,\"type\":\"T_MSG_PULL_CONF\",\"data\":{\"data\":{}}}";

}  // namespace ipcclient_expect
