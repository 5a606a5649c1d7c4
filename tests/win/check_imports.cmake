# The launcher must start on every 32-bit Windows from XP SP3 to 11: a 32-bit GUI executable that imports system
# DLLs only, and from them only what Windows XP SP3 exports. Its 64-bit twin is held to the same imports.
#   cmake -DEXE=autorun.exe -DCC=i686-w64-mingw32-gcc-win32 -DOBJDUMP=i686-w64-mingw32-objdump -DFORMAT=pei-i386
#         -DPROBE_DIR=dir -P ...
#
# Which functions XP has is taken from the mingw-w64 headers, which declare each later function only when
# _WIN32_WINNT (or _WIN32_IE, NTDDI_VERSION) asks for that Windows: every imported name is probed by compiling
# a reference to it twice, once for Windows XP SP3 and once for Windows 11. A name the headers declare for 11 but
# not for XP is a later API (GetTickCount64, for one, came with Vista). A name they declare for neither is one of
# the C runtime's start-up entries, which no header names: those are listed below, each checked to be an export
# of XP's msvcrt.dll; a name outside the list fails the test until someone has checked it the same way.
# The headers are not perfect witnesses (a few later functions are declared without a guard), so the list of
# imports is printed for a reader as well.
if(NOT OBJDUMP)
    set(OBJDUMP i686-w64-mingw32-objdump)
endif()
if(NOT FORMAT)
    set(FORMAT pei-i386)
endif()
if(NOT EXISTS "${EXE}")
    message(FATAL_ERROR "no launcher at ${EXE}")
endif()
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${EXE}")
endif()
if(NOT dump MATCHES "file format ${FORMAT}\n")
    message(FATAL_ERROR "${EXE} is not a ${FORMAT} image")
endif()
if(NOT dump MATCHES "Subsystem[ \t]+00000002")
    message(FATAL_ERROR "${EXE} is not a GUI-subsystem executable")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(allowed KERNEL32.dll USER32.dll GDI32.dll ADVAPI32.dll SHELL32.dll COMCTL32.DLL COMCTL32.dll msvcrt.dll
    UxTheme.dll UXTHEME.dll SHLWAPI.dll)
foreach(line ${imports})
    string(REPLACE "DLL Name: " "" dll "${line}")
    string(STRIP "${dll}" dll)
    list(FIND allowed "${dll}" found)
    if(found EQUAL -1)
        message(FATAL_ERROR "${EXE} imports ${dll}, which is not a system DLL")
    endif()
endforeach()
message(STATUS "imports: ${imports}")

# The imported names: objdump lists each as "<address> <hint> <name>" below its "DLL Name:" line.
string(REGEX REPLACE ".*The Import Tables" "" table "${dump}")
string(REGEX REPLACE "\n(The Export Tables|PE File Base Relocations|The Function Table|Exception Handling).*" ""
    table "${table}")
string(REGEX MATCHALL "\n\t[0-9a-f]+\t +[0-9]+  [A-Za-z_][A-Za-z0-9_@]*" entries "${table}")
set(names)
foreach(entry ${entries})
    string(REGEX REPLACE ".* " "" name "${entry}")
    list(APPEND names ${name})
endforeach()
list(LENGTH names count)
if(count LESS 20)
    message(FATAL_ERROR "found only ${count} imported names in ${EXE}: the listing was not understood")
endif()

# Entries of msvcrt.dll that its headers do not declare as functions: the start-up code's, and data reached
# through macros. Each is an export of msvcrt.dll since Windows NT 4, so of XP's (_commode: the 64-bit start-up
# code reads the variable itself where the 32-bit one calls __p__commode; both are exports of XP x64's msvcrt).
set(runtime_internals __getmainargs __initenv __mb_cur_max __p__commode _commode __set_app_type _amsg_exit _initterm
    _lock _unlock)

set(probe_dir ${PROBE_DIR})
if(NOT probe_dir)
    set(probe_dir ${CMAKE_CURRENT_BINARY_DIR})
endif()
file(MAKE_DIRECTORY ${probe_dir})
set(probe "${probe_dir}/xp_imports_probe.c")
set(source "#include <windows.h>\n#include <commctrl.h>\n#include <shellapi.h>\n#include <shlwapi.h>\n")
string(APPEND source "#include <tlhelp32.h>\n#include <uxtheme.h>\n#include <process.h>\n#include <io.h>\n")
string(APPEND source "#include <stdio.h>\n#include <stdlib.h>\n#include <string.h>\n#include <setjmp.h>\n")
string(APPEND source "#include <signal.h>\n#include <locale.h>\n#include <ctype.h>\n#include <wchar.h>\n")
string(APPEND source "#include <errno.h>\n#include <time.h>\n#include <math.h>\n#include <mbstring.h>\n")
string(REGEX MATCHALL "\n" header_lines "${source}")
list(LENGTH header_lines first_line)
math(EXPR first_line "${first_line} + 1")
# The last line is a control: a Vista function, which the probe must find missing for XP and present for 11.
set(control GetTickCount64)
set(index 0)
foreach(name ${names} ${control})
    # One function per name: the compiler reports an undeclared name once in each function that uses it.
    string(APPEND source "const void *probe_${index}(void) { return (const void *)&${name}; }\n")
    math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${probe} "${source}")

# Lines of the probe that do not compile for a Windows version: the names the headers do not declare for it.
function(undeclared_for defines out)
    execute_process(COMMAND ${CC} -fsyntax-only -w -x c ${defines} ${probe}
        ERROR_VARIABLE errors OUTPUT_QUIET RESULT_VARIABLE ignored)
    string(REGEX MATCHALL "xp_imports_probe\\.c:[0-9]+:[0-9]+: error" hits "${errors}")
    set(lines)
    foreach(hit ${hits})
        string(REGEX REPLACE "xp_imports_probe\\.c:([0-9]+):.*" "\\1" line "${hit}")
        list(APPEND lines ${line})
    endforeach()
    list(REMOVE_DUPLICATES lines)
    set(${out} "${lines}" PARENT_SCOPE)
endfunction()

undeclared_for("-D_WIN32_WINNT=0x0501;-DWINVER=0x0501;-D_WIN32_IE=0x0603;-DNTDDI_VERSION=0x05010300" for_xp)
undeclared_for("-D_WIN32_WINNT=0x0A00;-DWINVER=0x0A00;-D_WIN32_IE=0x0A00;-DNTDDI_VERSION=0x0A00000B" for_11)

math(EXPR control_line "${first_line} + ${count}")
list(FIND for_xp ${control_line} control_on_xp)
list(FIND for_11 ${control_line} control_on_11)
if(control_on_xp EQUAL -1 OR NOT control_on_11 EQUAL -1)
    message(FATAL_ERROR "the probe does not tell XP's functions from later ones (see ${probe})")
endif()

set(later)
set(unknown)
set(index 0)
foreach(name ${names})
    math(EXPR line "${first_line} + ${index}")
    math(EXPR index "${index} + 1")
    list(FIND for_xp ${line} missing_on_xp)
    if(missing_on_xp EQUAL -1)
        continue()
    endif()
    list(FIND for_11 ${line} missing_on_11)
    if(missing_on_11 EQUAL -1)
        list(APPEND later ${name})
    else()
        list(FIND runtime_internals ${name} internal)
        if(internal EQUAL -1)
            list(APPEND unknown ${name})
        endif()
    endif()
endforeach()
if(later)
    message(FATAL_ERROR "${EXE} imports functions that Windows XP SP3 does not have: ${later}")
endif()
if(unknown)
    message(FATAL_ERROR "${EXE} imports names that no header declares, not known to be in Windows XP: ${unknown}")
endif()
message(STATUS "${count} imported names, all in Windows XP SP3")
