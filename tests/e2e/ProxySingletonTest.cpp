// The agent module loaded at run time reaches the main agent through the transmit proxy whose
// singleton the executable exports: a module holding a singleton of its own would find no
// interface and stay silent.
#include "e2e/MonitorSessionTest.h"

namespace e2e {
namespace {

class ProxySingletonTest : public MonitorSessionTest {};

TEST_F(ProxySingletonTest, TheEchoModuleAnswersThroughTheExecutablesProxy) {
  ASSERT_TRUE(StartConnectedSession());
  ASSERT_TRUE(agent_.Send("T_MSG_ECHO", "{\"via\":\"proxy\"}"));
  AgentEvent answer;
  ASSERT_TRUE(agent_.WaitForMessage("T_MSG_ECHO_ACK", 1, &answer));
  EXPECT_EQ(answer.data, "{\"via\":\"proxy\"}");
}

}  // namespace
}  // namespace e2e
