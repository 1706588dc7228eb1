# Each library sees only the folders it may use. Its include path is a
# folder of its own in the build tree (include_views/TARGET) holding links to
# exactly those folders of the source tree, so that `#include "platform/..."`
# works as written while an include of anything else fails to compile. The
# folders match the allowed include edges that tests/architecture checks.
#
# A folder may be given as:
#   platform           the whole platform layer (for platform libraries);
#   platform-services  the platform layer without the FTP engine in
#                      platform/inet (what everything above the platform uses);
#   wininet-api        platform/inet's two API headers (wininet.h and
#                      wininet_security.h), for ftp/ and connection/;
#   resources          the generated resources/version_info.h;
#   any other path     that folder (or file) of the source tree.
# Nothing is propagated to dependents: each target names what it may see.

set(ORVEX_INCLUDE_VIEWS "${CMAKE_BINARY_DIR}/include_views")

# The platform layer's entries other than the engine, looked at again at
# every build so that a new header there is seen without a manual re-run.
file(GLOB ORVEX_PLATFORM_SERVICES CONFIGURE_DEPENDS RELATIVE "${PROJECT_SOURCE_DIR}"
     "${PROJECT_SOURCE_DIR}/platform/*")
list(REMOVE_ITEM ORVEX_PLATFORM_SERVICES platform/inet platform/CMakeLists.txt)

function(orvex_include_view target)
  set(view "${ORVEX_INCLUDE_VIEWS}/${target}")
  file(REMOVE_RECURSE "${view}")
  file(MAKE_DIRECTORY "${view}")
  set(entries)
  foreach(folder IN LISTS ARGN)
    if(folder STREQUAL "platform-services")
      list(APPEND entries ${ORVEX_PLATFORM_SERVICES})
    elseif(folder STREQUAL "wininet-api")
      list(APPEND entries platform/inet/wininet.h platform/inet/wininet_security.h)
    else()
      list(APPEND entries "${folder}")
    endif()
  endforeach()
  # A folder given whole makes its subfolders' entries redundant; linking
  # them as well would write through the folder's link into the sources.
  list(SORT entries)
  set(linked)
  foreach(entry IN LISTS entries)
    set(covered FALSE)
    foreach(done IN LISTS linked)
      string(FIND "${entry}" "${done}/" position)
      if(position EQUAL 0)
        set(covered TRUE)
      endif()
    endforeach()
    if(covered)
      continue()
    endif()
    if(entry STREQUAL "resources")
      set(source "${PROJECT_BINARY_DIR}/generated/resources/version_info.h")
      set(entry resources/version_info.h)
    else()
      set(source "${PROJECT_SOURCE_DIR}/${entry}")
      if(NOT EXISTS "${source}")
        message(FATAL_ERROR "include view of ${target}: no ${entry} in the source tree")
      endif()
    endif()
    get_filename_component(parent "${view}/${entry}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    file(CREATE_LINK "${source}" "${view}/${entry}" SYMBOLIC)
    list(APPEND linked "${entry}")
  endforeach()
  target_include_directories(${target} PRIVATE "${view}")
endfunction()
