# Configures, builds and runs the ThreadSanitizer stress test in a build folder
# of its own. Arguments: SOURCE_DIR, BINARY_DIR, CONFIG_DIR, CXX, GENERATOR.
foreach(var SOURCE_DIR BINARY_DIR CONFIG_DIR CXX GENERATOR)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "RunTsanTest.cmake needs -D${var}=...")
    endif()
endforeach()

execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${BINARY_DIR} -G ${GENERATOR}
            -DCMAKE_CXX_COMPILER=${CXX} -DTOLVANE_CONFIG_DIR=${CONFIG_DIR}
    RESULT_VARIABLE result)
if(result)
    message(FATAL_ERROR "configuring the ThreadSanitizer build failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY_DIR} RESULT_VARIABLE result)
if(result)
    message(FATAL_ERROR "building the ThreadSanitizer test failed")
endif()

set(program ${BINARY_DIR}/tst_settingvalue_tsan)
set(options "TSAN_OPTIONS=halt_on_error=1 exitcode=66 second_deadlock_stack=1")

# First prove that this build reports a race at all: an unguarded counter must fail.
execute_process(COMMAND ${CMAKE_COMMAND} -E env ${options} ${program} --unguarded
                RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE report)
if(NOT result EQUAL 66)
    message(FATAL_ERROR "ThreadSanitizer did not report the planted race (exit ${result}):\n${report}")
endif()
message(STATUS "the planted race was reported, as it must be")

execute_process(COMMAND ${CMAKE_COMMAND} -E env ${options} ${program} RESULT_VARIABLE result)
if(result)
    message(FATAL_ERROR "the settings values stress test failed (exit ${result})")
endif()
