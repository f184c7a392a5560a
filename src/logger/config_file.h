#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelorin::logger {

// One name=value line of an options file.
struct ConfigSetting {
  int line = 0;
  std::string name;   // as the option is named, without its dashes
  std::string value;
  bool hasValue = false;  // false for a bare name, which sets a flag
};

// Reads the text of an options file, a file that the shell can read too
// (/etc/default/…): one name=value a line, '#' starting a comment at the
// start of a word, a value in double or single quotes when it holds spaces
// or '#'. Unlike the shell, a backslash is an ordinary character, so that a
// Windows path needs no doubling. An underscore in a name stands for a dash,
// which a shell variable's name cannot hold. A leading UTF-8 byte order mark
// and CR line ends are taken as a Windows editor writes them. An empty
// string, or the line's number, a colon and what is wrong ("3: …").
std::string ParseConfigText(std::string_view text, std::vector<ConfigSetting>* settings);

// Reads and parses the file at path (UTF-8), with every problem told as
// "PATH: …" or "PATH:N: …".
std::string ReadConfigFile(const std::string& path, std::vector<ConfigSetting>* settings);

}  // namespace pelorin::logger
