// Windows entry point: the arguments arrive as UTF-16.
#include "app/run.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::u16string> args;
    args.reserve(static_cast<std::size_t>(argc > 0 ? argc : 0));
    for (int i = 0; i < argc; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    return velmora::runAvInfo(args);
}
