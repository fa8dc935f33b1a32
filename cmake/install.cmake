# Installation: the programs in one folder with the files they read beside
# them (tips, help pages, substitute picture, icons), launchers on PATH, and
# the desktop entry, AppStream metainfo and icons where desktops look.
#
#   cmake --install build --prefix ~/.local
#
# gives ~/.local/bin/kormial -> ../lib/kormial/kormial and so on. The program
# finds its files through its own resolved path, so the launcher may be a
# symbolic link.
include(GNUInstallDirs)

set(KORMIAL_APP_ID org.example.kormial)
set(KORMIAL_INSTALL_APPDIR ${CMAKE_INSTALL_LIBDIR}/kormial)

set(KORMIAL_INSTALLED_PROGRAMS)
foreach(program kormial kormial-cli)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${KORMIAL_INSTALL_APPDIR})
    list(APPEND KORMIAL_INSTALLED_PROGRAMS ${program})
  endif()
endforeach()

if(KORMIAL_INSTALLED_PROGRAMS)
  # Everything under data/ goes beside the programs, as in the build folder,
  # except the desktop files, which go to their own places below.
  install(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/data/
    DESTINATION ${KORMIAL_INSTALL_APPDIR}
    PATTERN desktop EXCLUDE)

  # Launchers on PATH: relative links, so the tree can be moved as a whole.
  file(RELATIVE_PATH KORMIAL_BIN_TO_APPDIR
    ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR}/kormial)
  foreach(program ${KORMIAL_INSTALLED_PROGRAMS})
    install(CODE "
      set(_bindir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
      if(IS_ABSOLUTE \"${CMAKE_INSTALL_BINDIR}\")
        set(_bindir \"\$ENV{DESTDIR}${CMAKE_INSTALL_BINDIR}\")
      endif()
      file(MAKE_DIRECTORY \"\${_bindir}\")
      message(STATUS \"Installing: \${_bindir}/${program} -> ${KORMIAL_BIN_TO_APPDIR}/${program}\")
      file(CREATE_LINK \"${KORMIAL_BIN_TO_APPDIR}/${program}\" \"\${_bindir}/${program}\" SYMBOLIC)
      list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${_bindir}/${program}\")
    ")
  endforeach()
endif()

if(TARGET kormial)
  set(_desktop ${CMAKE_CURRENT_SOURCE_DIR}/data/desktop)
  install(FILES ${_desktop}/${KORMIAL_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${_desktop}/${KORMIAL_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  set(_icons ${CMAKE_CURRENT_SOURCE_DIR}/data/icons)
  foreach(size 16 24 32 48 64 128 256)
    install(FILES ${_icons}/kormial-${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
      RENAME ${KORMIAL_APP_ID}.png)
  endforeach()
  install(FILES ${_icons}/kormial.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME ${KORMIAL_APP_ID}.svg)
endif()

# Manual pages (the version filled in) and the completions of kormial-cli's
# options for bash, zsh and fish, where each looks for them.
foreach(program kormial kormial-cli)
  if(TARGET ${program})
    configure_file(${CMAKE_CURRENT_SOURCE_DIR}/man/${program}.1 ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1 @ONLY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()
if(TARGET kormial-cli)
  set(_completions ${CMAKE_CURRENT_SOURCE_DIR}/completions)
  install(FILES ${_completions}/kormial-cli.bash
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kormial-cli)
  install(FILES ${_completions}/_kormial-cli DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/site-functions)
  install(FILES ${_completions}/kormial-cli.fish DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
endif()
