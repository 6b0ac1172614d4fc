// The machine the field tests run on, and everything they change on it:
// C:\ProgramData\Velmora is moved aside at the start (renamed to
// Velmora.fieldtests-backup, which keeps its owners, ACLs and times) and put
// back at the end; the test account, its profile, the temporary services and
// the scratch folder are removed. The end runs also after a failed row, an
// exception, Ctrl+C or a crash; a run that was killed outright is undone by
// "--restore", and the next run refuses to start until then.
#pragma once

#include "field/field_logic.h"

#include <optional>
#include <string>

namespace velmora::field {

struct TestAccount {
    std::wstring name;
    std::wstring password;  // random, in memory only
    std::string sid;
};

struct FieldMachine {
    MachineFacts facts;
    std::wstring programData = L"C:\\ProgramData";
    std::wstring velmora = L"C:\\ProgramData\\Velmora";
    std::wstring logs = L"C:\\ProgramData\\Velmora\\VelmoraVPN\\logs";
    std::wstring work;  // scratch folder of this run (outside ProgramData)
    std::wstring userName;  // the per-user folder of runs as the current account
};

FieldMachine& machine();

// Moves the machine's Velmora aside and makes the scratch folder; false (and
// why) when that is not safe, for example after a run that never finished.
bool setUpMachine(std::string& error);
// Puts everything back; safe to call more than once.
void restoreMachine();
// "--restore": undoes what a killed run left. 0 when the machine is as before.
int restoreAfterKilledRun();

// An empty C:\ProgramData\Velmora\VelmoraVPN\logs, made anew, and nothing
// left of earlier rows (moved-aside names included).
void freshVelmora();

// The test account, made on first use; throws NotArranged when the system
// refuses (or, under Wine, makes no real account).
const TestAccount& testAccount();

// Full access to path for one SID, added to its DACL (scratch folders the
// test account writes its inventory in).
void grantFullAccess(const std::wstring& path, const std::string& sid);

// Under Wine only: a Security Center of the test prefix's fake COM server,
// serving one antivirus with a real executable, so that the inventory has a
// product (without one a run writes no verdict). Made by setUpMachine.
// Never on Windows, where the machine's own answers are the point.
void arrangeWineProducts();

}  // namespace velmora::field
