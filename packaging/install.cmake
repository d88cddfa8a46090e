# Installation and packages, included from the top CMakeLists.txt once PROGRAMS
# names the programs.
#
# On Unix the tree is the one a Unix system expects: the programs in bin/, every
# manual page of man/ compressed in the folder of its section, and under
# share/doc/consolecalc the README, the licence as written and in Debian's form, and
# the change log; packaged as a tarball and a Debian package. On Windows it is one
# folder a user unpacks: the .exe files, README.txt and LICENSE.txt with CR LF line
# ends, and each manual page as HTML; packaged as a zip.
include(GNUInstallDirs)

# Every page in man/, picked up by its name: NAME.SECTION.
file(GLOB manual_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/man/*.[1-9])

if(WIN32)
  find_program(MANDOC_EXECUTABLE mandoc REQUIRED)
  # A text of the source tree for Windows, written at build time by
  # packaging/windows-text.cmake: CR LF line ends, and a manual page as HTML when
  # the page is named.
  set(windows_texts "")
  function(consolecalc_windows_text source output)
    set(conversion -D INPUT=${source} -D OUTPUT=${output})
    if(ARGV2 STREQUAL "HTML")
      list(APPEND conversion -D MANDOC=${MANDOC_EXECUTABLE})
    endif()
    add_custom_command(OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} ${conversion} -P ${PROJECT_SOURCE_DIR}/packaging/windows-text.cmake
      DEPENDS ${source} ${PROJECT_SOURCE_DIR}/packaging/windows-text.cmake
      COMMENT "Writing ${output} for Windows"
      VERBATIM)
    set(windows_texts ${windows_texts} ${output} PARENT_SCOPE)
  endfunction()

  consolecalc_windows_text(${PROJECT_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR}/README.txt)
  consolecalc_windows_text(${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/LICENSE.txt)
  foreach(page IN LISTS manual_sources)
    get_filename_component(name ${page} NAME_WLE)
    consolecalc_windows_text(${page} ${CMAKE_BINARY_DIR}/manual/${name}.html HTML)
  endforeach()
  add_custom_target(documents ALL DEPENDS ${windows_texts})

  install(TARGETS ${PROGRAMS} RUNTIME DESTINATION .)
  install(FILES ${windows_texts} DESTINATION .)
else()
  install(TARGETS ${PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})

  find_program(GZIP_EXECUTABLE gzip REQUIRED)
  # Compresses a file of the source tree into the build folder at build time. -n
  # leaves the name and time out of the header, so that the same text always
  # compresses to the same bytes.
  function(consolecalc_gzip source output)
    get_filename_component(copy ${output} NAME_WLE)
    get_filename_component(folder ${output} DIRECTORY)
    add_custom_command(OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -E copy ${source} ${folder}/${copy}
      COMMAND ${GZIP_EXECUTABLE} -9nf ${folder}/${copy}
      DEPENDS ${source}
      COMMENT "Compressing ${source}"
      VERBATIM)
  endfunction()

  set(compressed_pages "")
  foreach(page IN LISTS manual_sources)
    get_filename_component(name ${page} NAME)
    string(REGEX MATCH "[1-9]$" section ${name})
    consolecalc_gzip(${page} ${CMAKE_BINARY_DIR}/man/${name}.gz)
    install(FILES ${CMAKE_BINARY_DIR}/man/${name}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
    list(APPEND compressed_pages ${CMAKE_BINARY_DIR}/man/${name}.gz)
  endforeach()

  # The change log shares the project's version: its newest entry must name it.
  file(STRINGS packaging/changelog changelog_head LIMIT_COUNT 1)
  if(NOT changelog_head MATCHES "^consolecalc \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog begins with \"${changelog_head}\": "
                        "its newest entry must be for version ${PROJECT_VERSION}")
  endif()
  consolecalc_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog ${CMAKE_BINARY_DIR}/changelog.gz)
  add_custom_target(documents ALL DEPENDS ${compressed_pages} ${CMAKE_BINARY_DIR}/changelog.gz)

  # The licence in Debian's machine-readable form, made from LICENSE so that its text
  # lives in one place: each line indented by one blank, an empty line as " .".
  file(READ LICENSE licence)
  string(REGEX MATCH "^Copyright \\(c\\) ([^\n]*)" licence_holder "${licence}")
  set(licence_holder ${CMAKE_MATCH_1})
  string(REGEX REPLACE "^[^\n]*\n\n" "" licence_terms "${licence}")
  string(STRIP "${licence_terms}" licence_terms)
  string(REPLACE "\n\n" "\n.\n" licence_terms "${licence_terms}")
  string(REPLACE "\n" "\n " licence_terms " ${licence_terms}")
  configure_file(packaging/copyright.in copyright @ONLY)

  install(FILES ${CMAKE_BINARY_DIR}/copyright ${CMAKE_BINARY_DIR}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# Two builds of one commit give the same packages, byte for byte: every time stored
# in them is the commit's time, handed to cpack as SOURCE_DATE_EPOCH by the project
# config file unless the caller sets one. MinGW's strip writes the same time into
# each .exe's header as its link time. Outside a git checkout the change log's
# newest entry gives the time, as Debian's own tools take it.
set(source_date_epoch "")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE source_date_epoch OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE git_status ERROR_QUIET)
  if(NOT git_status EQUAL 0)
    set(source_date_epoch "")
  endif()
endif()
if(NOT source_date_epoch MATCHES "^[0-9]+$")
  file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog changelog_trailer REGEX "^ -- " LIMIT_COUNT 1)
  string(REGEX REPLACE "^ -- .*>  " "" changelog_date "${changelog_trailer}")
  execute_process(COMMAND date -d "${changelog_date}" +%s
    OUTPUT_VARIABLE source_date_epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(source_date_epoch MATCHES "^[0-9]+$")
  configure_file(packaging/cpack-options.cmake.in cpack-options.cmake @ONLY)
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/cpack-options.cmake)
else()
  message(WARNING "No commit or change log time found: the packages carry the times they are made at")
endif()

# Packages: the installed tree as a tarball and a Debian package on Unix, as a zip
# on Windows, of the project's version. The .deb's dependencies come from
# dpkg-shlibdeps (dpkg-dev).
set(CPACK_PACKAGE_NAME consolecalc)
set(CPACK_PACKAGE_VENDOR "the consolecalc authors")
set(CPACK_PACKAGE_CONTACT "consolecalc maintainers <maintainers@consolecalc.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interactive console exercises in 32-bit integer arithmetic")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Six small programs that each ask for whole numbers at the console, compute\n"
  "something from them and wait for one key: fibterm and fibseries (Fibonacci\n"
  "numbers by plain recursion, in 32-bit and in double precision), randgrid\n"
  "(batches of pseudo-random numbers between two bounds), parity (ten numbers\n"
  "split into odd and even), divisors (the divisors of a number and their sum)\n"
  "and divcheck (the remainder of a division). Entries are checked strictly,\n"
  "and each program has a manual page.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  endif()
else()
  set(CPACK_GENERATOR TGZ DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION math)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
# The packages of the 64-bit Arm cross-build. dpkg-shlibdeps cannot find an arm64
# program's dependencies on a build machine of another architecture: it finds only
# the cross libraries, under the names of Debian's -arm64-cross packages. They are
# written here instead, each version the one that brought the newest symbol version
# the programs take from that library (aarch64-linux-gnu-objdump -T): GLIBC_2.34,
# GCC_3.0 and CXXABI_1.3.9. A program that takes a newer one must raise them.
if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
  set(CPACK_SYSTEM_NAME Linux-aarch64)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 5)")
endif()
include(CPack)
