# Installing orvex and packaging it as a .deb.
#
#   cmake --install build/release --prefix /usr/local
#   cpack --config build/release/CPackConfig.cmake -B build/package
#
# Installed tree: bin/orvex; lib/orvex/libOrvexFTP.so and
# libOrvexInterface.so (private: found from the program through its
# RUNPATH, $ORIGIN/../lib/orvex); share/man/man1/orvex.1; the bash and zsh
# completions. `orvex register` then points the class registry at the
# installed plug-in.

set_target_properties(orvex PROPERTIES INSTALL_RPATH "$ORIGIN/../${ORVEX_INSTALL_PRIVATE_LIBDIR}")
install(TARGETS orvex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS OrvexFTP OrvexInterface LIBRARY DESTINATION ${ORVEX_INSTALL_PRIVATE_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/docs/orvex.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The completion scripts are made from orvex's own table of commands and
# options, by the program just built.
set(completion_dir ${CMAKE_BINARY_DIR}/completion)
add_custom_command(
  OUTPUT ${completion_dir}/orvex ${completion_dir}/_orvex
  COMMAND ${CMAKE_COMMAND} -E make_directory ${completion_dir}
  COMMAND sh -c "\"$1\" completion bash > \"$2\" && \"$1\" completion zsh > \"$3\"" orvex-completion
          $<TARGET_FILE:orvex> ${completion_dir}/orvex ${completion_dir}/_orvex
  DEPENDS orvex
  COMMENT "Writing the bash and zsh completion for orvex"
  VERBATIM)
add_custom_target(orvex_completion ALL DEPENDS ${completion_dir}/orvex ${completion_dir}/_orvex)
install(FILES ${completion_dir}/orvex DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${completion_dir}/_orvex DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "${ORVEX_COMPANY}")
set(CPACK_PACKAGE_CONTACT "${ORVEX_AUTHOR} <dev@orvexftp.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Lists, copies and synchronises folders on FTP servers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps must find the private libraries in the package itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
set(CPACK_STRIP_FILES ON)
include(CPack)
