// After 2038-01-19 03:14:07 UTC, where a 32-bit count of seconds wraps: what the monitor stamps
// with the date still carries it.
#include <gtest/gtest.h>

#include <string>

#include "KorvexCommon/Error.h"
#include "KorvexCommon/KorvexMonitorHeartbeat.h"
#include "support/FakeTransmit.h"
#include "support/TestSupport.h"
#include "valko/Config.h"
#include "valko/MsgTransmitProxy.h"

namespace {

constexpr int64_t kFebruary29th2040Noon = 2214129600;  // 2040-02-29 12:00:00 UTC

TEST(AfterThe32BitClockWraps, TheHeartbeatARecordAndADumpNameKeepTheDate) {
  korvex_test::OpenProcessLog();
  korvex_test::TempAppDir dir;
  korvex_test::FreezeClockUtc(kFebruary29th2040Noon);
  korvex_test::FakeTransmit transmit;
  CMsgTransmitProxy* proxy = CSingleton<CMsgTransmitProxy>::NewInstance();
  ASSERT_NE(proxy, nullptr);
  ASSERT_TRUE(proxy->InitProxy(&transmit));
  ASSERT_NE(CSingleton<CConfig>::NewInstance(), nullptr);

  ASSERT_NE(CSingleton<CKorvexMonitorHeartbeat>::NewInstance(), nullptr);
  ASSERT_EQ(transmit.sent().size(), 1u);
  EXPECT_NE(transmit.sent()[0].data.find("\"ts\" : 2214129600\n"), std::string::npos)
      << transmit.sent()[0].data;

  EnableErrorRecords(true);
  WriteErrorRecord("MonitorError.data", "in 2040");
  EXPECT_EQ(korvex_test::ReadText(dir.File("MonitorError.data")).rfind("2040-02-29 12:00:00 [", 0),
            0u)
      << korvex_test::ReadText(dir.File("MonitorError.data"));
  EXPECT_NE(BuildDumpBasePath(DumpKind::Crash).find("-2040_2_29_12_0_0"), std::string::npos)
      << BuildDumpBasePath(DumpKind::Crash);

  EnableErrorRecords(false);
  CSingleton<CKorvexMonitorHeartbeat>::RemoveInstance();
  CSingleton<CConfig>::RemoveInstance();
  CSingleton<CMsgTransmitProxy>::RemoveInstance();
  korvex_test::FreezeClockUtc(0);
}

}  // namespace
