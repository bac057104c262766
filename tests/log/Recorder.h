#pragma once
// A logger for tests: notes who was called and the line it got, and answers as told.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "BaseLogger.h"
#include "CustomLogMessage.h"
#include "LogData.h"

struct Recorder : cpplog::BaseLogger {
  explicit Recorder(std::vector<std::string>* calls = nullptr, std::string name = {}, bool answer = true)
      : calls(calls), name(std::move(name)), answer(answer) {}

  bool deliverRecord(cpplog::LogData* record) override {
    if (calls) calls->push_back(name);
    lines.emplace_back(record->buffer, record->length());
    if (throws) throw std::runtime_error("sink failed");
    return answer;
  }

  std::vector<std::string>* calls;
  std::string name;
  bool answer;
  bool throws = false;
  std::vector<std::string> lines;
};

// The header of a record made now, with the text after it.
inline std::string LineOf(const std::string& text, cpplog::LogLevel level = cpplog::INFO) {
  Recorder logger;
  { n_log::CustomLogMessage(__FILE__, __LINE__, level, logger).stream() << text; }
  EXPECT_EQ(logger.lines.size(), 1u);
  return logger.lines.empty() ? std::string() : logger.lines[0];
}
