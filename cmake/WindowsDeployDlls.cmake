# Run at install time (cmake/WindowsDeploy.cmake): copies into
# LUMORA_DEPLOY_DIR every DLL that a 64-bit .exe or .dll below it imports and
# that LUMORA_DEPLOY_SEARCH holds, until nothing more is missing. System
# DLLs are not in the search folder and stay where Windows keeps them;
# 32-bit files (the relay, the 32-bit filter) carry their runtime inside.
set(copied "")
set(changed TRUE)
while(changed)
    set(changed FALSE)
    file(GLOB_RECURSE binaries "${LUMORA_DEPLOY_DIR}/*.exe" "${LUMORA_DEPLOY_DIR}/*.dll")
    foreach(binary ${binaries})
        execute_process(COMMAND "${LUMORA_DEPLOY_OBJDUMP}" -p "${binary}"
            OUTPUT_VARIABLE dump RESULT_VARIABLE failed ERROR_QUIET)
        if(failed OR NOT dump MATCHES "file format pei-x86-64")
            continue()
        endif()
        string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
        foreach(import ${imports})
            string(REGEX REPLACE "DLL Name: " "" dll "${import}")
            string(STRIP "${dll}" dll)
            if(EXISTS "${LUMORA_DEPLOY_SEARCH}/${dll}" AND NOT EXISTS "${LUMORA_DEPLOY_DIR}/${dll}")
                file(COPY "${LUMORA_DEPLOY_SEARCH}/${dll}" DESTINATION "${LUMORA_DEPLOY_DIR}")
                list(APPEND copied ${dll})
                set(changed TRUE)
            endif()
        endforeach()
    endforeach()
endwhile()
list(LENGTH copied count)
message(STATUS "Deployed ${count} runtime DLLs: ${copied}")
