# Third-party packages. All of them come from Debian: natively as installed -dev packages,
# for Windows as static libraries that scripts/ cross-builds into the build folder.

find_package(JPEG REQUIRED)   # libjpeg-turbo, 6b API (jpeglib.h, JPEG_LIB_VERSION 62)
find_package(PNG REQUIRED)    # libpng 1.6 and zlib, for the tool's preview

if(NOT WIN32)
  # Linked from Debian's static libraries, so that the Linux saverpak starts on any x86-64 Linux
  # (other distributions name the shared ones differently: Ubuntu's libjpeg is libjpeg.so.8).
  # The tests link the same code the tool ships with.
  foreach(package JPEG PNG ZLIB)
    string(TOLOWER ${package} name)
    if(package STREQUAL "PNG")
      set(name png16)
    elseif(package STREQUAL "ZLIB")
      set(name z)
    endif()
    find_library(SAVERPAK_STATIC_${package} NAMES lib${name}.a REQUIRED)
    set_target_properties(${package}::${package} PROPERTIES
      IMPORTED_LOCATION ${SAVERPAK_STATIC_${package}}
      IMPORTED_LOCATION_RELEASE ${SAVERPAK_STATIC_${package}}
      IMPORTED_LOCATION_DEBUG ${SAVERPAK_STATIC_${package}})
  endforeach()
endif()

if(SAVERPAK_TESTS)
  if(WIN32)
    # Debian ships GoogleTest as source only for foreign targets; build it with our flags.
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    # Its own CMake files define the GTest:: names.
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  else()
    find_package(GTest REQUIRED)
  endif()
  include(GoogleTest)
endif()

# Header-only libraries for the tool (CLI11, toml++, nlohmann-json) come from Debian's /usr/include.
# The cross compiler must not see the rest of /usr/include, so it gets a folder of links to
# just these three.
set(SAVERPAK_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${SAVERPAK_HOST_HEADERS})
foreach(dir CLI toml++ nlohmann)
  if(EXISTS /usr/include/${dir} AND NOT EXISTS ${SAVERPAK_HOST_HEADERS}/${dir})
    file(CREATE_LINK /usr/include/${dir} ${SAVERPAK_HOST_HEADERS}/${dir} SYMBOLIC)
  endif()
endforeach()
add_library(host_headers INTERFACE)
target_include_directories(host_headers SYSTEM INTERFACE ${SAVERPAK_HOST_HEADERS})
