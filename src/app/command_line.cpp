#include "app/command_line.h"

#include <exception>

namespace velmora {

namespace {

char16_t upperAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool equalsSwitch(const std::u16string& argument, const char16_t* word) {
    std::u16string_view expected(word);
    if (argument.size() != expected.size()) return false;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (upperAscii(argument[i]) != upperAscii(expected[i])) return false;
    }
    return true;
}

}  // namespace

void applyArgument(const std::u16string& argument, CommandLine& commandLine) {
    if (equalsSwitch(argument, u"-av")) {
        commandLine.kinds.push_back(PROVIDER_ANTIVIRUS);
        return;
    }
    if (equalsSwitch(argument, u"-as")) {
        commandLine.kinds.push_back(PROVIDER_ANTISPYWARE);
        return;
    }
    if (equalsSwitch(argument, u"-fw")) {
        commandLine.kinds.push_back(PROVIDER_FIREWALL);
        return;
    }
    static const std::u16string kOutPath = u"-outpath=";
    try {
        std::size_t at = argument.find(kOutPath);
        if (at != std::u16string::npos) commandLine.outputPath = argument.substr(at + kOutPath.size());
    } catch (const std::exception&) {
        // The argument is skipped; the loop goes on with the next one.
    }
}

const std::vector<std::string>& usageLines() {
    static const std::vector<std::string> lines = {
        "Usage: VelmoraAvInfo.exe [-av | -as | -fw] -outpath=AnyFile.txt",
        "\tav: Query Antivirus programs",
        "\tas: Query Antispyware programs",
        "\tfw: Query Firewall programs",
    };
    return lines;
}

}  // namespace velmora
