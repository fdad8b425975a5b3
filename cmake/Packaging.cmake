# Debian packages, with cpack -G DEB from the build folder:
#   libvelnorapi7      the runtime library (SONAME libVelnorApi.so.7)
#   velnor-utility     VelnorUtility, its udev rule and manual
#   libvelnorapi-dev   header, CMake package, pkg-config file, manual
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velnor)
set(CPACK_PACKAGE_VENDOR "Velnor")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime utility development)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velnor keypad team <keypad@velnor.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libvelnorapi7)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)  # libc6, libstdc++6, libhidapi-hidraw0
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libhidapi-hidraw0 (>= 0.13.1)")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "Velnor keypad library\nPlixoApi: one connection to a Velnor keypad through hidapi's hidraw backend.")

set(CPACK_DEBIAN_UTILITY_PACKAGE_NAME velnor-utility)
set(CPACK_DEBIAN_UTILITY_PACKAGE_DEPENDS "libvelnorapi7 (= ${PROJECT_VERSION}), libc6, libstdc++6")
set(CPACK_DEBIAN_UTILITY_PACKAGE_RECOMMENDS "udev, usb.ids")
set(CPACK_COMPONENT_UTILITY_DESCRIPTION "Velnor keypad configuration utility\nRestores a keypad's settings from a backup file, sets its number of keys and serial\nnumber, and compares backup files. Ships the udev rule for access without root.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libvelnorapi-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libvelnorapi7 (= ${PROJECT_VERSION}), libhidapi-dev (>= 0.13.1)")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "Velnor keypad library, development files\nThe PlixoApi header, CMake package (VelnorApi::VelnorApi) and pkg-config file (velnorapi).")
include(CPack)
