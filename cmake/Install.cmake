# Install layout and the Debian package: programs in bin/, the shipped data in share/kelvara/
# (found from the programs through platform/DataFiles), desktop entry, icons, man pages and the
# systemd user unit where the desktop and systemd look for them.
install(TARGETS kelvara kvsysinfo kvoptions RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The HTTP(S) server module, found from the programs as ../lib/kelvara/modules/ (one level
# below lib/kelvara so that the package does not run ldconfig for a private module).
install(TARGETS kelvara-httpd LIBRARY DESTINATION lib/kelvara/modules)
install(FILES ${KV_DATA_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/kelvara)
# The desktop entry and the software-centre metadata share one reverse-DNS id.
install(FILES packaging/org.kelvara.Kelvara.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/org.kelvara.Kelvara.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY packaging/screenshots/ DESTINATION ${CMAKE_INSTALL_DATADIR}/kelvara/screenshots)
# For many machines: the Prometheus rules, the Grafana dashboard and the readings object's schema.
install(FILES packaging/prometheus/kelvara-rules.yml packaging/grafana/kelvara-dashboard.json docs/readings.schema.json
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kelvara)
# The licence text as it came with the program; the copyright file refers to it.
install(FILES COPYING DESTINATION ${CMAKE_INSTALL_DATADIR}/kelvara)
install(FILES packaging/kelvara.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 32 48 128)
  install(FILES packaging/icons/kelvara-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME kelvara.png)
endforeach()

# Man pages go in gzipped, as Debian wants them.
foreach(page kelvara kvsysinfo kvoptions)
  set(gz ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9n < ${CMAKE_SOURCE_DIR}/man/${page}.1 > ${gz}
    DEPENDS ${CMAKE_SOURCE_DIR}/man/${page}.1 VERBATIM)
  list(APPEND kv_man_pages ${gz})
endforeach()
add_custom_target(kv_man ALL DEPENDS ${kv_man_pages})
install(FILES ${kv_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(kv_changelog ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${kv_changelog}
  COMMAND gzip -9n < ${CMAKE_SOURCE_DIR}/packaging/changelog > ${kv_changelog}
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog VERBATIM)
add_custom_target(kv_changelog ALL DEPENDS ${kv_changelog})
install(FILES ${kv_changelog} packaging/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvara)

# The user unit lives under lib/ even with a multiarch libdir.
# Its program path follows the prefix given at install time (cpack, --prefix).
install(CODE "set(KV_BIN \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  configure_file(\"${CMAKE_SOURCE_DIR}/packaging/kelvara.service.in\" \"${CMAKE_BINARY_DIR}/kelvara.service\" @ONLY)")
install(FILES ${CMAKE_BINARY_DIR}/kelvara.service DESTINATION lib/systemd/user)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvara)
set(CPACK_PACKAGE_VENDOR "Kelvara")
set(CPACK_PACKAGE_CONTACT "Kelvara developers <kelvara@kelvara.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "PC health monitor with history charts and publishing")
set(CPACK_PACKAGE_DESCRIPTION "Kelvara watches temperatures, voltages, fans, CPU load, memory,
disks, network and battery of one Linux PC, keeps their history for
8 hours, 7 days and a year, draws it and publishes the pictures by
FTP/FTPS, secure copy and a built-in HTTP(S) server.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# kelvara opens libcurl only for a transfer, so dpkg-shlibdeps cannot see it; it adds what it
# finds to this. 7.85 is the first release with CURLOPT_PROTOCOLS_STR; libcurl4t64 is the
# library's name since Debian 13 / Ubuntu 24.04.
# The pictures draw with Liberation (Latin, Cyrillic) and DejaVu; Korean texts need a Hangul
# font, which fontconfig falls back to for the glyphs Liberation lacks.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4t64 | libcurl4 (>= 7.85.0), fonts-liberation, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-nanum | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.kelvara.org")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
