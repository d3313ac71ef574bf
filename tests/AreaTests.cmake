# scanleaf_area_tests(AREA LIBS ... [LOCK name] [WINDOWS sub...] [DISPLAY sub...]): tests/<area>/*.cpp
# form test_<area>; each subfolder tests/<area>/<sub>/ forms test_<area>_<sub>. LOCK serialises
# the cases that share a resource (the host's registry key) across the programs that name it. The
# programs of the WINDOWS subfolders make windows: they run through tests/windows.sh; those of the
# DISPLAY subfolders measure windows on a real display: they run through tests/xvfb.sh.
set(SCANLEAF_PLAIN_EMULATOR ${CMAKE_CROSSCOMPILING_EMULATOR})
function(scanleaf_area_tests area)
    cmake_parse_arguments(A "" "LOCK" "LIBS;WINDOWS;DISPLAY" ${ARGN})
    file(GLOB top CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(top)
        scanleaf_add_test(test_${area} SOURCES ${top} LIBS ${A_LIBS} LOCK ${A_LOCK})
    endif()
    file(GLOB children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
    foreach(child ${children})
        if(IS_DIRECTORY ${child})
            get_filename_component(sub ${child} NAME)
            file(GLOB subsources CONFIGURE_DEPENDS ${child}/*.cpp)
            if(subsources)
                set(CMAKE_CROSSCOMPILING_EMULATOR ${SCANLEAF_PLAIN_EMULATOR})
                if(sub IN_LIST A_WINDOWS)
                    set(CMAKE_CROSSCOMPILING_EMULATOR "sh;${PROJECT_SOURCE_DIR}/tests/windows.sh;${CMAKE_BINARY_DIR}/wine-run")
                elseif(sub IN_LIST A_DISPLAY)
                    set(CMAKE_CROSSCOMPILING_EMULATOR "sh;${PROJECT_SOURCE_DIR}/tests/xvfb.sh;${CMAKE_BINARY_DIR}/wine-run")
                endif()
                scanleaf_add_test(test_${area}_${sub} SOURCES ${subsources} LIBS ${A_LIBS} LOCK ${A_LOCK})
            endif()
        endif()
    endforeach()
endfunction()
