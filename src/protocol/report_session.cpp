#include "report_session.h"

#include "frame_handler.h"

namespace pelorin::protocol {

namespace {

void HandOverReports(void* owner) { static_cast<ReportSink*>(owner)->ReportsHandedOver(); }

}  // namespace

int32_t OpenReportSession(GatewayLink& link, ReportSink& sink) {
  link.owner = &sink;
  link.handler = &FrameHandler;
  link.batchHandler = &HandOverReports;
  const LinkStatus status = link.Open();
  if (!status.ok()) link.owner = nullptr;
  return status.code;
}

int32_t StartReports(GatewayLink& link, int32_t waitSeconds) {
  const LinkStatus status = link.SendCommand(0, waitSeconds, "MD");
  if (!status.ok()) CloseReportSession(link);
  return status.code;
}

void CloseReportSession(GatewayLink& link) {
  link.owner = nullptr;
  link.Close();
}

}  // namespace pelorin::protocol
