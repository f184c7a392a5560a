#pragma once

#include "gateway_link.h"
#include "report_sink.h"

#include <cstdint>

namespace pelorin::protocol {

// A session of node reports on a gateway link, the same for the window and
// for the unattended logger: the link's frames go to the frame handler, which
// decodes each report into the sink; node 0's start command "MD" makes the
// gateway send them.

// Sets the link's frames going to sink and opens it (draining what waits).
// 0 or the link's failure code; on failure no frame reaches the sink.
int32_t OpenReportSession(GatewayLink& link, ReportSink& sink);

// Sends the start command and waits up to waitSeconds for the gateway's
// answer. 0, or the failure code after the session has been closed.
int32_t StartReports(GatewayLink& link, int32_t waitSeconds);

// No frame reaches the sink from here on; then the link closes.
void CloseReportSession(GatewayLink& link);

}  // namespace pelorin::protocol
