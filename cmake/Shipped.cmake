# The shipped Windows programs (setup.exe, unpack.dll) and the libraries
# they are made of. Every byte of them comes before a package's cabinet and
# they must run on a 486 under Windows 95, so they are built apart from the
# tools and tests, which link the ordinary libraries:
#  - for the 486 (no cmov, fcomi, MMX or SSE), with nothing prebuilt for a
#    later processor linked in: no C library at all (our runtime over
#    kernel32, src/util/ShippedRuntime*.cpp), no compiled C++ library code;
#  - without exceptions, unwind tables or RTTI (BRIK_SHIPPED: see
#    util/Error.h);
#  - for size: link-time optimisation as one unit, call arguments pushed
#    rather than stored, a 4-byte stack alignment, read-only data in .text
#    (cmake/shipped.ld).
# `make size` prints what each source file costs (scripts/size-report.sh).

# The 64-bit build is a test vehicle for machines that run no 32-bit code:
# the same sources, linked as ordinary programs with the compiler's own
# runtime. Nothing of it ships, so none of the shipped build's measures
# (the 486, our runtime, the section layout) applies there.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  function(brik_shipped_variant lib)
    add_library(${lib}_shipped ALIAS ${lib})
  endfunction()
  foreach(lib brik_util brik_ui_core brik_config brik_config_win32 brik_cab brik_crypto brik_install_core brik_ui
      brik_install brik_uninstall_core brik_uninstall)
    brik_shipped_variant(${lib})
  endforeach()
  function(brik_shipped_program target)
    get_target_property(type ${target} TYPE)
    # The entry lives in a library: the start-up code asks for it only
    # after the libraries have been searched.
    if(type STREQUAL "EXECUTABLE")
      target_link_options(${target} PRIVATE -Wl,--undefined=WinMain)
    endif()
    target_link_options(${target} PRIVATE -Wl,-Map,$<TARGET_FILE:${target}>.map)
  endfunction()
  return()
endif()

set(BRIK_SHIPPED_CODE_OPTIONS
  -march=i486 -mtune=generic -g0
  -Os -fno-exceptions -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-rtti -fno-threadsafe-statics
  -mno-accumulate-outgoing-args -mno-stack-arg-probe -fstack-clash-protection -mpreferred-stack-boundary=2
  # Not -fdata-sections: with it mingw's GCC puts zero-initialised data in
  # sections of .data, bytes in the file, instead of .bss. Link-time
  # optimisation drops unused data anyway.
  -ffunction-sections -fno-data-sections)

# Variants of the libraries, named NAME_shipped: the same sources, include
# folders, definitions and dependencies (their shipped variants where there
# are any), the shipped flags on top. Make the dependencies' variants first.
function(brik_shipped_variant lib)
  set(variant ${lib}_shipped)
  get_target_property(sources ${lib} SOURCES)
  get_target_property(dir ${lib} SOURCE_DIR)
  set(files)
  foreach(source IN LISTS sources)
    if(IS_ABSOLUTE "${source}")
      list(APPEND files "${source}")
    else()
      list(APPEND files "${dir}/${source}")
    endif()
  endforeach()
  add_library(${variant} STATIC EXCLUDE_FROM_ALL ${files})
  foreach(property INCLUDE_DIRECTORIES COMPILE_DEFINITIONS COMPILE_OPTIONS
                   INTERFACE_INCLUDE_DIRECTORIES INTERFACE_COMPILE_DEFINITIONS)
    get_target_property(value ${lib} ${property})
    if(value)
      set_property(TARGET ${variant} PROPERTY ${property} "${value}")
    endif()
  endforeach()
  foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
    get_target_property(value ${lib} ${property})
    if(NOT value)
      continue()
    endif()
    set(mapped)
    foreach(item IN LISTS value)
      if(TARGET ${item}_shipped)
        list(APPEND mapped ${item}_shipped)
      else()
        list(APPEND mapped ${item})
      endif()
    endforeach()
    set_property(TARGET ${variant} PROPERTY ${property} "${mapped}")
  endforeach()
  target_compile_options(${variant} PRIVATE ${BRIK_SHIPPED_CODE_OPTIONS} -flto)
  target_compile_definitions(${variant} PUBLIC BRIK_SHIPPED=1)
endfunction()

# Each after the libraries it links, so that its variant links their variants.
foreach(lib brik_util brik_ui_core brik_config brik_config_win32 brik_cab brik_crypto brik_install_core brik_ui
    brik_install brik_uninstall_core brik_uninstall)
  brik_shipped_variant(${lib})
endforeach()

# The runtime: compiled without link-time optimisation (the calls to memcpy
# and memset that code generation makes must meet a finished definition)
# and without loops turned into such calls (they would call themselves).
foreach(part Runtime StartExe StartDll)
  add_library(brik_shipped_${part} OBJECT ${CMAKE_SOURCE_DIR}/src/util/Shipped${part}.cpp)
  target_include_directories(brik_shipped_${part} PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_compile_definitions(brik_shipped_${part} PRIVATE BRIK_SHIPPED=1)
  target_compile_options(brik_shipped_${part} PRIVATE ${BRIK_SHIPPED_CODE_OPTIONS}
    -fno-tree-loop-distribute-patterns -fno-builtin)
endforeach()

# Makes TARGET (an executable or a shared library) a shipped program: the
# shipped flags, our runtime and start-up code instead of the C library's,
# the shipped section layout, a link map for `make size`.
function(brik_shipped_program target)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(start StartExe)
    set(entry _WinMainCRTStartup)
  else()
    set(start StartDll)
    set(entry _DllMainCRTStartup@12)
  endif()
  target_sources(${target} PRIVATE $<TARGET_OBJECTS:brik_shipped_Runtime> $<TARGET_OBJECTS:brik_shipped_${start}>)
  target_compile_options(${target} PRIVATE ${BRIK_SHIPPED_CODE_OPTIONS} -flto)
  target_compile_definitions(${target} PRIVATE BRIK_SHIPPED=1)
  # GCC 12 takes code generation options from the link line and needs the
  # whole program in one partition to keep every symbol it resolved.
  target_link_options(${target} PRIVATE ${BRIK_SHIPPED_CODE_OPTIONS} -flto -flto-partition=one
    # The layout goes in as the default script (-dT): given with -T, GCC 12's
    # linker crashes on some link-time optimised DLLs.
    -nostdlib -Wl,-e,${entry} -Wl,-dT,${CMAKE_SOURCE_DIR}/cmake/shipped.ld
    -Wl,-Map,$<TARGET_FILE:${target}>.map)
  # The helpers code generation may call (64-bit division, for one).
  target_link_libraries(${target} PRIVATE gcc)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/shipped.ld)
endfunction()
