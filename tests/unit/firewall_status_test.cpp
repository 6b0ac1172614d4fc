// Windows Firewall's status in the Security Center's terms, and what the
// status.json of a test machine's policy object makes its methods answer.
#include <gtest/gtest.h>

#include "common/status_codes.h"
#include "inventory/firewall_status.h"
#include "standin/firewall_status_file.h"

namespace velmora {

namespace {

TEST(FirewallStatus, OnOnlyWhenEnabledInEveryCurrentProfile) {
    constexpr std::int32_t on = 0, off = 1;
    struct Case {
        std::uint32_t current, enabled;
        std::int32_t state;
    };
    const Case cases[] = {
        {1, 1, on}, {3, 3, on}, {7, 7, on},
        {2, 7, on},   // profiles not current do not count
        {6, 2, off},  // off in one of two current profiles
        {1, 0, off},
        {0, 7, off},  // no current profile: nothing is guarded
        {8 | 1, 1, on},  // bits that are no profile are not asked about
    };
    for (const Case& c : cases) {
        EXPECT_EQ(firewallProductState({c.current, c.enabled}), c.state) << c.current << " " << c.enabled;
    }
}

TEST(FirewallStatusFile, WhatTheMethodsAnswer) {
    struct Case {
        const char* text;
        std::int32_t currentHr;
        std::int32_t enabledHr;  // asked for profile 1
    };
    const Case cases[] = {
        {R"({"CurrentProfileTypes": 1, "FirewallEnabled": {"1": true}})", 0, 0},
        {R"({"CurrentProfileTypes": 1, "FirewallEnabled": {"2": true}})", 0, kHrInvalidArg},
        {R"({"CurrentProfileTypes": 1, "FirewallEnabled": {"1": true},
             "fail": {"method": "get_CurrentProfileTypes", "hresult": "0x80070005"}})",
         hresultFromBits(0x80070005u), 0},
        {R"({"CurrentProfileTypes": -1, "FirewallEnabled": {}})", kHrFail, kHrFail},
        {R"({"CurrentProfileTypes": 1, "FirewallEnabled": {"01": true}})", kHrFail, kHrFail},
        {R"({"CurrentProfileTypes": 1, "FirewallEnabled": {"1": 1}})", kHrFail, kHrFail},
        {R"({"CurrentProfileTypes": 1, "FirewallEnabled": {}, "fail": {"method": "x", "hresult": "5"}})",
         kHrFail, kHrFail},
        {R"({"FirewallEnabled": {}})", kHrFail, kHrFail},
        // Nine hex digits are no HRESULT: the file is refused, not cut to 32 bits.
        {R"({"CurrentProfileTypes": 1, "FirewallEnabled": {"1": true},
             "fail": {"method": "get_CurrentProfileTypes", "hresult": "0x800700005"}})", kHrFail, kHrFail},
    };
    for (const Case& c : cases) {
        FirewallStatusFile status;
        parseFirewallStatusFile(c.text, status);
        std::int32_t current = 0;
        bool enabled = false;
        EXPECT_EQ(serveCurrentProfileTypes(status, current), c.currentHr) << c.text;
        EXPECT_EQ(serveFirewallEnabled(status, 1, enabled), c.enabledHr) << c.text;
    }
}

}  // namespace

}  // namespace velmora
