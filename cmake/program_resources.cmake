# The Windows program's resources: its version information and its
# application manifest, both made from the version of project(). windres
# compiles them (the toolchain file names it as the resource compiler).
enable_language(RC)

set(VELMORA_VERSION_COMMAS
    "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
# Side-by-side manifests want all four parts of a version.
set(VELMORA_VERSION_FOUR
    "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
set(VELMORA_MANIFEST_FILE ${CMAKE_BINARY_DIR}/VelmoraAvInfo.manifest)
configure_file(${CMAKE_SOURCE_DIR}/src/app/VelmoraAvInfo.manifest.in ${VELMORA_MANIFEST_FILE} @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/src/app/VelmoraAvInfo.rc.in ${CMAKE_BINARY_DIR}/VelmoraAvInfo.rc @ONLY)

target_sources(VelmoraAvInfo PRIVATE ${CMAKE_BINARY_DIR}/VelmoraAvInfo.rc)
# windres does not see that the resource script reads the manifest.
set_source_files_properties(${CMAKE_BINARY_DIR}/VelmoraAvInfo.rc PROPERTIES
  OBJECT_DEPENDS ${VELMORA_MANIFEST_FILE})
