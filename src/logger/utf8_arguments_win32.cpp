#include "utf8_arguments.h"
#include "wide_text.h"

#include <windows.h>

// The C runtime's own split of the wide command line, by the rules that give
// main its argv. Not shell32's CommandLineToArgvW: shell32 brings user32, and
// Windows then treats the program as a windowed one whose console handler
// never hears of a logoff or a shutdown.
extern "C" {
struct MainArgsStartup {
  int newMode;
};
__declspec(dllimport) int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment,
                                                 int expandWildcards, MainArgsStartup* startup);
}

namespace pelorin::logger {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = nullptr;
  wchar_t** environment = nullptr;
  MainArgsStartup startup{0};
  if (__wgetmainargs(&count, &wide, &environment, 0, &startup) < 0 || wide == nullptr) {
    return {argv, argv + argc};
  }
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Narrow(wide[i]));
  return arguments;
}

}  // namespace pelorin::logger
