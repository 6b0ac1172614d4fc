// The description of Windows Firewall's policy object that tests hand to the
// program: <ProgramData>/Firewall/status.json. One reader serves the Linux
// stand-in and the test policy object for Windows, so both answer the same
// file the same way.
//
//   { "CurrentProfileTypes": 3, "FirewallEnabled": { "1": true, "2": true, "4": false },
//     "fail": { "method": "get_FirewallEnabled", "hresult": "0x80070005" }, "delay_ms": 0 }
//
// "CurrentProfileTypes" is what get_CurrentProfileTypes returns (a whole
// number from 0 to 2^31 - 1). "FirewallEnabled" maps profile values, as
// decimal strings, to what get_FirewallEnabled returns for them; a profile
// absent there makes that call fail with E_INVALIDARG. "fail" makes the
// named method fail with that code ("0x" and 8 hex digits); "delay_ms" delays
// each answer. Other members are ignored.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace velmora {

struct FirewallStatusFile {
    bool usable = false;  // false: the file is no such object
    std::int32_t currentProfileTypes = 0;
    std::map<std::uint32_t, bool> firewallEnabled;
    std::string failMethod;  // empty: no call is made to fail
    std::int32_t failHresult = 0;
    std::uint32_t delayMs = 0;
};

// Parses the file's bytes. False (and out left not usable) when they are not
// a JSON object of the shape above.
bool parseFirewallStatusFile(const std::string& bytes, FirewallStatusFile& out);

// <ProgramData><sep>Firewall<sep>status.json
std::string firewallStatusFilePath();

// Creating the object: reads the file afresh. kHrClassNotRegistered when it
// cannot be opened (no firewall component); 0 otherwise, with out not usable
// when the file cannot be read or has a bad shape.
std::int32_t loadFirewallStatus(FirewallStatusFile& out);

// The two methods, each after the file's delay: E_FAIL for a file that is
// not usable, the injected code for the method "fail" names, E_INVALIDARG
// for a profile the file does not map.
std::int32_t serveCurrentProfileTypes(const FirewallStatusFile& status, std::int32_t& out);
std::int32_t serveFirewallEnabled(const FirewallStatusFile& status, std::uint32_t profile, bool& out);

}  // namespace velmora
