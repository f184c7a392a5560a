#pragma once

#include <cstdint>

namespace pelorin::protocol {

// The monitor window's FrameHandler (a link FrameHandler function), registered with its GatewayLink with the
// window's ReportSink as the owner pointer. Returns 1 for a node report ("WU",
// decoded into the sink) and for the gateway's reply "md", 0 for anything else.
int32_t FrameHandler(void* owner, const uint8_t* frame, int32_t length);

}  // namespace pelorin::protocol
