# Programs of the build machine (the payload packer kvpack and its tests), built natively with the
# host compilers as a project of their own inside this cross build.
#
#   host-tools   target that builds them; depend on it before running ${KVPACK}
#   KVPACK       full path of the kvpack program
#   PackerTests  CTest entry running the packer's tests natively (no Wine)
include(ExternalProject)

set(KV_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host)
set(KVPACK ${KV_HOST_TOOLS_DIR}/packer/kvpack CACHE INTERNAL "Path of the payload packer built for the build machine")
set(KV_PACKER_TESTS ${KV_HOST_TOOLS_DIR}/packer/tests/packer_tests)

ExternalProject_Add(host-tools
  SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}
  BINARY_DIR ${KV_HOST_TOOLS_DIR}
  CMAKE_ARGS
    -DCMAKE_C_COMPILER=/usr/bin/cc
    -DCMAKE_CXX_COMPILER=/usr/bin/c++
    -DCMAKE_BUILD_TYPE=Release
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${KVPACK} ${KV_PACKER_TESTS})

add_test(NAME PackerTests COMMAND ${KV_PACKER_TESTS})
