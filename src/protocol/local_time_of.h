#pragma once

#include <ctime>

namespace pelorin {

// The local time of a second. Reports come many times a second and every one
// is stamped with its second, while a conversion can cost far more than the
// rest of a report (some systems read the time zone again each time): each
// thread converts a second once and keeps the result until the next second.
const std::tm& LocalTimeOf(std::time_t when);

}  // namespace pelorin
