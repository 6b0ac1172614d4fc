#include "log/start_notice.h"

namespace velmora {

namespace {
constexpr std::uint32_t kWindowStationVisible = 0x0001;  // WSF_VISIBLE
constexpr std::uint32_t kServicesSession = 0;
}  // namespace

bool noticeBoxCanBeSeen(std::optional<std::uint32_t> windowStationFlags, std::optional<std::uint32_t> sessionId) {
    // Anything that could not be read: better no box than one that never returns.
    return sessionId && *sessionId != kServicesSession && windowStationFlags &&
           (*windowStationFlags & kWindowStationVisible) != 0;
}

}  // namespace velmora
