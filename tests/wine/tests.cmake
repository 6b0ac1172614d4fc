# The launcher through which the Windows e2e runs start the program under
# Wine: it reports the program's whole 32-bit exit code, of which Wine passes
# only the low byte to Linux.
if(WIN32)
  add_executable(ExitCodeLauncher ${CMAKE_CURRENT_LIST_DIR}/exit_code_launcher.c)
  target_compile_options(ExitCodeLauncher PRIVATE -Wall -Wextra)
  target_link_options(ExitCodeLauncher PRIVATE -static -s)
  target_link_libraries(ExitCodeLauncher PRIVATE advapi32)
endif()

# A Windows reader of check.json for the verdict tests (tests/e2e/test_posture.py).
if(WIN32)
  add_executable(VerdictReader ${CMAKE_CURRENT_LIST_DIR}/verdict_reader.c)
  target_compile_options(VerdictReader PRIVATE -Wall -Wextra)
  target_link_options(VerdictReader PRIVATE -static -s -municode)
endif()
