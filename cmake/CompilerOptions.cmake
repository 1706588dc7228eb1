# Warnings and sanitizers for the project's own targets. Third-party code is
# never compiled here, so the flags apply globally.
add_compile_options(-Wall -Wextra -Wpedantic)
if(ORVEX_WERROR)
  add_compile_options(-Werror -Wshadow -Wconversion -Wsign-conversion)
endif()
# GCC 12 reports overlapping copies inside std::string's own code at -O3 that
# cannot happen (GCC bug 105329): its -Wrestrict says nothing about our code.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-restrict)
endif()

if(ORVEX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Shared libraries that a host loads export only their declared entry points;
# everything else stays inside the module (one module-wide object count each,
# no symbol interposition between the plug-in, the host and its object library).
function(orvex_hide_symbols target version_script)
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_link_options(${target} PRIVATE "LINKER:--version-script=${version_script}")
  # Every symbol is resolved at link time, so a missing one fails the build
  # rather than the load. Clang's sanitizers leave their runtime to the
  # executable, so a sanitized library of clang's has it unresolved by design.
  if(NOT (ORVEX_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang"))
    target_link_options(${target} PRIVATE "LINKER:--no-undefined")
  endif()
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${version_script})
endfunction()
