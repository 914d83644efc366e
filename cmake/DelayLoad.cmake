# Delay-import libraries for the DLLs that are not among Windows' known DLLs. A program linked
# with them loads those DLLs on first use, after its entry has limited DLL loading to the
# system directory, so a DLL of the same name beside the program is never picked up.

find_program(VEXA_DLLTOOL NAMES x86_64-w64-mingw32-dlltool REQUIRED)

add_library(vexa_delayed_dlls INTERFACE)
foreach(dll winhttp comctl32 wintrust crypt32 bcrypt version)
    set(def ${CMAKE_CURRENT_LIST_DIR}/delayload/${dll}.def)
    set(lib ${CMAKE_BINARY_DIR}/delayload/lib${dll}_delayed.a)
    add_custom_command(
        OUTPUT ${lib}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/delayload
        COMMAND ${VEXA_DLLTOOL} --input-def ${def} --dllname ${dll}.dll --output-delaylib ${lib}
        DEPENDS ${def}
        COMMENT "Making the delay-import library for ${dll}.dll")
    add_custom_target(vexa_delayed_${dll} DEPENDS ${lib})
    add_dependencies(vexa_delayed_dlls vexa_delayed_${dll})
    target_link_libraries(vexa_delayed_dlls INTERFACE ${lib})
endforeach()
target_link_libraries(vexa_delayed_dlls INTERFACE delayimp)
