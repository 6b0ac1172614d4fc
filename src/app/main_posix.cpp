// Linux entry point: the arguments arrive as bytes and are carried as UTF-16
// in a form that gives the same bytes back when a path is opened.
#include "app/run.h"
#include "common/file_io.h"

int main(int argc, char** argv) {
    std::vector<std::u16string> args;
    args.reserve(static_cast<std::size_t>(argc > 0 ? argc : 0));
    for (int i = 0; i < argc; ++i) args.push_back(velmora::nativeBytesToWide(argv[i]));
    return velmora::runAvInfo(args);
}
