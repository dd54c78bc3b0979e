# Where an installation puts Galvorn's files, relative to its prefix. The programs find
# their data from their own folder, so the relative way from the one to the other is
# compiled in (platform::dataDir()).
include(GNUInstallDirs)
set(GALVORN_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/galvorn)
file(RELATIVE_PATH GALVORN_DATA_FROM_BINDIR /${CMAKE_INSTALL_BINDIR} /${GALVORN_INSTALL_DATADIR})
