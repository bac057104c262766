// Delivery through the root logger's sink list and the filtering sinks.
#include <gtest/gtest.h>

#include "KvLogger.h"
#include "Recorder.h"
#include "RootLogger.h"

namespace {

using Calls = std::vector<std::string>;

TEST(RootLogger, HasTheDebuggerSinkFirstAndTheStandardErrorSinkSecond) {
  EXPECT_STREQ(logTag, "ZIR");
  const auto& sinks = rootLogger.sinkList();
  ASSERT_EQ(sinks.size(), 2u);
  auto first = boost::any_cast<cpplog::KvDbgLogger*>(&sinks[0]);
  auto second = boost::any_cast<cpplog::KvStdLogger*>(&sinks[1]);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(*first, rootLogger.debuggerSink());
  EXPECT_EQ(*second, rootLogger.standardErrorSink());
}

TEST(KvLogger, CallsEachSinkInOrderAndPassesOverOtherElements) {
  Calls calls;
  Recorder a(&calls, "dbg"), b(&calls, "std"), c(&calls, "file");
  cpplog::KvDbgLogger dbg(cpplog::TRACE, &a, false);
  cpplog::KvStdLogger stdSink(cpplog::TRACE, &b, false);
  cpplog::KvFileLogger file(cpplog::TRACE, &c, false);
  cpplog::KvLogger root({boost::any(), boost::any(5), &dbg, boost::any(static_cast<cpplog::KvStdLogger*>(nullptr)),
                         boost::any(static_cast<cpplog::BaseLogger*>(&b)), &stdSink, &file});
  cpplog::LogData record(static_cast<cpplog::LogLevel>(99));
  record.stream << "line\n";
  EXPECT_TRUE(root.deliverRecord(&record));
  EXPECT_EQ(calls, (Calls{"dbg", "std", "file"}));
  EXPECT_EQ(b.lines, (std::vector<std::string>{"line\n"}));

  cpplog::KvLogger none(std::vector<boost::any>{});
  EXPECT_TRUE(none.deliverRecord(&record));
  cpplog::KvLogger foreign({boost::any(), boost::any(std::string("sink"))});
  EXPECT_TRUE(foreign.deliverRecord(&record));
}

TEST(KvLogger, ASinkThatKeepsTheRecordStopsTheOnesAfterIt) {
  Calls calls;
  Recorder keeper(&calls, "dbg", false), after(&calls, "std");
  cpplog::KvDbgLogger dbg(cpplog::TRACE, &keeper, false);
  cpplog::KvStdLogger stdSink(cpplog::TRACE, &after, false);
  cpplog::KvLogger root({&dbg, &stdSink});
  cpplog::LogData record(cpplog::INFO);
  EXPECT_FALSE(root.deliverRecord(&record));
  EXPECT_EQ(calls, Calls{"dbg"});

  // A sink that throws ends the round; the answer is the one before it.
  calls.clear();
  Recorder first(&calls, "dbg"), thrower(&calls, "std"), last(&calls, "file");
  thrower.throws = true;
  cpplog::KvDbgLogger sink1(cpplog::TRACE, &first, false);
  cpplog::KvStdLogger sink2(cpplog::TRACE, &thrower, false);
  cpplog::KvFileLogger sink3(cpplog::TRACE, &last, false);
  cpplog::KvLogger throwing({&sink1, &sink2, &sink3});
  EXPECT_TRUE(throwing.deliverRecord(&record));
  EXPECT_EQ(calls, (Calls{"dbg", "std"}));
}

TEST(FilteringLogger, DropsRecordsBelowTheThresholdAndKeepsThoseWithoutTarget) {
  Calls calls;
  cpplog::LogData info(cpplog::INFO), error(static_cast<cpplog::LogLevel>(4));  // ERROR: a <windows.h> macro
  Recorder target(&calls, "target", false);
  cpplog::FilteringLogger warn(cpplog::WARN, &target, false);
  EXPECT_TRUE(warn.deliverRecord(&info));
  EXPECT_TRUE(calls.empty());
  EXPECT_FALSE(warn.deliverRecord(&error));
  EXPECT_EQ(calls, Calls{"target"});

  cpplog::FilteringLogger noTarget(cpplog::TRACE, nullptr, false);
  EXPECT_FALSE(noTarget.deliverRecord(&info));
}

}  // namespace
