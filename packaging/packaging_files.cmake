# What a Linux installation adds to the programs: device access, menu entry, icon,
# software-centre data, manual pages, the relay server's unit and system user.
set(korvan_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/korvan-kx4)

install(FILES 70-korvan-kx4.rules DESTINATION lib/udev/rules.d)
install(FILES korvan-kx4.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES korvan-kx4.svg DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
install(FILES com.ardexon.korvan_kx4.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
install(FILES korvan-relay.sysusers DESTINATION lib/sysusers.d RENAME korvan-relay.conf)
# The monitor's user always (postinst creates it; the udev rule names its group),
# its unit with the program.
install(FILES korvan-monitor.sysusers DESTINATION lib/sysusers.d RENAME korvan-monitor.conf)
if(TARGET korvan-monitor)
  install(FILES korvan-monitor.service DESTINATION lib/systemd/system)
endif()
install(FILES copyright DESTINATION ${korvan_docdir})
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/korvan-relay.service)
  install(FILES korvan-relay.service DESTINATION lib/systemd/system)
endif()
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/korvan-relay-haproxy.cfg)
  install(FILES korvan-relay-haproxy.cfg DESTINATION ${korvan_docdir}/examples)
endif()

# Manual pages and the change log go compressed (gzip -9n: no name or time stamp,
# so the same sources give the same package).
find_program(KORVAN_GZIP gzip)
set(korvan_compressed)
macro(korvan_install_compressed source destination)
  get_filename_component(name ${source} NAME)
  if(KORVAN_GZIP)
    set(packed ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
    add_custom_command(OUTPUT ${packed}
      COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/${source}
              ${CMAKE_CURRENT_BINARY_DIR}/${name}
      COMMAND ${KORVAN_GZIP} -9nf ${CMAKE_CURRENT_BINARY_DIR}/${name}
      DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${source} VERBATIM)
    list(APPEND korvan_compressed ${packed})
    install(FILES ${packed} DESTINATION ${destination})
  else()
    install(FILES ${source} DESTINATION ${destination})
  endif()
endmacro()

foreach(page korvan-kx4 korvan-settings korvan-relay korvan-monitor)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/man/${page}.1)
    korvan_install_compressed(man/${page}.1 ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()
# The demo shares the tool's page.
if(KORVAN_GZIP)
  file(CREATE_LINK korvan-kx4.1.gz ${CMAKE_CURRENT_BINARY_DIR}/korvan-kx4-demo.1.gz SYMBOLIC)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/korvan-kx4-demo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
korvan_install_compressed(changelog ${korvan_docdir})
add_custom_target(korvan_packaging_files ALL DEPENDS ${korvan_compressed})

# The relay server's manual page comes with the relay server's rewrite; until then
# the package says why it has none.
if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/man/korvan-relay.1)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/lintian-overrides
       "# The relay server's manual page is written with its rewrite.\n"
       "korvan-kx4: no-manual-page [usr/bin/korvan-relay]\n")
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME korvan-kx4)
endif()
