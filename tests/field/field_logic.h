// The field tests' own decisions, kept free of Windows so that the unit tests
// can check them on both targets: how a row's end is counted, which facility
// a machine lacks and why, what a whole verdict is, and how the machine's own
// answers (the Security Center's WMI classes, PowerShell's status cmdlets, a
// file's version resource) are compared with the program's inventory.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velmora::field {

// ---- how a row ended ----
enum class Outcome { Passed, Failed, Skipped, NotArranged };

// A row whose plant or account the system refused skips with this prefix
// before the system's error: it is no fault of the program.
inline constexpr const char* kNotArrangedPrefix = "could not be arranged: ";

Outcome outcomeOf(bool failed, bool skipped, const std::string& skipMessage);

struct Tally {
    int passed = 0;
    int failed = 0;
    int skipped = 0;
    int notArranged = 0;
};
void count(Tally& tally, Outcome outcome);

// "fieldtests: 3 passed, 0 failed, 2 skipped, 1 not arranged"
std::string closingLine(const Tally& tally);
// The counts back from such a line (the workflow and the Wine check read it);
// nullopt for any other text.
std::optional<Tally> parseClosingLine(const std::string& line);

// 0 when nothing failed; 1 when a row failed; 2 when, asked to, a row that
// could not be arranged counts against the run (under Wine every row that
// runs there must be arranged).
int exitStatusOf(const Tally& tally, bool requireArranged);

// ---- what the machine lacks ----
struct MachineFacts {
    bool wine = false;
    bool administrator = false;
    bool securityCenter = false;  // root\SecurityCenter2 answers
    bool server = false;          // a Server edition (no Security Center)
    unsigned build = 0;           // Windows build number
};

enum class Facility {
    Administrator,       // rights to make accounts, services, plants of others
    MountPoints,         // FSCTL_SET_REPARSE_POINT
    SymbolicLinks,       // CreateSymbolicLinkW that makes a link
    ObjectManagerLinks,  // symbolic links in \RPC Control
    FileSecurity,        // owners and DACLs kept on files
    SecondAccount,       // NetUserAdd makes an account that can log on
    SystemAccount,       // a service that runs as LocalSystem
    Oplocks,             // FSCTL_REQUEST_OPLOCK
    PosixRename,         // FILE_RENAME_FLAG_POSIX_SEMANTICS
    SecurityCenter,      // root\SecurityCenter2
    ServerStatus,        // a Server's Defender and firewall cmdlets
};

// Why a row needing this facility is skipped here, nullopt when it can run.
// A reason that holds only under Wine is given only under Wine: on Windows
// the row runs, and a refusal there is "could not be arranged".
std::optional<std::string> whyUnavailable(Facility facility, const MachineFacts& machine);

// ---- the verdict ----
// check.json as a reader may see it: exactly three lines each ended by CR LF,
// the first "0" or "1", the second one of the six messages, the third
// without CR or LF.
bool isWholeVerdict(const std::string& bytes);

// ---- the Security Center's own account of its products ----
struct ProductSeen {
    std::string name;
    std::string state;  // "on", "off", "snoozed", "expired"
    bool operator<(const ProductSeen& other) const;
    bool operator==(const ProductSeen& other) const;
};

// productState of AntiVirusProduct, AntiSpywareProduct and FirewallProduct
// (root\SecurityCenter2) as the inventory names it (the bits: field_logic.cpp).
std::string stateFromProductState(std::uint32_t productState);

// The products of one kind ("av", "antispyware", "firewall") of an inventory
// document; none when the member is missing or null.
std::vector<ProductSeen> productsOfKind(const nlohmann::json& inventory, const std::string& kind);

// What differs between the inventory and the independent source, one text
// per difference; empty when they agree. Order does not count: WMI
// enumerates in an order of its own.
std::vector<std::string> compareProducts(const std::vector<ProductSeen>& inventory,
                                         const std::vector<ProductSeen>& source);

// ---- a Server's status, as PowerShell prints it ----
// Lines "Name=Value" (as the field tests' PowerShell commands print them);
// other lines are ignored. A name may repeat (one line per profile).
std::multimap<std::string, std::string> parseNameValueLines(const std::string& text);

// The state the inventory must give Defender standing in for kind "av" or
// "antispyware", from Get-MpComputerStatus's properties, by the documented
// rule; nullopt when Defender's status has no AMServiceEnabled at all.
std::optional<std::string> expectedDefenderState(const std::multimap<std::string, std::string>& status,
                                                 bool antispyware);

// The state of "Windows Firewall": "on" when every current profile is
// enabled. profiles: "Domain=True"... from Get-NetFirewallProfile;
// categories: NetworkCategory of each connection ("DomainAuthenticated",
// "Private", "Public") from Get-NetConnectionProfile.
std::string expectedFirewallState(const std::multimap<std::string, std::string>& profiles,
                                  const std::vector<std::string>& categories);

// ---- access rules ----
// One entry of a DACL as plain facts: the SID as text, the access mask, the
// ACE flags (OBJECT_INHERIT_ACE 0x1, CONTAINER_INHERIT_ACE 0x2,
// INHERIT_ONLY_ACE 0x8, INHERITED_ACE 0x10); allow entries only.
struct AceFacts {
    std::string sid;
    std::uint32_t mask = 0;
    std::uint8_t flags = 0;
};

// The entries a new file gets from its folder's inheritable ones, as
// Windows makes them: each object-inheritable entry, CREATOR OWNER (S-1-3-0)
// becoming the file's owner, generic rights mapped to file rights; flags
// cleared. Sorted by SID, then mask.
std::vector<AceFacts> inheritedByNewFile(const std::vector<AceFacts>& folder, const std::string& fileOwner);

// Equal as sets of (SID, mask), flags aside.
bool sameGrants(std::vector<AceFacts> left, std::vector<AceFacts> right);

// "S-1-5-18:0x1f01ff,..." for messages.
std::string describeGrants(const std::vector<AceFacts>& aces);

// "a.b.c.d" from the two halves of VS_FIXEDFILEINFO's product version.
std::string versionFromFixed(std::uint32_t mostSignificant, std::uint32_t leastSignificant);

}  // namespace velmora::field
