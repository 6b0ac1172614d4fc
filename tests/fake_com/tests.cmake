# The test COM servers of the Windows tests, each a DLL over the stand-ins'
# file readers, registered in the test Wine prefix by wine/prefix.sh in place
# of the system's own class (linux builds use the stand-ins directly):
#   FakeSecurityCenter   the Security Center, C:\ProgramData\SecurityCenter\products.json
#   FakeDefenderStatus   the WMI locator, Defender's status from C:\ProgramData\Defender\status.json
#   FakeFirewallPolicy   HNetCfg.FwPolicy2, C:\ProgramData\Firewall\status.json
if(WIN32)
  set(fake_com_tests ${CMAKE_CURRENT_LIST_DIR}/..)
  foreach(server FakeSecurityCenter:fake_security_center FakeDefenderStatus:fake_defender_status
                 FakeFirewallPolicy:fake_firewall_policy)
    string(REPLACE ":" ";" parts ${server})
    list(GET parts 0 name)
    list(GET parts 1 folder)
    add_library(${name} SHARED ${fake_com_tests}/${folder}/${folder}.cpp ${fake_com_tests}/${folder}/${name}.def)
    set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name})
    target_link_libraries(${name} PRIVATE avinfo_standin)
    target_include_directories(${name} PRIVATE ${fake_com_tests})
    # The e2e tests need each registered.
    add_dependencies(VelmoraAvInfo ${name})
  endforeach()
  # The unit tests count the test Security Center's live objects.
  add_dependencies(VelmoraAvInfoTests FakeSecurityCenter)
endif()
