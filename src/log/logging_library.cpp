// The logging library's implementation, compiled once for the whole program.
// Every other file sees only its declarations (SPDLOG_COMPILED_LIB): compiled
// into each file that logs, it made every one of them take several times
// longer to build, on both targets.
#ifndef SPDLOG_COMPILED_LIB
#error "the logging library is built here only when SPDLOG_COMPILED_LIB is set"
#endif

#include "log/logger.h"

#include <spdlog/common-inl.h>
#include <spdlog/details/backtracer-inl.h>
#include <spdlog/details/log_msg-inl.h>
#include <spdlog/details/log_msg_buffer-inl.h>
#include <spdlog/details/os-inl.h>
#include <spdlog/details/periodic_worker-inl.h>
#include <spdlog/details/registry-inl.h>
#include <spdlog/logger-inl.h>
#include <spdlog/pattern_formatter-inl.h>
#include <spdlog/sinks/base_sink-inl.h>
#include <spdlog/sinks/sink-inl.h>
#include <spdlog/spdlog-inl.h>
#ifdef _WIN32
#include <spdlog/sinks/wincolor_sink-inl.h>
#else
#include <spdlog/sinks/ansicolor_sink-inl.h>
#endif

#include <spdlog/details/null_mutex.h>

#include <mutex>

// The sinks over which the program and its tests build: the log file's own
// sink (log/held_file_sink.h) and the console logger the library's registry
// makes as its default (with a mutex); the null and in-memory sinks of tests
// and benchmarks.
template class spdlog::sinks::base_sink<std::mutex>;
template class spdlog::sinks::base_sink<spdlog::details::null_mutex>;

// The one formatting routine every log call goes through (declared extern in
// log/logger.h).
template void fmt::detail::vformat_to<char>(fmt::detail::buffer<char>&, fmt::basic_string_view<char>,
                                           fmt::basic_format_args<fmt::buffer_context<char>>,
                                           fmt::detail::locale_ref);
