#include "log/start_notice.h"

#include <unistd.h>

#include <cstdio>

namespace velmora {

void showStartFailureNotice(const std::string& caption, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    if (isatty(STDIN_FILENO)) {
        std::fprintf(stderr, "Press Enter to continue.\n");
        std::fflush(stderr);
        int c;
        while ((c = std::getchar()) != EOF && c != '\n') {
        }
    }
}

void debugOutput(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

}  // namespace velmora
