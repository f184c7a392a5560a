#include "local_time_of.h"

namespace pelorin {

const std::tm& LocalTimeOf(std::time_t when) {
  thread_local bool known = false;
  thread_local std::time_t second = 0;
  thread_local std::tm local{};
  if (!known || when != second) {
    localtime_r(&when, &local);
    second = when;
    known = true;
  }
  return local;
}

}  // namespace pelorin
