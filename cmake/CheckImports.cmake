# cmake -DOBJDUMP=... -DDIR=... -P CheckImports.cmake
cmake_minimum_required(VERSION 3.25)

# Fails when a program in DIR imports a DLL that does not ship with Windows, or when the
# installer imports one that is not among Windows' known DLLs (those are always taken from the
# system directory; the installer delay-loads every other DLL it needs).
set(known_dlls
    kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll
    msvcrt.dll shlwapi.dll ws2_32.dll)
set(allowed
    kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll
    comctl32.dll winhttp.dll crypt32.dll wintrust.dll bcrypt.dll version.dll msvcrt.dll shlwapi.dll
    ws2_32.dll)
file(GLOB programs "${DIR}/*.exe" "${DIR}/app/*.exe" "${DIR}/tests/*.exe" "${DIR}/tools/*.exe"
                   "${DIR}/tests/pinned/*.exe" "${DIR}/tools/*.dll" "${DIR}/bench/*.exe")
if(NOT programs)
    message(FATAL_ERROR "no programs found under ${DIR}")
endif()
set(failures "")
foreach(program IN LISTS programs)
    execute_process(COMMAND ${OBJDUMP} -p ${program} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "objdump failed on ${program}")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\r\n]+" names "${dump}")
    get_filename_component(name "${program}" NAME)
    foreach(entry IN LISTS names)
        string(REPLACE "DLL Name: " "" dll "${entry}")
        string(TOLOWER "${dll}" dll)
        if(name STREQUAL "VexaBoxInstaller.exe")
            if(NOT dll IN_LIST known_dlls)
                string(APPEND failures "${program}: ${dll} (not a known DLL)\n")
            endif()
        elseif(NOT dll IN_LIST allowed AND NOT dll MATCHES "^api-ms-win-")
            string(APPEND failures "${program}: ${dll}\n")
        endif()
    endforeach()
    message(STATUS "${program}: imports checked")
endforeach()
if(failures)
    message(FATAL_ERROR "Programs import DLLs they must not import:\n${failures}")
endif()
