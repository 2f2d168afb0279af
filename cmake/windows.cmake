# The Windows programs: plover.dle as a DLL exporting the module's entry points (with the Win32
# options dialog and its resources) and plover.exe, which loads it as the Linux command loads
# its module. Both are linked statically against the C++, threads and zlib libraries, so they
# need no DLL beyond the system's.
enable_language(RC)

# Header-only libraries the command uses come from the build machine's Debian packages (CLI11,
# nlohmann-json, stb); only their folders are put on the include path, not /usr/include.
set(PLOVER_HOST_HEADERS ${PROJECT_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${PLOVER_HOST_HEADERS})
foreach(dir CLI nlohmann stb)
  if(NOT EXISTS ${PLOVER_HOST_HEADERS}/${dir})
    file(CREATE_LINK /usr/include/${dir} ${PLOVER_HOST_HEADERS}/${dir} SYMBOLIC)
  endif()
endforeach()
target_include_directories(plover_host_objects SYSTEM PUBLIC ${PLOVER_HOST_HEADERS})

# The platform layer's Windows side asks the shell for the wide command line.
target_link_libraries(plover_core PUBLIC shell32)

# The Win32 view of the options dialog; the plug-in shows it through plugin/options_dialog_win32.
add_library(plover_dialog_win32 STATIC
  options/win32/clip_list_view.cpp options/win32/module_attach.cpp options/win32/options_dialog_win32.cpp)
target_link_libraries(plover_dialog_win32 PUBLIC plover_options comctl32 gdi32 user32)
target_link_libraries(plover_plugin PUBLIC plover_dialog_win32)

set(PLOVER_WINDOWS_LINK -static -static-libgcc -static-libstdc++ -Wl,--gc-sections)

add_library(plover_module MODULE plugin/module.cpp plugin/module.def options/win32/plover.rc)
set_target_properties(plover_module PROPERTIES OUTPUT_NAME plover PREFIX "" SUFFIX ".dle"
  LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
target_link_libraries(plover_module PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,plover_plugin>" plover_dialog_win32
  plover_options plover_core plover_xformat plover_sdk)
target_link_options(plover_module PRIVATE ${PLOVER_WINDOWS_LINK} -Wl,--no-undefined)

plover_sources(PLOVER_CLI_SOURCES tools/plover)
list(REMOVE_ITEM PLOVER_CLI_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tools/plover/main.cpp)
add_library(plover_cli STATIC ${PLOVER_CLI_SOURCES})
target_link_libraries(plover_cli PUBLIC plover_host plover_options plover_xformat)
add_executable(plover tools/plover/main.cpp)
target_link_libraries(plover PRIVATE plover_cli)
target_compile_definitions(plover PRIVATE PLOVER_VERSION="${PROJECT_VERSION}")
set_target_properties(plover PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
target_link_options(plover PRIVATE ${PLOVER_WINDOWS_LINK})
add_dependencies(plover plover_module)
