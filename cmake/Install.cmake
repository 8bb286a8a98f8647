# Install layout. The programs find the libraries they load by name in their own folder (the
# folder /proc/self/exe names, symlinks resolved), so the real program files and those libraries
# share one private folder and the PATH reaches the programs through relative symlinks. Nothing
# goes into the public library path.
include(GNUInstallDirs)

set(WRITER_PACKAGE_NAME cv51-writer)
set(WRITER_PRIVATE_DIR lib/${WRITER_PACKAGE_NAME}
    CACHE STRING "Private folder of the programs and their libraries, under the install prefix")
# Debian 12 merged /usr, so the udev rules folder under /usr is the one udev reads.
set(WRITER_UDEV_RULES_DIR lib/udev/rules.d
    CACHE STRING "udev rules folder, under the install prefix")

set(_writer_programs writer writer-cli vwriter)
set(_writer_libraries platform quadrel tunnix dfu formdraw)

foreach(_target IN LISTS _writer_programs _writer_libraries)
  if(TARGET ${_target})
    install(TARGETS ${_target}
            RUNTIME DESTINATION ${WRITER_PRIVATE_DIR}
            LIBRARY DESTINATION ${WRITER_PRIVATE_DIR} NAMELINK_SKIP)
    # The build folder's entries must not survive into the installed file. CMake's own rewrite
    # leaves them when the linked RUNPATH differs from what it expects (a trailing colon), so
    # the installed file gets its folder alone.
    set(_installed "${WRITER_PRIVATE_DIR}/$<TARGET_FILE_NAME:${_target}>")
    install(CODE "
      file(RPATH_SET FILE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${_installed}\"
           NEW_RPATH \"\\$ORIGIN\")")
  endif()
endforeach()

# The writer's optional banner picture sits beside it.
if(TARGET writer AND EXISTS ${PROJECT_SOURCE_DIR}/app/logo.bmp)
  install(FILES ${PROJECT_SOURCE_DIR}/app/logo.bmp DESTINATION ${WRITER_PRIVATE_DIR})
endif()

# Relative links, so the tree can be unpacked anywhere and still resolve into itself.
foreach(_program IN LISTS _writer_programs)
  if(TARGET ${_program})
    file(RELATIVE_PATH _link_target /prefix/${CMAKE_INSTALL_BINDIR}
         /prefix/${WRITER_PRIVATE_DIR}/${_program})
    install(CODE "
      set(_link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${_program}\")
      message(STATUS \"Installing: \${_link} -> ${_link_target}\")
      file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
      file(REMOVE \"\${_link}\")
      file(CREATE_LINK \"${_link_target}\" \"\${_link}\" SYMBOLIC)
      list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${_link}\")")
  endif()
endforeach()

# Gives the logged-in user access to an attached writer (uaccess tag), no group to join.
install(FILES ${PROJECT_SOURCE_DIR}/tunnix/70-writer.rules DESTINATION ${WRITER_UDEV_RULES_DIR})

# Desktop entry, icon, project file type, manual pages, package documentation and CPack.
add_subdirectory(${PROJECT_SOURCE_DIR}/packaging ${CMAKE_BINARY_DIR}/packaging)
