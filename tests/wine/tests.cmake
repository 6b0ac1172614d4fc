# The launcher through which the Windows e2e runs start the program under
# Wine: it reports the program's whole 32-bit exit code, of which Wine passes
# only the low byte to Linux.
if(WIN32)
  add_executable(ExitCodeLauncher ${CMAKE_CURRENT_LIST_DIR}/exit_code_launcher.c)
  target_compile_options(ExitCodeLauncher PRIVATE -Wall -Wextra)
  target_link_options(ExitCodeLauncher PRIVATE -static -s)
  target_link_libraries(ExitCodeLauncher PRIVATE advapi32)
endif()
