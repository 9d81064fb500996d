# Fails when any C++ source of the project differs from what clang-format makes of it.
file(GLOB_RECURSE sources
    ${SOURCE_DIR}/core/*.cpp ${SOURCE_DIR}/core/*.h
    ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.h
    ${SOURCE_DIR}/tools/*.cpp ${SOURCE_DIR}/tools/*.h
    ${SOURCE_DIR}/tests/*.cpp ${SOURCE_DIR}/tests/*.h
    ${SOURCE_DIR}/bench/*.cpp ${SOURCE_DIR}/bench/*.h)
execute_process(COMMAND ${CLANG_FORMAT} --style=file --dry-run --Werror ${sources}
    WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "Sources are not formatted; run clang-format -i on the files above.")
endif()
