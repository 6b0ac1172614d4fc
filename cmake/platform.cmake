# Compiler flags and third-party libraries for the two targets.
add_library(velmora_deps INTERFACE)
target_compile_options(velmora_deps INTERFACE -Wall -Wextra)
# The same spdlog and fmt on both targets: spdlog's implementation compiled
# once, in src/log/logging_library.cpp, over fmt in its header-only form (the
# MinGW build has no compiled fmt to link).
target_compile_definitions(velmora_deps INTERFACE SPDLOG_COMPILED_LIB SPDLOG_FMT_EXTERNAL)

if(WIN32)
  # The cross compiler cannot find the host's packages. Only the three header
  # libraries of the host are shown to it, never the host's include folder
  # itself.
  set(VELMORA_HOST_INCLUDE_DIR /usr/include CACHE PATH
      "Host folder holding the nlohmann, spdlog and fmt headers for the cross build")
  set(VELMORA_HOST_INCLUDES ${CMAKE_BINARY_DIR}/host-include)
  file(MAKE_DIRECTORY ${VELMORA_HOST_INCLUDES})
  # Made afresh at each configure, so that a changed folder takes effect.
  foreach(lib nlohmann spdlog fmt)
    file(REMOVE ${VELMORA_HOST_INCLUDES}/${lib})
    file(CREATE_LINK ${VELMORA_HOST_INCLUDE_DIR}/${lib} ${VELMORA_HOST_INCLUDES}/${lib} SYMBOLIC)
  endforeach()
  target_include_directories(velmora_deps SYSTEM INTERFACE ${VELMORA_HOST_INCLUDES})
  target_compile_definitions(velmora_deps INTERFACE FMT_HEADER_ONLY
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  target_link_options(velmora_deps INTERFACE -static -static-libgcc -static-libstdc++)
  # No "version": version.dll is no KnownDLL, so the program loads it from
  # System32 itself instead of importing it (scripts/check-exe.sh holds the
  # imports to KnownDLLs).
  target_link_libraries(velmora_deps INTERFACE ole32 oleaut32 uuid advapi32 user32)
else()
  find_package(fmt REQUIRED)
  find_package(spdlog REQUIRED)
  find_package(nlohmann_json REQUIRED)
  find_package(Threads REQUIRED)
  # fmt in its header-only form. Of spdlog only the headers: its package
  # targets link the shared spdlog or fmt, which the static program cannot
  # take and which would duplicate the implementation compiled here.
  target_link_libraries(velmora_deps INTERFACE fmt::fmt-header-only nlohmann_json::nlohmann_json Threads::Threads)
  target_include_directories(velmora_deps SYSTEM INTERFACE
    $<TARGET_PROPERTY:spdlog::spdlog_header_only,INTERFACE_INCLUDE_DIRECTORIES>)
  # The program itself is linked statically: a run is a few milliseconds, and
  # loading and relocating shared libraries was a large part of it. (The
  # sanitizer runtimes need the dynamic C library.)
  if(NOT VELMORA_SANITIZE AND NOT VELMORA_FUZZ)
    set(VELMORA_PROGRAM_LINK_OPTIONS -static)
  endif()
  if(VELMORA_FUZZ)
    target_compile_options(velmora_deps INTERFACE -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(velmora_deps INTERFACE -fsanitize=address,undefined)
  elseif(VELMORA_SANITIZE)
    target_compile_options(velmora_deps INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(velmora_deps INTERFACE -fsanitize=address,undefined)
  endif()
endif()
