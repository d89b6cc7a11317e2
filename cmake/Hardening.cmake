# The hardening Debian builds its packages with: a protected stack, checked
# buffer functions, read-only relocations bound at start-up, and a position-
# independent executable. Off under the sanitizers, whose runtime does the
# checking there and clashes with _FORTIFY_SOURCE's wrappers.
option(ZANDREL_HARDEN "Build with Debian's hardening flags" ON)
if(ZANDREL_HARDEN AND NOT ZANDREL_SANITIZE)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  include(CheckPIESupported)
  check_pie_supported()
  add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security
    # glibc's checked functions need the optimiser; a Debug build goes without.
    $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE>
    $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-D_FORTIFY_SOURCE=2>)
  add_link_options(LINKER:-z,relro,-z,now)
endif()
