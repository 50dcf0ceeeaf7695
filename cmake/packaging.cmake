# What goes into the Debian packages besides the programs (manual pages,
# copyright, changelog) and the packages themselves (cpack -G DEB in the
# build folder):
#   jobwick      the command line, the plug-in bundles and the drivers (the
#                component "cli"); no GUI library
#   jobwick-gtk  jobwick-dialog and the desktop entry (the component "gtk"),
#                depending on jobwick of the same version
# Their binaries are stripped; the debugging symbols go to jobwick-dbgsym and
# jobwick-gtk-dbgsym (.ddeb).
include(GNUInstallDirs)

set(JOBWICK_MAINTAINER "Jobwick Maintainers <maintainers@jobwick.example.org>"
  CACHE STRING "The packages' Maintainer field and the changelog's signature")

# Manual pages and the changelog as Debian installs them: gzip -9n (no file
# name, no time stamp, so the same bytes every build).
set(JOBWICK_PACKAGING_DIR ${CMAKE_BINARY_DIR}/packaging)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${JOBWICK_PACKAGING_DIR}/changelog @ONLY)
set(JOBWICK_COMPRESSED)
function(jobwick_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" sh ${source} ${output}
    DEPENDS ${source} VERBATIM)
  set(JOBWICK_COMPRESSED ${JOBWICK_COMPRESSED} ${output} PARENT_SCOPE)
endfunction()
jobwick_gzip(${PROJECT_SOURCE_DIR}/docs/jobwick.1 ${JOBWICK_PACKAGING_DIR}/jobwick.1.gz)
jobwick_gzip(${PROJECT_SOURCE_DIR}/docs/jobwick-dialog.1 ${JOBWICK_PACKAGING_DIR}/jobwick-dialog.1.gz)
jobwick_gzip(${JOBWICK_PACKAGING_DIR}/changelog ${JOBWICK_PACKAGING_DIR}/changelog.gz)
add_custom_target(jobwick_packaging_files ALL DEPENDS ${JOBWICK_COMPRESSED})

install(FILES ${JOBWICK_PACKAGING_DIR}/jobwick.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT cli)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${JOBWICK_PACKAGING_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/jobwick COMPONENT cli)
if(JOBWICK_GTK)
  install(FILES ${JOBWICK_PACKAGING_DIR}/jobwick-dialog.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT gtk)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${JOBWICK_PACKAGING_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/jobwick-gtk COMPONENT gtk)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME jobwick)
set(CPACK_PACKAGE_VENDOR "Jobwick developers")
set(CPACK_PACKAGE_CONTACT "${JOBWICK_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL cli)
if(JOBWICK_GTK)
  list(APPEND CPACK_COMPONENTS_ALL gtk)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)

set(CPACK_DEBIAN_CLI_PACKAGE_NAME jobwick)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_CLI_PACKAGE_RECOMMENDS "cups-client")
set(CPACK_DEBIAN_CLI_PACKAGE_SUGGESTS "jobwick-gtk, cups")
set(CPACK_DEBIAN_CLI_DESCRIPTION
  "job-handling panel and headless print dialog for Quivo printers
Jobwick is the job-handling panel a print dialog adds for the Quivo vk7300
and vk410e networked multifunction printers: job retention with a pass
code, document filing on the printer's disk, authentication and job
identification, written into each job's options as the job ticket the
printer driver's filter reads.
.
This package holds the jobwick command (a print dialog without a display:
it prints files through CUPS with the panel's ticket, sets up queues whose
tickets other users cannot read, and explains tickets and remembered
settings), the plug-in bundles of both printers, and their PPD files where
the CUPS scheduler finds them (lpinfo -m, lpadmin -m jobwick/vk7300.ppd).
It needs no graphical library; the GTK dialog is in jobwick-gtk.")

set(CPACK_DEBIAN_GTK_PACKAGE_NAME jobwick-gtk)
set(CPACK_DEBIAN_GTK_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_GTK_PACKAGE_DEPENDS "jobwick (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_GTK_DESCRIPTION
  "GTK 4 print dialog with the Jobwick job-handling panel
Jobwick is the job-handling panel a print dialog adds for the Quivo vk7300
and vk410e networked multifunction printers: job retention with a pass
code, document filing on the printer's disk, authentication and job
identification.
.
This package holds jobwick-dialog, which 'jobwick dialog' runs: the GTK
print dialog with the panel of the selected printer as a tab, printing
through CUPS with the panel's job ticket, and the desktop entry 'Print with
Jobwick'.")
# jobwick-dialog links the framework library of jobwick, installed beside
# it in the other package: dpkg-shlibdeps finds it in that package's tree.
set(CPACK_DEBIAN_GTK_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
  "${CMAKE_BINARY_DIR}/_CPack_Packages/Linux/DEB/jobwick-${PROJECT_VERSION}-Linux/cli/usr/lib/jobwick/platform")
include(CPack)
