#include "log/log_folder.h"

#include "common/machine_paths.h"
#include "log/logger.h"

#include <algorithm>

namespace velmora {

namespace {

// A name is inspected at most this often: missing, then created; or
// untrusted, then moved aside, created and inspected once more. A name that
// is still not settled is being fought over, and is passed over.
constexpr int kInspectionsPerName = 3;
// Fresh passed-over names tried before giving up: each is unpredictable, so
// one taken in between is already very unlikely.
constexpr int kPassOverAttempts = 3;
constexpr std::size_t kPassedOverDigits = 32;

struct ChainFolder {
    const char* name;
    FolderRules rules;
};
constexpr ChainFolder kFolderChain[] = {
    {"Velmora", FolderRules::Shared}, {"VelmoraVPN", FolderRules::Shared}, {"logs", FolderRules::Logs}};

std::string joined(const std::string& folder, const std::string& name) {
    return folder + pathSeparator() + name;
}

std::string errorText(const char* what, const std::string& path, unsigned long error) {
    return std::string(what) + " [" + path + "] (error " + std::to_string(error) + ")";
}

enum class MoveResult { Moved, NotPossible };

// Renames name to the first free "<name>.untrusted-<n>". The rename moves a
// link itself, never what it points to.
MoveResult moveAside(const OpenFolder& parent, const std::string& name, bool isFolder, PreparedLogFolder& out) {
    for (unsigned n = 1; n <= kMaxMovedAsideNumber; ++n) {
        const std::string target = movedAsideName(name, n);
        const unsigned long error = renameIn(parent, name, target, false);
        if (error == 0) {
            out.movedAside.push_back({isFolder, false, joined(parent.path, name), joined(parent.path, target)});
            return MoveResult::Moved;
        }
        if (error != kNameTaken) break;
    }
    return MoveResult::NotPossible;
}

// A folder the running account owns is used as the per-user folder is:
// its DACL set again. Empty when it cannot be.
HeldFolder useOwnFolder(FolderProbe& probe, FolderRules rules, const AccountIds& accounts) {
    if (!probe.opened || !passedOverFolderIsOurs(probe.facts, accounts)) return nullptr;
    if (rules == FolderRules::Private && protectUserFolder(*probe.opened, accounts) != 0) return nullptr;
    return std::move(probe.opened);
}

// The name could not be settled: an earlier run's "<name>.<hex>" of this
// account is used again, else a new one is made. The smallest such name is
// taken, so that every run of the account picks the same one.
HeldFolder passOver(const OpenFolder& parent, const std::string& name, FolderRules rules, const AccountIds& accounts,
                    PreparedLogFolder& out) {
    std::vector<std::string> earlier;
    for (const std::string& entry : entriesOf(parent)) {
        if (isPassedOverName(entry, name)) earlier.push_back(entry);
    }
    std::sort(earlier.begin(), earlier.end());
    for (int attempt = 0; attempt < kPassOverAttempts; ++attempt) earlier.push_back(name + '.' + unpredictableName());
    for (const std::string& candidate : earlier) {
        FolderProbe probe = probeFolder(parent, candidate);
        if (probe.facts.kind == EntryKind::Missing) {
            if (createFolder(parent, candidate, rules, accounts) != 0) continue;
            probe = probeFolder(parent, candidate);
        }
        if (HeldFolder used = useOwnFolder(probe, rules, accounts)) {
            out.movedAside.push_back({true, true, joined(parent.path, name), used->path});
            return used;
        }
    }
    out.failure = "The log folder [" + joined(parent.path, name) +
                  "] could not be trusted, moved aside or passed over";
    return nullptr;
}

// Opens parent/name as a folder the run may use, creating or replacing it as
// the decision says. Empty on failure (out.failure says why).
HeldFolder settleFolder(const OpenFolder& parent, const std::string& name, FolderRules rules,
                        const AccountIds& accounts, PreparedLogFolder& out) {
    const bool forUser = rules == FolderRules::Private;
    for (int inspection = 0; inspection < kInspectionsPerName; ++inspection) {
        FolderProbe probe = probeFolder(parent, name);
        FolderStep step =
            forUser ? decideUserFolder(probe.facts, accounts) : decideAncestorFolder(probe.facts, accounts);
        if (step == FolderStep::FollowLink) {
            FolderProbe followed = openTrustedLink(parent, name);
            if (followed.opened && followed.facts.kind == EntryKind::Folder) return std::move(followed.opened);
            step = FolderStep::MoveAside;  // dangling, or changed since: not what an administrator made
        }
        if (step == FolderStep::MoveAside) {
            probe.opened.reset();  // a held handle would keep it from being renamed
            if (moveAside(parent, name, true, out) == MoveResult::NotPossible) {
                return passOver(parent, name, rules, accounts, out);
            }
            continue;
        }
        if (step == FolderStep::Create) {
            const unsigned long error = createFolder(parent, name, rules, accounts);
            if (error != 0 && error != kNameTaken) {
                out.failure = errorText("Cannot create the log folder", joined(parent.path, name), error);
                return nullptr;
            }
            continue;
        }
        if (!probe.opened) {
            out.failure = errorText("Cannot open the log folder", joined(parent.path, name), probe.error);
            return nullptr;
        }
        if (step == FolderStep::UseAndProtect) {
            const unsigned long error = protectUserFolder(*probe.opened, accounts);
            if (error != 0) {
                out.failure = errorText("Cannot protect the log folder", probe.opened->path, error);
                return nullptr;
            }
        }
        return std::move(probe.opened);
    }
    return passOver(parent, name, rules, accounts, out);
}

bool ownedBySystemOrAdministrators(const EntryFacts& facts, const AccountIds& accounts) {
    return facts.owner && (*facts.owner == accounts.system || *facts.owner == accounts.administrators);
}

}  // namespace

FolderStep decideAncestorFolder(const EntryFacts& facts, const AccountIds& accounts) {
    switch (facts.kind) {
    case EntryKind::Missing: return FolderStep::Create;
    case EntryKind::Folder: return FolderStep::Use;
    case EntryKind::Link:
        return ownedBySystemOrAdministrators(facts, accounts) ? FolderStep::FollowLink : FolderStep::MoveAside;
    default: return FolderStep::MoveAside;
    }
}

FolderStep decideUserFolder(const EntryFacts& facts, const AccountIds& accounts) {
    if (facts.kind == EntryKind::Missing) return FolderStep::Create;
    if (facts.kind != EntryKind::Folder || !facts.owner) return FolderStep::MoveAside;
    if (*facts.owner == accounts.running) return FolderStep::UseAndProtect;
    return ownedBySystemOrAdministrators(facts, accounts) ? FolderStep::Use : FolderStep::MoveAside;
}

bool logFileCanBeUsed(const EntryFacts& facts) {
    return facts.kind == EntryKind::Missing || (facts.kind == EntryKind::PlainFile && facts.linkCount == 1);
}

std::string movedAsideName(const std::string& name, unsigned number) {
    return name + ".untrusted-" + std::to_string(number);
}

bool isPassedOverName(const std::string& entry, const std::string& name) {
    if (entry.size() != name.size() + 1 + kPassedOverDigits || entry.compare(0, name.size(), name) != 0 ||
        entry[name.size()] != '.') {
        return false;
    }
    return std::all_of(entry.begin() + static_cast<std::ptrdiff_t>(name.size() + 1), entry.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool passedOverFolderIsOurs(const EntryFacts& facts, const AccountIds& accounts) {
    return facts.kind == EntryKind::Folder && facts.owner && *facts.owner == accounts.running;
}

PreparedLogFolder prepareLogFolder(const std::string& userName) {
    PreparedLogFolder out;
    out.logFilePath = joined(joined(vpnLogDirectory(), userName), kLogFileName);
    // No account name is one of these, but "." or ".." would make the shared
    // folder itself, or its parent, the log folder.
    if (!isOneComponent(userName)) {
        out.failure = "The user name [" + userName + "] cannot name a log folder";
        return out;
    }
    const AccountIds accounts = runningAccountIds();
    unsigned long error = 0;
    HeldFolder parent = openProgramData(error);
    if (!parent) {
        out.failure = errorText("Cannot open the folder", programDataDirectory(), error);
        return out;
    }
    for (const ChainFolder& folder : kFolderChain) {
        HeldFolder next = settleFolder(*parent, folder.name, folder.rules, accounts, out);
        if (!next) return out;
        out.held.push_back(std::move(parent));
        parent = std::move(next);
    }
    HeldFolder user = settleFolder(*parent, userName, FolderRules::Private, accounts, out);
    if (!user) return out;
    out.logFilePath = joined(user->path, kLogFileName);
    for (const char* name : {kLogFileName, kRotatedLogFileName}) {
        if (!logFileCanBeUsed(probeEntry(*user, name)) &&
            moveAside(*user, name, false, out) == MoveResult::NotPossible) {
            out.failure = "The log file [" + joined(user->path, name) + "] could not be trusted and could not be moved aside";
            return out;
        }
    }
    out.logs = parent.get();
    out.userFolder = user.get();
    out.held.push_back(std::move(parent));
    out.held.push_back(std::move(user));
    return out;
}

void logMovedAside(const std::vector<MovedAside>& moved) {
    for (const MovedAside& entry : moved) {
        if (entry.passedOver) {
            avLogger->info("The log folder [{}] could not be trusted and could not be moved aside; using [{}] instead",
                           entry.from, entry.to);
        } else if (entry.isFolder) {
            avLogger->info("The log folder [{}] could not be trusted and was moved aside to [{}]", entry.from, entry.to);
        } else {
            avLogger->info("The log file [{}] could not be trusted and was moved aside to [{}]", entry.from, entry.to);
        }
    }
}

}  // namespace velmora
