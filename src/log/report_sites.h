// The fixed numbers that exception reports carry, so that a log line tells
// which guard fired. They are part of the log's fixed output: a number never
// changes when the code around its guard moves.
//   function level, at error: "Exception in Func [getJsonFromFile:56]: ..."
//   policy groups, at info:   "Exception occured at [103] for av_version check! ERROR: [...]"
//   the parser's outer guard, in the message: "... parseAllServerJs:110, ERROR: ..."
#pragma once

namespace velmora {

constexpr int kReportSiteGetFileExtension = 48;
constexpr int kReportSiteGetFileInfo = 153;
constexpr int kReportSiteGetJsonFromFile = 56;

constexpr int kReportSiteEndpointGroup = 101;
constexpr int kReportSiteAvGroup = 102;
constexpr int kReportSiteAvVersionGroup = 103;
constexpr int kReportSiteOsVersionGroup = 104;
constexpr int kReportSiteRegistryGroup = 105;
constexpr int kReportSiteParseAllServerJs = 110;

}  // namespace velmora
