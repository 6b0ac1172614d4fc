# The planting test of the Windows build: a version.dll of the tests' own that
# leaves a mark when loaded, and a control program that imports VERSION.dll
# at load time. Both stay in their own folder (never beside the build's
# programs); the e2e test copies them next to a copy of VelmoraAvInfo.exe.
if(WIN32)
  set(VELMORA_PLANTED_DIR ${CMAKE_BINARY_DIR}/planted_dll)
  add_library(PlantedVersion SHARED
    ${CMAKE_CURRENT_LIST_DIR}/planted_version.c
    ${CMAKE_CURRENT_LIST_DIR}/planted_version.def)
  set_target_properties(PlantedVersion PROPERTIES PREFIX "" OUTPUT_NAME version
    RUNTIME_OUTPUT_DIRECTORY ${VELMORA_PLANTED_DIR} LIBRARY_OUTPUT_DIRECTORY ${VELMORA_PLANTED_DIR})
  add_executable(ImportsVersion ${CMAKE_CURRENT_LIST_DIR}/imports_version.c)
  set_target_properties(ImportsVersion PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VELMORA_PLANTED_DIR})
  target_link_libraries(ImportsVersion PRIVATE version)
  foreach(target PlantedVersion ImportsVersion)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    target_link_options(${target} PRIVATE -static -s)
  endforeach()
endif()
