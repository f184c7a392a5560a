#include "config_file.h"

#include "small_file.h"
#include "system_message.h"

#include <algorithm>

namespace pelorin::logger {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// An options file is a few lines; anything larger is some other file.
constexpr size_t kLargestFile = 64 * 1024;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// An option's name, its underscores read as dashes; empty when the text is
// no name.
std::string OptionName(std::string_view text) {
  std::string name;
  for (const char c : text) {
    const bool letterOrDigit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!letterOrDigit && c != '-' && c != '_') return {};
    name.push_back(c == '_' ? '-' : c);
  }
  return name;
}

// What follows a word: nothing, or a comment.
bool OnlyComment(std::string_view rest) {
  rest = Trimmed(rest);
  return rest.empty() || rest.front() == '#';
}

// A value as the shell reads one word: unquoted text and quoted parts, up to
// the first unquoted blank. Empty, or what is wrong.
std::string ParseValue(std::string_view text, std::string* value) {
  size_t at = 0;
  while (at < text.size() && !IsBlank(text[at])) {
    const char c = text[at];
    if (c == '"' || c == '\'') {
      const size_t close = text.find(c, at + 1);
      if (close == std::string_view::npos) {
        return c == '"' ? "the double quote is not closed" : "the single quote is not closed";
      }
      value->append(text.substr(at + 1, close - at - 1));
      at = close + 1;
    } else {
      value->push_back(c);
      ++at;
    }
  }
  if (!OnlyComment(text.substr(at))) return "a value with spaces must be in double quotes";
  return {};
}

std::string ParseLine(std::string_view line, ConfigSetting* setting) {
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) {
    // A bare name: a flag that is set. A comment may follow it.
    const size_t blank = line.find_first_of(" \t");
    if (blank != std::string_view::npos && !OnlyComment(line.substr(blank))) {
      return "expected name=value";
    }
    setting->name = OptionName(line.substr(0, blank));
    return setting->name.empty() ? "expected name=value" : "";
  }
  setting->name = OptionName(Trimmed(line.substr(0, equals)));
  if (setting->name.empty()) return "expected name=value";
  setting->hasValue = true;
  return ParseValue(Trimmed(line.substr(equals + 1)), &setting->value);
}

}  // namespace

std::string ParseConfigText(std::string_view text, std::vector<ConfigSetting>* settings) {
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
  int number = 0;
  while (!text.empty()) {
    ++number;
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = Trimmed(line);
    if (line.empty() || line.front() == '#') continue;

    ConfigSetting setting;
    setting.line = number;
    if (std::string problem = ParseLine(line, &setting); !problem.empty()) {
      return std::to_string(number) + ": " + problem;
    }
    const auto earlier = std::find_if(settings->begin(), settings->end(),
                                      [&](const ConfigSetting& s) { return s.name == setting.name; });
    if (earlier != settings->end()) {
      return std::to_string(number) + ": " + setting.name + " is given twice (first on line " +
             std::to_string(earlier->line) + ")";
    }
    settings->push_back(std::move(setting));
  }
  return {};
}

std::string ReadConfigFile(const std::string& path, std::vector<ConfigSetting>* settings) {
  std::string text;
  if (const int32_t error = ReadSmallFile(path, kLargestFile, &text); error != 0) {
    return path + ": cannot read it: " + SystemMessage(error);
  }
  if (text.size() > kLargestFile) return path + ": larger than 64 KiB, which no options file is";
  const std::string problem = ParseConfigText(text, settings);
  return problem.empty() ? problem : path + ":" + problem;
}

}  // namespace pelorin::logger
