# VelmoraAvInfoFieldTests.exe: the field tests, which drive the real program
# on the Windows machine they run on (docs/field-tests.md). Built in the
# windows preset; under Wine, ctest runs the rows Wine can show.
# The deployment models' icacls lines come from docs/security.md at build time.
set(VELMORA_FIELD_RULES_HEADER ${CMAKE_BINARY_DIR}/field-generated/field/field_access_rules.h)
add_custom_command(OUTPUT ${VELMORA_FIELD_RULES_HEADER}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/field-generated/field
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/access_rules_header.py
          ${CMAKE_SOURCE_DIR}/docs/security.md ${VELMORA_FIELD_RULES_HEADER}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/access_rules_header.py ${CMAKE_SOURCE_DIR}/docs/security.md
  COMMENT "Deployment models' icacls lines from docs/security.md")

add_executable(VelmoraAvInfoFieldTests
  ${CMAKE_CURRENT_LIST_DIR}/field_logic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/field_system_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/field_machine_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/field_run_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/field_plant_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/field_rows_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/field_planted_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/field_accounts_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/field_readers_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/field_access_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/field_answers_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/field_main_win.cpp
  ${VELMORA_FIELD_RULES_HEADER})
target_include_directories(VelmoraAvInfoFieldTests PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_BINARY_DIR}/field-generated)
# Windows 10's declarations (oplock levels, the unprivileged symbolic link
# flag); what a release lacks is found out at run time.
target_compile_options(VelmoraAvInfoFieldTests PRIVATE -U_WIN32_WINNT -D_WIN32_WINNT=0x0A00)
target_link_options(VelmoraAvInfoFieldTests PRIVATE -municode)
target_link_libraries(VelmoraAvInfoFieldTests PRIVATE velmora_deps GTest::gtest
  netapi32 userenv bcrypt version wbemuuid ole32 oleaut32 advapi32)
