# Every compiler and linker flag of the project, on two interface targets:
#   zandrel_flags        what each of our targets links (zandrel_core passes it on)
#   zandrel_base_flags   the same without the sanitizers, for code that runs in
#                        another program's process (bench/card)
option(ZANDREL_WERROR "Treat compiler warnings as errors (CI builds with it)" OFF)
option(ZANDREL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(ZANDREL_HARDEN "Build with Debian's hardening flags" ON)

add_library(zandrel_base_flags INTERFACE)
# Qt's, Exiv2's and GoogleTest's headers come in as system headers, which the
# compiler does not warn about: these warnings are for our own code.
target_compile_options(zandrel_base_flags INTERFACE
  -Wall -Wextra -Wshadow -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual)
if(ZANDREL_WERROR)
  target_compile_options(zandrel_base_flags INTERFACE -Werror)
endif()

add_library(zandrel_flags INTERFACE)
target_link_libraries(zandrel_flags INTERFACE zandrel_base_flags)
if(ZANDREL_SANITIZE)
  target_compile_options(zandrel_flags INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
  target_link_options(zandrel_flags INTERFACE -fsanitize=address,undefined)
endif()

# The hardening Debian builds its packages with: a protected stack, checked
# buffer functions, read-only relocations bound at start-up, and a position-
# independent executable. The flags are dpkg-buildflags' where it is there, so
# that they follow the system (Debian 13 adds stack-clash and control-flow
# protection); the list below where it is not, or when cross-compiling. Off
# under the sanitizers, whose runtime does the checking there and clashes with
# _FORTIFY_SOURCE's wrappers. Not for Windows: its linker already makes the
# executable relocatable and its data not executable, and the stack protector
# and checked functions of MinGW need a runtime library of their own.
if(ZANDREL_HARDEN AND NOT ZANDREL_SANITIZE AND NOT WIN32)
  set(hardening_flags -fstack-protector-strong -Wformat -Werror=format-security -D_FORTIFY_SOURCE=2)
  set(hardening_link_flags -Wl,-z,relro -Wl,-z,now)
  find_program(ZANDREL_DPKG_BUILDFLAGS dpkg-buildflags)
  mark_as_advanced(ZANDREL_DPKG_BUILDFLAGS)
  if(ZANDREL_DPKG_BUILDFLAGS AND NOT CMAKE_CROSSCOMPILING)
    foreach(variable CPPFLAGS CXXFLAGS LDFLAGS)
      execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                              ${ZANDREL_DPKG_BUILDFLAGS} --get ${variable}
                      OUTPUT_VARIABLE dpkg_${variable} OUTPUT_STRIP_TRAILING_WHITESPACE
                      RESULT_VARIABLE dpkg_failed)
      if(dpkg_failed)
        message(WARNING "dpkg-buildflags --get ${variable} failed: the fixed hardening flags are used")
        break()
      endif()
      separate_arguments(dpkg_${variable} UNIX_COMMAND "${dpkg_${variable}}")
    endforeach()
    if(NOT dpkg_failed)
      # Its hardening, without the optimisation, debugging and path options.
      set(hardening_flags ${dpkg_CPPFLAGS} ${dpkg_CXXFLAGS})
      list(FILTER hardening_flags INCLUDE REGEX
           "^-(fstack-|fcf-protection|mbranch-protection|Wformat|Werror=format|[DU]_FORTIFY_SOURCE)")
      set(hardening_link_flags ${dpkg_LDFLAGS})
    endif()
  endif()
  list(JOIN hardening_flags " " said)
  list(JOIN hardening_link_flags " " said_link)
  message(STATUS "Hardening: ${said} ${said_link}")

  # Position-independent code in every target that links the flags, and -pie
  # for its executables.
  set_property(TARGET zandrel_base_flags PROPERTY INTERFACE_POSITION_INDEPENDENT_CODE ON)
  include(CheckPIESupported)
  check_pie_supported()
  # glibc's checked functions need the optimiser; a Debug build goes without.
  set(fortify ${hardening_flags})
  list(FILTER fortify INCLUDE REGEX "_FORTIFY_SOURCE")
  list(FILTER hardening_flags EXCLUDE REGEX "_FORTIFY_SOURCE")
  target_compile_options(zandrel_base_flags INTERFACE ${hardening_flags})
  foreach(flag -U_FORTIFY_SOURCE ${fortify})
    target_compile_options(zandrel_base_flags INTERFACE $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:${flag}>)
  endforeach()
  target_link_options(zandrel_base_flags INTERFACE ${hardening_link_flags})
endif()
