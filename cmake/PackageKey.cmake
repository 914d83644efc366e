# The public key that signs the packages, read at configure time from a PEM file (as
# `openssl ec -pubout` writes it) and compiled into the installer as DER.

# Sets <bytes_var> to the key's DER as a C++ string literal's body (\x.. escapes) and
# <size_var> to its length; both empty and 0 for an empty path. Stops the configure for
# anything but an ECDSA P-256 public key.
function(vexa_package_key_bytes pem bytes_var size_var)
    if(pem STREQUAL "")
        set(${bytes_var} "" PARENT_SCOPE)
        set(${size_var} 0 PARENT_SCOPE)
        return()
    endif()
    find_program(VEXA_OPENSSL openssl REQUIRED)
    get_filename_component(name "${pem}" NAME)
    set(der ${CMAKE_BINARY_DIR}/package-keys/${name}.der)
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/package-keys)
    file(REMOVE ${der})
    execute_process(COMMAND ${VEXA_OPENSSL} pkey -pubin -in ${pem} -outform DER -out ${der}
                    RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
    set(hex "")
    if(NOT failed AND EXISTS ${der})
        file(READ ${der} hex HEX)
    endif()
    # A P-256 SubjectPublicKeyInfo: id-ecPublicKey, the prime256v1 curve, an uncompressed point
    # (91 bytes in all).
    string(LENGTH "${hex}" digits)
    if(NOT hex MATCHES "^3059301306072a8648ce3d020106082a8648ce3d03010703420004[0-9a-f]+$" OR
       NOT digits EQUAL 182)
        message(FATAL_ERROR "VEXA_PACKAGE_PUBLIC_KEY: ${pem} is not an ECDSA P-256 public key in "
                            "PEM form, as `openssl ec -pubout` writes it (scripts/package-key "
                            "makes one)")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${pem})
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" bytes "${hex}")
    set(${bytes_var} "${bytes}" PARENT_SCOPE)
    set(${size_var} 91 PARENT_SCOPE)
endfunction()
