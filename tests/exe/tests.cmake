# The checks of the built Windows program itself: its version resource, read
# by the program's own PE reader (pe_version_of, run under Wine), and its
# application manifest.
if(WIN32)
  add_executable(pe_version_of ${CMAKE_CURRENT_LIST_DIR}/pe_version_of.cpp)
  target_link_libraries(pe_version_of PRIVATE avinfo_core)
  add_test(NAME exe_resources
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/check_resources.py
            $<TARGET_FILE:VelmoraAvInfo> ${PROJECT_VERSION}
            --reader ${CMAKE_CURRENT_LIST_DIR}/../wine/wine-run.sh $<TARGET_FILE:pe_version_of>
            --reader-path Z:$<TARGET_FILE:VelmoraAvInfo>)
  set_tests_properties(exe_resources PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wineprefix
    ENVIRONMENT "VELMORA_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix" TIMEOUT 300)
endif()
