# The toolkit as a software development kit: the objects of ami_core (the
# parameter tree and the building blocks, without this model's entry points
# and tables) as a shared and a static library, and what `cmake --install`
# puts into a prefix:
#
#   include/KestromAMI/         IBIS_AMI_tree.h, Kestrom_AMI_Model.h
#   <libdir>/libkestrom_ami.so  shared toolkit (C++ runtime inside, libc and libm only)
#   <libdir>/libkestrom_ami.a   static toolkit
#   <libdir>/pkgconfig/kestrom-ami.pc
#   share/cmake/KestromAMI/     find_package(KestromAMI): KestromAMI::toolkit,
#                               KestromAMI::toolkit_static
#
# <libdir> is lib for the x86-64 build and lib32 for the i386 build (set
# with the build's flags), so both can share one prefix. The package file
# is the same for both; it loads the targets of the consumer's word size
# (KestromAMITargets-64.cmake or -32.cmake).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(AMI_TOOLKIT_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/KestromAMI)
set(AMI_TOOLKIT_CMAKEDIR ${CMAKE_INSTALL_DATADIR}/cmake/KestromAMI)

add_library(kestrom_ami SHARED $<TARGET_OBJECTS:ami_core>)
add_library(kestrom_ami_static STATIC $<TARGET_OBJECTS:ami_core>)
foreach(toolkit kestrom_ami kestrom_ami_static)
  target_include_directories(${toolkit} INTERFACE
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/tree>
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/blocks>
    $<INSTALL_INTERFACE:${AMI_TOOLKIT_INCLUDEDIR}>)
  set_target_properties(${toolkit} PROPERTIES OUTPUT_NAME kestrom_ami)
endforeach()
# The shared library links like the model: C++ runtime inside and hidden.
target_link_libraries(kestrom_ami PRIVATE m)
set_target_properties(kestrom_ami PROPERTIES
  EXPORT_NAME toolkit
  LINKER_LANGUAGE CXX
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR})
ami_self_contained(kestrom_ami)
# The static library's objects need libc and libm only (no C++ runtime), so
# C programs link it with the C compiler; the pkg-config consumer test checks
# this stays true.
target_link_libraries(kestrom_ami_static INTERFACE m)
set_target_properties(kestrom_ami_static PROPERTIES
  EXPORT_NAME toolkit_static
  LINKER_LANGUAGE C)

install(FILES ${AMI_TOOLKIT_HEADERS} DESTINATION ${AMI_TOOLKIT_INCLUDEDIR})
install(TARGETS kestrom_ami kestrom_ami_static EXPORT KestromAMITargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(EXPORT KestromAMITargets NAMESPACE KestromAMI:: DESTINATION ${AMI_TOOLKIT_CMAKEDIR}
        FILE KestromAMITargets-${AMI_ARCH}.cmake)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/KestromAMIConfig.cmake.in
  ${PROJECT_BINARY_DIR}/KestromAMIConfig.cmake
  INSTALL_DESTINATION ${AMI_TOOLKIT_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/KestromAMIConfigVersion.cmake
  COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES ${PROJECT_BINARY_DIR}/KestromAMIConfig.cmake
              ${PROJECT_BINARY_DIR}/KestromAMIConfigVersion.cmake
        DESTINATION ${AMI_TOOLKIT_CMAKEDIR})

# pkg-config finds the prefix from where the .pc file lies, so the install
# can go to any prefix (cmake --install --prefix) and be moved afterwards.
file(RELATIVE_PATH AMI_PKGCONFIG_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" AMI_PKGCONFIG_TO_PREFIX "${AMI_PKGCONFIG_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/kestrom-ami.pc.in
               ${PROJECT_BINARY_DIR}/kestrom-ami.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kestrom-ami.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
