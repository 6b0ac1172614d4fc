// What every table's rows share: the row record, how a row is run (its
// facilities first, then its arrangement, then its checks), and the checks
// that many rows make of a run.
#pragma once

#include "field/field_logic.h"
#include "field/field_machine_win.h"
#include "field/field_run_win.h"
#include "field/field_system_win.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora::field {

struct Row {
    const char* name;              // the row's GoogleTest name
    std::vector<Facility> needs;   // skipped with the reason when one is missing
    void (*run)();
};

// Skips for a missing facility, else runs the row; NotArranged ends it as
// "could not be arranged: ...".
void runRow(const Row& row);
std::string rowName(const testing::TestParamInfo<Row>& info);

// Every run ends within this (the whole-run watchdog's 60 s), plus a margin
// for a loaded machine.
inline constexpr double kRunBoundSeconds = 65;

std::wstring checkJsonPath();
std::wstring userFolder(const std::wstring& user);
std::wstring inventoryPath();  // the -outpath of the usual run

// The usual run: "-av -fw -outpath=<work>\inventory.json".
RunRequest usualRun();

// A folder outside ProgramData holding victim.txt, for a plant to point at.
std::wstring makeOutside();
std::wstring ntPath(const std::wstring& path);  // "\??\C:\..."

// Makes the name another account's, as if that account had planted it:
// owned by LOCAL SERVICE (S-1-5-19), neither SYSTEM nor an administrator.
// Under Wine, which keeps no owners, it does nothing.
void giveToAnotherAccount(const std::wstring& path);

// The names beside name that the program moved it aside to.
std::vector<std::wstring> movedAside(const std::wstring& folder, const std::wstring& name);

// GoogleTest checks of a run: it ended by itself within the bound, and the
// verdict by its name is whole.
void expectEnded(const RunResult& result, double boundSeconds = kRunBoundSeconds);
void expectWholeVerdict();
// A run whose policy could not be read writes none: check.json stays missing.
void expectNoVerdict();

// A fresh Velmora set up as an installer does for a deployment model of
// docs/security.md (field_access_rules.h), the policy written last.
struct DeploymentModel;
void applyDeploymentModel(const DeploymentModel& model);

// GoogleTest names a row by its name in messages.
inline void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

}  // namespace velmora::field
