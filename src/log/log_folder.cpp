#include "log/log_folder.h"

#include "common/machine_paths.h"
#include "log/logger.h"

namespace velmora {

namespace {

// A name is inspected at most this often: missing, then created; or
// untrusted, then moved aside, created and inspected once more. A name that
// is still not settled is being fought over, and the run does not go on.
constexpr int kInspectionsPerName = 3;
constexpr const char* kLogFileNames[] = {"avInfo.log", "avInfo.1.log"};
constexpr const char* kFolderChain[] = {"Velmora", "VelmoraVPN", "logs"};

std::string joined(const std::string& folder, const std::string& name) {
    return folder + pathSeparator() + name;
}

std::string errorText(const char* what, const std::string& path, unsigned long error) {
    return std::string(what) + " [" + path + "] (error " + std::to_string(error) + ")";
}

// Renames name to the first free "<name>.untrusted-<n>". The rename moves a
// link itself, never what it points to.
bool moveAside(const OpenFolder& parent, const std::string& name, bool isFolder, PreparedLogFolder& out) {
    for (unsigned n = 1; n <= kMaxMovedAsideNumber; ++n) {
        const std::string target = movedAsideName(name, n);
        const unsigned long error = renameEntry(parent, name, target);
        if (error == 0) {
            out.movedAside.push_back({isFolder, joined(parent.path, name), joined(parent.path, target)});
            return true;
        }
        if (error != kNameTaken) break;
    }
    out.failure = std::string("The log ") + (isFolder ? "folder" : "file") + " [" + joined(parent.path, name) +
                  "] could not be trusted and could not be moved aside";
    return false;
}

// Opens parent/name as a folder the run may use, creating or replacing it as
// the decision says. Empty on failure (out.failure says why).
HeldFolder settleFolder(const OpenFolder& parent, const std::string& name, bool forUser,
                        const AccountIds& accounts, PreparedLogFolder& out) {
    for (int inspection = 0; inspection < kInspectionsPerName; ++inspection) {
        FolderProbe probe = probeFolder(parent, name);
        const FolderStep step =
            forUser ? decideUserFolder(probe.facts, accounts) : decideAncestorFolder(probe.facts.kind);
        if (step == FolderStep::MoveAside) {
            probe.opened.reset();  // a held handle would keep it from being renamed
            if (!moveAside(parent, name, true, out)) return nullptr;
            continue;
        }
        if (step == FolderStep::Create) {
            const unsigned long error = createFolder(parent, name, forUser, accounts);
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
    out.failure = "The log folder [" + joined(parent.path, name) + "] kept changing while it was checked";
    return nullptr;
}

}  // namespace

FolderStep decideAncestorFolder(EntryKind kind) {
    if (kind == EntryKind::Missing) return FolderStep::Create;
    return kind == EntryKind::Folder ? FolderStep::Use : FolderStep::MoveAside;
}

FolderStep decideUserFolder(const FolderFacts& facts, const AccountIds& accounts) {
    const FolderStep asAncestor = decideAncestorFolder(facts.kind);
    if (asAncestor != FolderStep::Use) return asAncestor;
    if (!facts.owner) return FolderStep::MoveAside;
    if (*facts.owner == accounts.running) return FolderStep::UseAndProtect;
    if (*facts.owner == accounts.system || *facts.owner == accounts.administrators) return FolderStep::Use;
    return FolderStep::MoveAside;
}

bool logFileCanBeUsed(const FileFacts& facts) {
    return facts.kind == EntryKind::Missing || (facts.kind == EntryKind::PlainFile && facts.linkCount == 1);
}

std::string movedAsideName(const std::string& name, unsigned number) {
    return name + ".untrusted-" + std::to_string(number);
}

PreparedLogFolder prepareLogFolder(const std::string& userName) {
    PreparedLogFolder out;
    out.logFilePath = joined(joined(vpnLogDirectory(), userName), kLogFileNames[0]);
    // No account name is one of these, but "." or ".." would make the shared
    // folder itself, or its parent, the log folder.
    if (userName.empty() || userName == "." || userName == ".." ||
        userName.find_first_of("/\\") != std::string::npos) {
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
    for (const char* name : kFolderChain) {
        HeldFolder next = settleFolder(*parent, name, false, accounts, out);
        if (!next) return out;
        out.held.push_back(std::move(parent));
        parent = std::move(next);
    }
    HeldFolder user = settleFolder(*parent, userName, true, accounts, out);
    if (!user) return out;
    out.held.push_back(std::move(parent));
    for (const char* name : kLogFileNames) {
        if (!logFileCanBeUsed(probeFile(*user, name)) && !moveAside(*user, name, false, out)) return out;
    }
    out.libraryFilePath = libraryPathOf(*user, kLogFileNames[0]);
    out.held.push_back(std::move(user));
    return out;
}

void logMovedAside(const std::vector<MovedAside>& moved) {
    for (const MovedAside& entry : moved) {
        if (entry.isFolder) {
            avLogger->info("The log folder [{}] could not be trusted and was moved aside to [{}]", entry.from, entry.to);
        } else {
            avLogger->info("The log file [{}] could not be trusted and was moved aside to [{}]", entry.from, entry.to);
        }
    }
}

}  // namespace velmora
