#include "log/start_notice.h"

namespace velmora {

namespace {
constexpr std::uint32_t kWindowStationVisible = 0x0001;  // WSF_VISIBLE
}  // namespace

bool noticeBoxCanBeSeen(std::optional<std::uint32_t> windowStationFlags) {
    // Flags that could not be read: better no box than one that never returns.
    return windowStationFlags && (*windowStationFlags & kWindowStationVisible) != 0;
}

}  // namespace velmora
