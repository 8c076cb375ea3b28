enable_language(RC)
# UnInst.exe: a shipped program like the engine (our runtime, no C++
# exceptions, only the libraries Windows always takes from the system
# folder), made once the shipped variants of its libraries exist. brikpack
# puts it into packages that turn the uninstall on.
set(BRIK_UNINST_DIR ${CMAKE_BINARY_DIR}/src/uninstall)
add_executable(UnInst WIN32 ${CMAKE_SOURCE_DIR}/src/uninstall/UnInstMain.cpp ${CMAKE_SOURCE_DIR}/resources/uninstall.rc)
set_target_properties(UnInst PROPERTIES OUTPUT_NAME UnInst RUNTIME_OUTPUT_DIRECTORY ${BRIK_UNINST_DIR})
target_include_directories(UnInst PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/resources)
target_link_libraries(UnInst PRIVATE brik_uninstall_shipped shell32 user32 gdi32 advapi32)
brik_shipped_code(UnInst)
brik_shipped_program(UnInst)
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/uninstall.rc PROPERTIES OBJECT_DEPENDS
  ${CMAKE_SOURCE_DIR}/resources/mainicon.ico)
