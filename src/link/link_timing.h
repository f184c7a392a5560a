#pragma once

#include <chrono>
#include <cstdint>

#include "gateway_link.h"

namespace pelorin {

using LinkClock = std::chrono::steady_clock;

inline constexpr int kIdleWaitMs = 100;
inline constexpr int kReopenPauseMs = 500;
// After a read that found bytes and left none behind, the next read waits
// this long, so that a gateway's stream is taken about 20 times a second in
// larger pieces instead of once per report; the window shows each piece as it
// comes, so this is also its pace of refresh. A read that fills the staging
// buffer is followed by the next at once.
inline constexpr int kGatherMs = 45;
inline constexpr int kCommandPollMs = 100;
// A command's wait for its reply looks for an abort this often.
inline constexpr int kAbortSliceMs = 10;
// A connect's readiness wait looks for an abort this often.
inline constexpr int kConnectSliceMs = 50;
// Draining turns Open at the first quiet moment. A gateway that never pauses
// gets the link Open at the next terminator after kDrainQuietLimit, and at
// kDrainHardLimit at the latest, skipping to the next terminator from there.
inline constexpr auto kDrainQuietLimit = std::chrono::milliseconds(1000);
inline constexpr auto kDrainHardLimit = std::chrono::milliseconds(2000);
// TCP keep-alive: after this many seconds without a byte either way the
// system asks the gateway whether the connection still stands, again every
// kKeepAliveIntervalSeconds; kKeepAliveProbes unanswered questions end the
// connection. A gateway that silently went away (a pulled cable, a power
// cut, a switch that forgot the connection) is so found in about 13 s,
// however seldom its nodes report.
inline constexpr int kKeepAliveIdleSeconds = 5;
inline constexpr int kKeepAliveIntervalSeconds = 2;
inline constexpr int kKeepAliveProbes = 4;

constexpr int32_t ToInt(LinkState s) { return static_cast<int32_t>(s); }

}  // namespace pelorin
