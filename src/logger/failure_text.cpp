#include "failure_text.h"

#include "csv_log.h"
#include "link_error.h"
#include "system_message.h"

#include <cerrno>
#include <system_error>

namespace pelorin::logger {

std::string DescribeFailure(int32_t code) {
  static constexpr struct {
    int32_t code;
    const char* meaning;
  } kLinkFailures[] = {
      {LinkError::NotConnected, "not connected"}, {LinkError::NotOpen, "the link is not open"},
      {LinkError::Timeout, "no answer in time"},  {LinkError::CommandError, "the command is too long"},
      {LinkError::BufferError, "a frame too long"}, {LinkError::Abort, "aborted"},
  };
  for (const auto& failure : kLinkFailures) {
    if (failure.code == code) return "error " + std::to_string(code) + ": " + failure.meaning;
  }
  return "error " + std::to_string(code) + ": " + SystemMessage(code);
}

std::string DescribeLogFailure(int32_t code) {
  std::string meaning;
  if (code == ETIMEDOUT) {
    meaning = "the file system did not answer within " + Seconds(CsvLog::kStallLimit);
  } else if (code == EAGAIN) {
    meaning = "another program holds the file (another logger, or a spreadsheet that has it open)";
  } else {
    meaning = std::generic_category().message(code);
  }
  return "error " + std::to_string(code) + ": " + meaning;
}

}  // namespace pelorin::logger
