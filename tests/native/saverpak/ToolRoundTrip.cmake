# Drives the built saverpak program (natively, or under Wine for the Windows build) through
# build, list, verify and extract, and checks its exit codes and messages. Every path it is
# given holds letters that no one ANSI code page has (Cyrillic and CJK), and the stored module
# name is a Windows-1252 one.
#   cmake -DTOOL=path -DEMULATOR=wine-or-empty -DWORK=folder -DSTUB=stub -P ToolRoundTrip.cmake
file(REMOVE_RECURSE ${WORK})
set(WORK "${WORK}/Мария 雪")
file(MAKE_DIRECTORY "${WORK}")

function(tool expected_code)
  execute_process(COMMAND ${EMULATOR} ${TOOL} ${ARGN}
                  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT code EQUAL expected_code)
    message(FATAL_ERROR "saverpak ${ARGN}: exit ${code}, expected ${expected_code}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

file(COPY_FILE "${STUB}" "${WORK}/stub.scr")
file(WRITE "${WORK}/Снег.exe" "MZ show program")
file(WRITE "${WORK}/café 雪.toml" [=[
[settings]
link = "https://example.invalid/"
caption = "Example"
music = true

[[module]]
file = "Снег.exe"
name = "Café.exe"

[[module]]
external = true
name = 'C:\Programs\leave.exe'

[[key]]
key = "F1"
function = "shell-execute"
command = "https://example.invalid/help"
]=])

tool(0 build --stub "${WORK}/stub.scr" --manifest "${WORK}/café 雪.toml" -o "${WORK}/Снег 雪.scr")
tool(0 verify "${WORK}/Снег 雪.scr")
tool(0 list --json "${WORK}/Снег 雪.scr")
string(JSON start GET "${out}" containerStart)
string(JSON name GET "${out}" modules 0 name text)
string(JSON namePosition GET "${out}" modules 0 name position)
string(JSON dataPosition GET "${out}" modules 0 data position)
string(JSON command GET "${out}" keys 0 command text)
string(JSON caption GET "${out}" settings caption)
string(JSON saverName GET "${out}" saver name)
math(EXPR dataExpected "${start} + 16")
if(NOT namePosition EQUAL start OR NOT dataPosition EQUAL dataExpected OR NOT saverName STREQUAL "Снег 雪"
   OR NOT name STREQUAL "Café.exe" OR NOT command STREQUAL "https://example.invalid/help"
   OR NOT caption STREQUAL "Example")
  message(FATAL_ERROR "unexpected list --json:\n${out}")
endif()

# The path as it was given, not read as a container text.
tool(0 list "${WORK}/Снег 雪.scr")
string(FIND "${out}" "${WORK}/Снег 雪.scr: " at)
if(NOT at EQUAL 0)
  message(FATAL_ERROR "list does not begin with the path as given:\n${out}")
endif()

tool(0 extract "${WORK}/Снег 雪.scr" --module 0 -o "${WORK}/копия.exe")
file(READ "${WORK}/копия.exe" copy)
if(NOT copy STREQUAL "MZ show program")
  message(FATAL_ERROR "extracted module differs: ${copy}")
endif()

tool(1 verify "${WORK}/stub.scr")
if(NOT err MATCHES "^saverpak: .*stub.scr is not a saver with content: it has no container")
  message(FATAL_ERROR "unexpected verify message: ${err}")
endif()
tool(1 build --stub "${WORK}/stub.scr" --manifest "${WORK}/café 雪.toml" -o "${WORK}/stub.scr")
if(NOT err MATCHES "^saverpak: the output .*stub.scr is the stub")
  message(FATAL_ERROR "unexpected build message: ${err}")
endif()
tool(0 --help)
tool(0 build --help)
# "help COMMAND" is COMMAND --help, and the help shows the defaults.
tool(0 help preview)
if(NOT out MATCHES "--depth [^\n]*=24")
  message(FATAL_ERROR "preview's help shows no default depth:\n${out}")
endif()
tool(0 --version)
if(NOT out MATCHES "^saverpak [0-9]+\\.[0-9]+")
  message(FATAL_ERROR "unexpected --version: ${out}")
endif()
# Output that cannot be written is a failure, with a message; preview refuses what build would
# (a small file claiming 1 x 268,000,000 pixels) at once, with build's message.
if(NOT EMULATOR)
  foreach(args "list;${WORK}/Снег 雪.scr" "list;--json;${WORK}/Снег 雪.scr" "--version")
    execute_process(COMMAND ${TOOL} ${args} OUTPUT_FILE /dev/full RESULT_VARIABLE code ERROR_VARIABLE err)
    if(NOT code EQUAL 1 OR NOT err MATCHES "^saverpak: cannot write to standard output")
      message(FATAL_ERROR "saverpak ${args} > /dev/full: exit ${code}\n${err}")
    endif()
  endforeach()
  execute_process(COMMAND printf [=[\102\115\066\004\000\000\000\000\000\000\066\000\000\000\050\000\000\000\001\000\000\000\000\133\371\017\001\000\030\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000]=] OUTPUT_FILE ${WORK}/tall.bmp)
  # preview refuses a special file as output, as build and extract do.
  execute_process(COMMAND printf [=[\102\115\072\000\000\000\000\000\000\000\066\000\000\000\050\000\000\000\001\000\000\000\001\000\000\000\001\000\030\000\000\000\000\000\004\000\000\000\023\013\000\000\023\013\000\000\000\000\000\000\000\000\000\000\377\000\000\000]=] OUTPUT_FILE ${WORK}/dot.bmp)
  tool(0 preview ${WORK}/dot.bmp -o ${WORK}/dot.png)
  tool(1 preview ${WORK}/dot.bmp -o /dev/null)
  if(NOT err MATCHES "^saverpak: the output /dev/null is a device, not a regular file")
    message(FATAL_ERROR "unexpected preview message: ${err}")
  endif()
  tool(1 preview ${WORK}/tall.bmp -o ${WORK}/tall.png)
  if(NOT err MATCHES "^saverpak: preview: .*tall.bmp: BMP width must be 1 to 21844 and height 1 to 32768")
    message(FATAL_ERROR "unexpected preview message: ${err}")
  endif()
  # A PNG with alpha is previewed and stored as the BMP it becomes, with a note; a GIF is named.
  execute_process(COMMAND printf [=[\211\120\116\107\015\012\032\012\000\000\000\015\111\110\104\122\000\000\000\002\000\000\000\001\010\006\000\000\000\364\042\177\212\000\000\000\021\111\104\101\124\170\332\143\370\317\300\320\300\300\360\377\077\000\015\176\003\176\227\361\210\077\000\000\000\000\111\105\116\104\256\102\140\202]=] OUTPUT_FILE ${WORK}/tiny.png)
  tool(0 preview ${WORK}/tiny.png --picture 1 -o ${WORK}/tiny-logo.png)
  file(WRITE ${WORK}/png.toml "[[module]]\nexternal = true\nname = 'C:/Show/show.exe'\n[[picture]]\nfile = 'tiny.png'\n")
  tool(0 build --stub "${WORK}/stub.scr" --manifest ${WORK}/png.toml -o ${WORK}/png.scr)
  if(NOT err MATCHES "picture 0: .*tiny.png \\(PNG 2×1 with alpha\\) stored as an 8-bit BMP")
    message(FATAL_ERROR "unexpected build note: ${err}")
  endif()
  file(WRITE ${WORK}/anim.gif "GIF89a not more")
  tool(1 preview ${WORK}/anim.gif -o ${WORK}/anim.png)
  if(NOT err MATCHES "anim.gif: GIF pictures are not converted; save it as PNG, JPEG or BMP first")
    message(FATAL_ERROR "unexpected GIF message: ${err}")
  endif()
endif()
tool(2 extract "${WORK}/Снег 雪.scr" -o "${WORK}/none.exe")
if(NOT err MATCHES "^saverpak: .*\nusage: saverpak ")
  message(FATAL_ERROR "unexpected usage message: ${err}")
endif()
message(STATUS "saverpak round trip passed")
