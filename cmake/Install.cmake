# What `cmake --install` puts where (GNUInstallDirs), and the Debian package
# CPack makes of it (scripts/package.sh). The programs find their run-time
# data in ${CMAKE_INSTALL_DATADIR}/vireoimport relative to their own folder
# (VIREO_DATA_FROM_PROGRAM in Version.h).
set(_data ${CMAKE_INSTALL_DATADIR}/vireoimport)
set(_dist ${PROJECT_SOURCE_DIR}/dist)

install(TARGETS vireo-import RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The table definitions init-db carries, for a data source of another engine.
# The data folder also tells an installed tree from a build tree.
install(FILES src/db/schema/sqlite.sql src/db/schema/postgresql.sql DESTINATION ${_data}/schema)
install(FILES ${_dist}/vireo-import.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME vireo-import)

# systemd: the watch service, its per-list template and timer, the system user.
set(VIREO_SYSTEMD_DIR "lib/systemd" CACHE STRING "systemd's folder of units and sysusers.d, under the prefix")
install(FILES ${_dist}/systemd/vireo-watch.service ${_dist}/systemd/vireo-watch@.service
              ${_dist}/systemd/vireo-watch@.timer DESTINATION ${VIREO_SYSTEMD_DIR}/system)
install(FILES ${_dist}/systemd/vireoimport.sysusers DESTINATION lib/sysusers.d RENAME vireoimport.conf)

# Manual pages and the package's changelog, compressed as Debian keeps them.
set(_pages vireo-import.1)
if(VIREO_BUILD_GUI)
  list(APPEND _pages VireoImport.1)
endif()
set(_compressed)
foreach(_page ${_pages} changelog)
  if(_page STREQUAL changelog)
    set(_source ${_dist}/debian/changelog)
  else()
    set(_source ${_dist}/man/${_page})
  endif()
  set(_out ${CMAKE_BINARY_DIR}/dist/${_page}.gz)
  add_custom_command(OUTPUT ${_out}
    COMMAND ${CMAKE_COMMAND} -E copy ${_source} ${CMAKE_BINARY_DIR}/dist/${_page}
    COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/dist/${_page}
    DEPENDS ${_source} VERBATIM)
  list(APPEND _compressed ${_out})
endforeach()
add_custom_target(vireo_dist ALL DEPENDS ${_compressed})
foreach(_page ${_pages})
  install(FILES ${CMAKE_BINARY_DIR}/dist/${_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/dist/changelog.gz ${_dist}/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/vireoimport)

if(VIREO_BUILD_GUI)
  install(TARGETS VireoImport RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES docs/help/VireoImport.html DESTINATION ${_data})
  install(FILES ${_dist}/vireoimport.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${_dist}/vireoimport.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  foreach(_size 16 32 48 64 128 256)
    install(FILES ${_dist}/icons/vireoimport-${_size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps RENAME vireoimport.png)
  endforeach()
endif()

# The Debian package: vireoimport_<version>_amd64.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vireoimport)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "VireoImport developers <vireoimport@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "import data-logger log files into a telemetry database")
# The extended description; CPack indents its lines and dots its empty one.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "VireoImport carries the measurements of Vireo data loggers (and the model
4620) from their text log files (.log, .csv, .prn) into the TF_DATA1 table
of a Tarnfold telemetry database, through ODBC (SQLite and PostgreSQL).

The package holds the window VireoImport, the command line twin
vireo-import (import, dry runs, summaries, following growing files with
watch, init-db and add-station for a database of one's own) and systemd
units that run watch as a service or from a timer.")
set(CPACK_DEBIAN_FILE_NAME "vireoimport_${PROJECT_VERSION}_amd64.deb")
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "passwd, tzdata")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsqliteodbc, odbc-postgresql, unixodbc")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${_dist}/debian/postinst ${_dist}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
include(CPack)
