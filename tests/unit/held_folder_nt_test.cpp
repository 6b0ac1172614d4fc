// What the Windows file system's answers mean to the held-folder layer: the
// answers Wine never gives (oplocks, reparse points, a release without
// OBJ_DONT_REPARSE or POSIX-semantics renames), one table per decision.
#include "common/held_folder_nt.h"

#include <gtest/gtest.h>

namespace velmora {

using namespace ntstatus;

TEST(HeldFolderNt, WhatAnOpenCameTo) {
    struct Row {
        std::uint32_t status;
        bool askedDontReparse;
        OpenOutcome outcome;
        unsigned long layerError;  // with 1234 as the system's error
    };
    const Row rows[] = {
        {kSuccess, true, OpenOutcome::Opened, 1234},
        // Another account's oplock: never waited for.
        {kOplockBreakInProgress, true, OpenOutcome::Busy, kBusy},
        {kCannotBreakOplock, true, OpenOutcome::Busy, kBusy},
        {kSharingViolation, false, OpenOutcome::Busy, kBusy},
        {kObjectNameCollision, true, OpenOutcome::NameTaken, kNameTaken},
        {kReparsePointEncountered, true, OpenOutcome::Link, kNotPlainFile},
        {kStoppedOnSymlink, true, OpenOutcome::Link, kNotPlainFile},
        {kObjectNameNotFound, true, OpenOutcome::Missing, 2},
        {kNotADirectory, true, OpenOutcome::NotFolder, kNotPlainFile},
        {kFileIsADirectory, true, OpenOutcome::NotPlainFile, kNotPlainFile},
        // A release without OBJ_DONT_REPARSE refuses the open as a whole;
        // without the flag the same status is a real refusal.
        {kInvalidParameter, true, OpenOutcome::RetryWithoutDontReparse, 1234},
        {kInvalidParameter, false, OpenOutcome::Failed, 1234},
        {kAccessDenied, true, OpenOutcome::Failed, 1234},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.status);
        const OpenOutcome outcome = openOutcomeOf(row.status, row.askedDontReparse);
        EXPECT_EQ(outcome, row.outcome);
        if (outcome != OpenOutcome::Opened) {
            EXPECT_EQ(layerErrorOf(outcome, 1234), row.layerError);
        }
    }
}

TEST(HeldFolderNt, KindOfWhatWasOpened) {
    struct Row {
        std::uint32_t attributes, tag;
        bool onDisk;
        EntryKind kind;
    };
    const Row rows[] = {
        {0x20, 0, true, EntryKind::PlainFile},
        {0x80, 0, true, EntryKind::PlainFile},
        {0x10, 0, true, EntryKind::Folder},
        {0x410, 0xA0000003, true, EntryKind::Link},  // mount point
        {0x420, 0xA000000C, true, EntryKind::Link},  // symbolic link to a file
        {0x410, 0, true, EntryKind::Link},           // no tag given
        {0x420, 0x80000023, true, EntryKind::Other},  // AF_UNIX socket
        {0x420, 0x80000013, true, EntryKind::Other},  // deduplicated file
        {0x20, 0, false, EntryKind::Other},          // a device or pipe
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.attributes);
        SCOPED_TRACE(row.tag);
        EXPECT_EQ(kindOfObject(row.attributes, row.tag, row.onDisk), row.kind);
    }
}

TEST(HeldFolderNt, RenamesFallBackAndSayWhyTheyFailed) {
    // POSIX semantics always; replacing also ignores a planted read-only
    // attribute.
    EXPECT_EQ(renameExFlags(false), 0x2u);
    EXPECT_EQ(renameExFlags(true), 0x43u);
    // Wine 8 and older releases lack the _EX classes.
    for (const std::uint32_t status : {kNotImplemented, kInvalidInfoClass, kInvalidParameter, kNotSupported}) {
        EXPECT_TRUE(infoClassMissing(status)) << status;
    }
    EXPECT_FALSE(infoClassMissing(kAccessDenied));
    EXPECT_FALSE(infoClassMissing(kObjectNameCollision));

    EXPECT_EQ(renameErrorOf(kObjectNameCollision, 183), kNameTaken);
    EXPECT_EQ(renameErrorOf(kOplockBreakInProgress, 0), kBusy);
    EXPECT_EQ(renameErrorOf(kAccessDenied, 5), 5u);  // kept for the log line
    // Tried again: a reader holds the target (the classic rename's 5), a
    // sharing or lock refusal, an oplock. Not: a missing name, no space.
    for (const unsigned long error : {kBusy, 5ul, 32ul, 33ul}) EXPECT_TRUE(renameIsBusy(error)) << error;
    for (const unsigned long error : {0ul, 2ul, 112ul, kNameTaken, kNotPlainFile}) {
        EXPECT_FALSE(renameIsBusy(error)) << error;
    }
}

TEST(HeldFolderNt, WindowsEntryNames) {
    for (const char* name : {"avInfo.log", "check.json.0123abcd.tmp", "NUL", "a b", "logs.untrusted-1"}) {
        EXPECT_TRUE(isWindowsEntryName(name)) << name;
    }
    // (The rules of every system: held_folder_test.cpp.)
    for (const char* name : {"..", "a\\b", "check.json:stream", "C:", "a*", "a?", "a|b", "<a>",
                             "\"a\"", "tab\there", "logs.", "logs "}) {
        EXPECT_FALSE(isWindowsEntryName(name)) << name;
    }
}

TEST(HeldFolderNt, RulesOfTheFoldersTheRunCreates) {
    const AccountIds accounts{"S-1-5-21-1-2-3-1001", "S-1-5-18", "S-1-5-32-544"};
    // The per-user folder: protected, the account, SYSTEM and Administrators
    // only, inherited by all inside.
    EXPECT_EQ(folderRulesSddl(FolderRules::Private, accounts),
              "D:P(A;OICI;FA;;;S-1-5-21-1-2-3-1001)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
    // Velmora and VelmoraVPN: everyone reads, only the machine changes.
    EXPECT_EQ(folderRulesSddl(FolderRules::Shared, accounts),
              "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;AU)");
    // logs: each account creates and owns its own; no one may change
    // another's, none is granted check.json.
    EXPECT_EQ(folderRulesSddl(FolderRules::Logs, accounts),
              "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200af;;;AU)(A;OINPIO;FR;;;AU)(A;OICIIO;FA;;;CO)");
}

}  // namespace velmora
