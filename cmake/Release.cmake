# The programs a Windows author downloads (Saverpak.scr, saverpak.exe, the demo's module) are
# lean and reproducible: the same commit gives the same bytes in any folder at any time.
#  - No build path in them: source and build folder are mapped to fixed names.
#  - The PE time stamp is SOURCE_DATE_EPOCH: from the environment when set, else the time of
#    the last commit (mingw-w64's ld reads SOURCE_DATE_EPOCH itself).
#  - Debug information and the symbol table go into NAME.debug beside the program, linked by
#    .gnu_debuglink, for crash analysis; the program itself carries neither (a PE program needs
#    no symbol table to run, and it was a quarter of the saver).

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(SAVERPAK_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE SAVERPAK_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_QUIET)
endif()
if(NOT SAVERPAK_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "No SOURCE_DATE_EPOCH and no git history to take the release binaries' "
                      "time stamp from; set SOURCE_DATE_EPOCH (seconds since 1970)")
endif()

add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
                    -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)

# saverpak_release_binary(TARGET): links TARGET with the fixed time stamp and moves its debug
# information out. The linker step's command line carries the time stamp, so a new one relinks.
function(saverpak_release_binary target)
  set(epoch_env ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${SAVERPAK_SOURCE_DATE_EPOCH})
  set_target_properties(${target} PROPERTIES C_LINKER_LAUNCHER "${epoch_env}"
                                              CXX_LINKER_LAUNCHER "${epoch_env}")
  set(program $<TARGET_FILE:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${epoch_env} ${CMAKE_OBJCOPY} --only-keep-debug ${program} ${program}.debug
    COMMAND ${epoch_env} ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=${program}.debug
            ${program}
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()
