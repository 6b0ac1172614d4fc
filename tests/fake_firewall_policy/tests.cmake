# The test Windows Firewall policy object: serves C:\ProgramData\Firewall\status.json,
# registered in the test Wine prefix in place of HNetCfg.FwPolicy2 by
# wine/prefix.sh. Linux builds use the program's own stand-in.
if(WIN32)
  add_library(FakeFirewallPolicy SHARED
    ${CMAKE_CURRENT_LIST_DIR}/fake_firewall_policy.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FakeFirewallPolicy.def)
  set_target_properties(FakeFirewallPolicy PROPERTIES PREFIX "" OUTPUT_NAME FakeFirewallPolicy)
  target_link_libraries(FakeFirewallPolicy PRIVATE avinfo_standin)
  target_include_directories(FakeFirewallPolicy PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
  # The e2e tests need it registered.
  add_dependencies(VelmoraAvInfo FakeFirewallPolicy)
endif()
