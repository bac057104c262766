#pragma once
// The root logger: hands each record to its sinks in order, until one of them keeps it.

#include <boost/any.hpp>
#include <vector>

#include "BaseLogger.h"
#include "KvSinks.h"

namespace cpplog {

class KvLogger : public BaseLogger {
 public:
  // Registers the debugger sink, then the standard-error sink.
  KvLogger();
  // Takes the given sinks and registers none of its own.
  explicit KvLogger(std::vector<boost::any> sinks);
  // Releases the list only; the sinks it points to live on.
  ~KvLogger() override;

  // Each element holding a KvDbgLogger*, KvStdLogger* or KvFileLogger* is called in order;
  // anything else is passed over. Once a sink answers false the rest are not called.
  bool deliverRecord(LogData* record) override;

  // Puts a file sink in its slot, behind the others; a second one is refused.
  void UseFileSink(KvFileLogger* sink);

  const std::vector<boost::any>& sinkList() const { return sinks; }
  KvDbgLogger* debuggerSink() const { return dbgLogger; }
  KvStdLogger* standardErrorSink() const { return stdLogger; }
  KvFileLogger* fileSink() const { return fileLogger; }

 private:
  void RegisterSinks();
  BaseLogger* SinkOf(const boost::any& element) const;

  KvStdLogger* stdLogger = nullptr;
  KvDbgLogger* dbgLogger = nullptr;
  KvFileLogger* fileLogger = nullptr;
  bool useStd = true;
  bool useDbg = true;
  bool useFile = true;
  std::vector<boost::any> sinks;
};

}  // namespace cpplog
