#include "thread_name.h"

#include <pthread.h>

namespace pelorin {

void NameThisThread(const char* name) { pthread_setname_np(pthread_self(), name); }

}  // namespace pelorin
