# Small Windows executables with known version resources, read by the unit
# tests of both targets: one complete, one without a translation table, one
# without any version resource. They are built with the MinGW-w64 tools on
# either build host; the unit tests learn their folder at compile time.
find_program(VELMORA_MINGW_WINDRES x86_64-w64-mingw32-windres)
find_program(VELMORA_MINGW_CC NAMES x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-gcc)

set(VELMORA_VR_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(VELMORA_VR_DIR ${CMAKE_BINARY_DIR}/version_resources)

if(NOT VELMORA_MINGW_WINDRES OR NOT VELMORA_MINGW_CC)
  message(WARNING "MinGW-w64 windres/gcc not found: the version-resource tests will be skipped")
  return()
endif()

set(VELMORA_VR_EXES)
foreach(fixture full no_translation no_resource)
  set(exe ${VELMORA_VR_DIR}/${fixture}.exe)
  set(inputs ${VELMORA_VR_SOURCE_DIR}/tiny_main.c)
  set(commands)
  if(EXISTS ${VELMORA_VR_SOURCE_DIR}/${fixture}.rc)
    set(res ${VELMORA_VR_DIR}/${fixture}.res.o)
    list(APPEND inputs ${VELMORA_VR_SOURCE_DIR}/${fixture}.rc)
    list(APPEND commands COMMAND ${VELMORA_MINGW_WINDRES} -O coff -o ${res} ${VELMORA_VR_SOURCE_DIR}/${fixture}.rc)
  else()
    set(res)
  endif()
  add_custom_command(OUTPUT ${exe}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VELMORA_VR_DIR}
    ${commands}
    COMMAND ${VELMORA_MINGW_CC} -s -o ${exe} ${VELMORA_VR_SOURCE_DIR}/tiny_main.c ${res}
    DEPENDS ${inputs}
    COMMENT "Building test executable ${fixture}.exe"
    VERBATIM)
  list(APPEND VELMORA_VR_EXES ${exe})
endforeach()
add_custom_target(version_resource_exes ALL DEPENDS ${VELMORA_VR_EXES})
add_dependencies(VelmoraAvInfoTests version_resource_exes)

# Under Wine the Linux root is drive Z:.
if(WIN32)
  set(VELMORA_VR_DIR_FOR_TESTS "Z:${VELMORA_VR_DIR}")
else()
  set(VELMORA_VR_DIR_FOR_TESTS "${VELMORA_VR_DIR}")
endif()
target_compile_definitions(VelmoraAvInfoTests PRIVATE
  VELMORA_VERSION_RESOURCES_DIR="${VELMORA_VR_DIR_FOR_TESTS}")
