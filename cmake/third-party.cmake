# The libraries a cross build links (Windows, web), built from Debian's source
# packages by scripts/SYSTEM-third-party.sh into COMPOFILLER_THIRD_PARTY (the
# sources, and the libraries under prefix/) the first time that build is
# configured, and kept. Included by the Windows and web toolchain files.
set(compofiller_scripts "${CMAKE_CURRENT_LIST_DIR}/../scripts")

# compofiller_third_party(SYSTEM LIBRARY...): builds what is missing of the
# libraries, then points pkg-config at them alone.
function(compofiller_third_party system)
  if(NOT COMPOFILLER_THIRD_PARTY)
    message(FATAL_ERROR "COMPOFILLER_THIRD_PARTY is not set: configure with `cmake --preset ${system}`")
  endif()
  foreach(library ${ARGN})
    if(NOT EXISTS "${COMPOFILLER_THIRD_PARTY}/prefix/.built-${library}")
      message(STATUS "Building the ${system} build's libraries from Debian's source packages "
                     "into ${COMPOFILLER_THIRD_PARTY} (the first time only: minutes)")
      execute_process(COMMAND bash "${compofiller_scripts}/${system}-third-party.sh" "${COMPOFILLER_THIRD_PARTY}"
                      RESULT_VARIABLE status)
      if(NOT status EQUAL 0)
        message(FATAL_ERROR "The ${system} build's libraries could not be built (status ${status})")
      endif()
      break()
    endif()
  endforeach()
  # pkg-config sees only these libraries, never the Linux host's.
  set(ENV{PKG_CONFIG_LIBDIR} "${COMPOFILLER_THIRD_PARTY}/prefix/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
endfunction()
