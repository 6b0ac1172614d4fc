# The test WMI provider for Windows: serves Defender's status from
# C:\ProgramData\Defender\status.json, registered in the test Wine prefix in
# place of the WMI locator by wine/prefix.sh. Linux builds use the program's
# own stand-in.
if(WIN32)
  add_library(FakeDefenderStatus SHARED
    ${CMAKE_CURRENT_LIST_DIR}/fake_defender_status.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FakeDefenderStatus.def)
  set_target_properties(FakeDefenderStatus PROPERTIES PREFIX "" OUTPUT_NAME FakeDefenderStatus)
  target_link_libraries(FakeDefenderStatus PRIVATE avinfo_standin)
  target_include_directories(FakeDefenderStatus PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
  # The e2e tests need it registered.
  add_dependencies(VelmoraAvInfo FakeDefenderStatus)
endif()
