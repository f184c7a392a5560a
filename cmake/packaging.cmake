# The packages CPack makes from what the install rules put in place: a .deb
# on Linux (the package preset) and a zip on Windows (package-windows).
set(CPACK_PACKAGE_NAME pelorin)
# Packages are numbered by three parts; the fourth is the Windows file version's.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(CPACK_PACKAGE_VENDOR "The Pelorin developers")
set(CPACK_PACKAGE_CONTACT "The Pelorin developers <pelorin@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "monitor for the gateway of a wireless sensor network")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME pelorin-${CPACK_PACKAGE_VERSION}-windows-x86_64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  # The runtime libraries linked into the programs, and their notices.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/windows/THIRD-PARTY.txt DESTINATION .)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

  # The window's Japanese dialog font, the Japanese texts of Qt's own dialogs
  # (the save dialog and its overwrite question), and what makes the logger's
  # system user.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, qt6-translations-l10n, adduser")
  # A cross build's package is of the architecture it was built for. The
  # Raspberry Pi's desktop is a Wayland one, whose Qt plugin is a package of
  # its own.
  if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_PROCESSOR STREQUAL aarch64)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", qt6-wayland")
  endif()
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
      ${PROJECT_SOURCE_DIR}/packaging/debian/prerm ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  string(CONCAT CPACK_PACKAGE_DESCRIPTION
      "Pelorin reaches the gateway of a wireless sensor network over the LAN or\n"
      "over its USB serial port and shows every node report live in one small\n"
      "Japanese window: coloured indicators or converted values (V, mA, degrees\n"
      "Celsius), the node's status and the time of reception. On request it\n"
      "appends every report to a CSV file in Shift-JIS.\n"
      "\n"
      "The package also holds pelorin-logger, which logs a gateway's reports\n"
      "unattended (from a terminal or as a systemd service, one instance per\n"
      "gateway), and pelorin-gateway-sim, a simulated gateway.")

  set(doc ${CMAKE_INSTALL_DATADIR}/doc/pelorin)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright DESTINATION ${doc})
  # The schema of the report messages the logger publishes, for their readers.
  install(FILES ${PROJECT_SOURCE_DIR}/docs/report.schema.json DESTINATION ${doc})
  # Debian's changelog and the manual pages, compressed without a time stamp
  # so that the same sources give the same package.
  find_program(PELORIN_GZIP gzip REQUIRED)
  set(compressed)
  foreach(source debian/changelog man/pelorin.1 man/pelorin-logger.1 man/pelorin-gateway-sim.1)
    get_filename_component(name ${source} NAME)
    set(output ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
    add_custom_command(
      OUTPUT ${output}
      COMMAND ${PELORIN_GZIP} -9nc ${PROJECT_SOURCE_DIR}/packaging/${source} > ${output}
      DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${source})
    list(APPEND compressed ${output})
  endforeach()
  add_custom_target(pelorin_compressed_docs ALL DEPENDS ${compressed})
  list(POP_FRONT compressed changelog)
  install(FILES ${changelog} DESTINATION ${doc})
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # Debian 12's systemd and dpkg keep packaged units in /lib.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/pelorin-logger@.service
          DESTINATION /lib/systemd/system)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/pelorin-logger-modules.conf
          DESTINATION lib/modules-load.d RENAME pelorin-logger.conf)
endif()

include(CPack)
