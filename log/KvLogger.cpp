#include "KvLogger.h"

#include <utility>

namespace cpplog {

KvLogger::KvLogger() { RegisterSinks(); }

KvLogger::KvLogger(std::vector<boost::any> sinks) : sinks(std::move(sinks)) {}

KvLogger::~KvLogger() = default;

void KvLogger::RegisterSinks() {
  dbgLogger = new KvDbgLogger;
  sinks.emplace_back(dbgLogger);
  stdLogger = new KvStdLogger;
  sinks.emplace_back(stdLogger);
}

void KvLogger::UseFileSink(KvFileLogger* sink) {
  if (fileLogger || !sink) return;
  fileLogger = sink;
  sinks.emplace_back(sink);
}

BaseLogger* KvLogger::SinkOf(const boost::any& element) const {
  if (auto standardError = boost::any_cast<KvStdLogger*>(&element)) return useStd ? *standardError : nullptr;
  if (auto debugger = boost::any_cast<KvDbgLogger*>(&element)) return useDbg ? *debugger : nullptr;
  if (auto file = boost::any_cast<KvFileLogger*>(&element)) return useFile ? *file : nullptr;
  return nullptr;
}

bool KvLogger::deliverRecord(LogData* record) {
  bool answer = true;
  for (const boost::any& element : sinks) {
    if (!answer) break;
    BaseLogger* sink = SinkOf(element);
    if (!sink) continue;
    try {
      answer = sink->deliverRecord(record);
    } catch (...) {
      break;  // the answer as it stood before this sink
    }
  }
  return answer;
}

}  // namespace cpplog
