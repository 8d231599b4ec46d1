# Gives a Windows executable the program's version resource: file and product version
# from the project, ProductName and InternalName "veskparser", US English, Unicode strings.
function(vesk_add_version_resource target original_filename)
    if(NOT WIN32)
        return()
    endif()
    set(VESK_ORIGINAL_FILENAME ${original_filename})
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()
