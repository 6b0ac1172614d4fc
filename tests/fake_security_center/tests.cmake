# The test Security Center for Windows: an in-process COM server serving
# C:\ProgramData\SecurityCenter\products.json, registered in the test Wine
# prefix by wine/prefix.sh. Linux builds use the program's own stand-in.
if(WIN32)
  add_library(FakeSecurityCenter SHARED
    ${CMAKE_CURRENT_LIST_DIR}/fake_security_center.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FakeSecurityCenter.def)
  set_target_properties(FakeSecurityCenter PROPERTIES PREFIX "" OUTPUT_NAME FakeSecurityCenter)
  target_link_libraries(FakeSecurityCenter PRIVATE avinfo_standin)
  target_include_directories(FakeSecurityCenter PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
  # The unit tests count its live objects; the e2e tests need it registered.
  add_dependencies(VelmoraAvInfoTests FakeSecurityCenter)
  add_dependencies(VelmoraAvInfo FakeSecurityCenter)
endif()
