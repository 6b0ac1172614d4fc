// Linux entry point: the arguments arrive as bytes and are carried as UTF-16
// in a form that gives the same bytes back when a path is opened.
#include "app/run.h"
#include "common/file_io.h"

#include <unistd.h>

int main(int argc, char** argv) {
    std::vector<std::u16string> args;
    args.reserve(static_cast<std::size_t>(argc > 0 ? argc : 0));
    for (int i = 0; i < argc; ++i) args.push_back(velmora::nativeBytesToWide(argv[i]));
    const int status = velmora::runProgram(args);
    // The same rule as on Windows: _exit ends the process without exit()'s
    // handlers and destructors, which a worker still running could be using.
    if (velmora::runMustEndAtOnce()) _exit(status);
    return status;
}
