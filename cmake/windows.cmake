# The Windows executable: the same modules, the Win32 components, the resources.
enable_language(RC)

target_compile_definitions(tolvane_platform PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN
                                                    NOMINMAX _WIN32_WINNT=0x0601)
target_link_libraries(tolvane_platform PUBLIC ole32 oleaut32 uuid comdlg32 comctl32 user32 advapi32 shell32 credui)

# The modules call the components through CreatePlatformInstance and the components raise
# through the modules' error model: a cycle, which the linker sees through once CMake knows it.
target_link_libraries(tolvane_modules INTERFACE tolvane_platform)

# Everything static, so the program needs no DLL beyond those Windows itself ships.
set(TOLVANE_STATIC_LINK -static -static-libgcc -static-libstdc++)

add_executable(Tolvane WIN32 src/start/main.cpp resources/Tolvane.rc)
set_target_properties(Tolvane PROPERTIES OUTPUT_NAME Tolvane)
# No console: the entry point runs Main and nothing else.
target_link_options(Tolvane PRIVATE ${TOLVANE_STATIC_LINK} -mwindows)
target_link_libraries(Tolvane PRIVATE tolvane_platform)
# The same program for the console subsystem, so that cmd.exe and PowerShell wait for it and see
# its status; named .com, which cmd.exe takes before .exe when `Tolvane` is typed.
add_executable(TolvaneConsole src/start/main.cpp resources/Tolvane.rc)
set_target_properties(TolvaneConsole PROPERTIES OUTPUT_NAME Tolvane SUFFIX .com)
target_link_options(TolvaneConsole PRIVATE ${TOLVANE_STATIC_LINK} -mconsole)
target_link_libraries(TolvaneConsole PRIVATE tolvane_platform)
# The Event Log's message table, compiled into a script and a binary that Tolvane.rc takes in
# from the build folder.
if(NOT TOLVANE_MC_COMPILER)
  message(FATAL_ERROR "No message compiler: build with a toolchain file from cmake/")
endif()
set(TOLVANE_MESSAGES_DIR ${CMAKE_CURRENT_BINARY_DIR}/messages)
add_custom_command(
  OUTPUT ${TOLVANE_MESSAGES_DIR}/Messages.rc ${TOLVANE_MESSAGES_DIR}/MSG00409.bin
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TOLVANE_MESSAGES_DIR}
  COMMAND ${TOLVANE_MC_COMPILER} -h ${TOLVANE_MESSAGES_DIR} -r ${TOLVANE_MESSAGES_DIR}
          ${CMAKE_CURRENT_SOURCE_DIR}/resources/Messages.mc
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/resources/Messages.mc
  VERBATIM)
add_custom_target(TolvaneMessages DEPENDS ${TOLVANE_MESSAGES_DIR}/Messages.rc)
foreach(target Tolvane TolvaneConsole)
  target_include_directories(${target} PRIVATE ${TOLVANE_MESSAGES_DIR})
  add_dependencies(${target} TolvaneMessages)
endforeach()

set(TOLVANE_RESOURCE_FILES ${CMAKE_CURRENT_SOURCE_DIR}/resources/Tolvane.ico
                           ${CMAKE_CURRENT_SOURCE_DIR}/resources/Tolvane.manifest
                           ${TOLVANE_MESSAGES_DIR}/Messages.rc ${TOLVANE_MESSAGES_DIR}/MSG00409.bin)
set_source_files_properties(resources/Tolvane.rc PROPERTIES
  OBJECT_DEPENDS "${TOLVANE_RESOURCE_FILES}")

# The command-line checker: a console program.
add_executable(tolvane-check src/check/main.cpp src/check/CheckFiles.cpp)
target_link_options(tolvane-check PRIVATE ${TOLVANE_STATIC_LINK})
target_link_libraries(tolvane-check PRIVATE tolvane_platform)

option(TOLVANE_WINDOWS_TESTS "Build the programs the Wine suite runs" ON)
if(TOLVANE_WINDOWS_TESTS)
  add_subdirectory(tests/windows)
endif()
