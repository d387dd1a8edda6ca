# Manual pages of the three programs, made at build time by help2man from each
# program's --help and --version, with the sections kept in data/man/*.h2m.
option(ZEFIREL_MANPAGES "Build and install the manual pages (needs help2man)" ON)
if(NOT ZEFIREL_MANPAGES)
  return()
endif()
find_program(HELP2MAN_EXECUTABLE help2man)
if(NOT HELP2MAN_EXECUTABLE)
  message(FATAL_ERROR "help2man is missing: run scripts/setup.sh, or configure with -DZEFIREL_MANPAGES=OFF")
endif()

set(ZEFIREL_MAN_PAGES)
set(_man_programs zefirelctl zefirel-sim)
if(TARGET zefirel)
  list(APPEND _man_programs zefirel)
endif()
foreach(program IN LISTS _man_programs)
  set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
  set(include ${CMAKE_SOURCE_DIR}/data/man/${program}.h2m)
  add_custom_command(
    OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    # No display is needed: the programs answer --help and --version at once.
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            ${HELP2MAN_EXECUTABLE} --locale=C.UTF-8 --no-info --section=1 --include=${include}
            --output=${page} $<TARGET_FILE:${program}>
    DEPENDS ${program} ${include}
    COMMENT "Manual page of ${program}"
    VERBATIM)
  list(APPEND ZEFIREL_MAN_PAGES ${page})
endforeach()
add_custom_target(manpages ALL DEPENDS ${ZEFIREL_MAN_PAGES})
install(FILES ${ZEFIREL_MAN_PAGES} DESTINATION share/man/man1)
