# Compiler settings for the project's own targets (not for GoogleTest).
function(ra03v_target_options target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Werror
    # Sources are UTF-8; narrow literals are Windows-1251, as the library's texts are.
    -finput-charset=UTF-8 -fexec-charset=CP1251)
  target_compile_definitions(${target} PRIVATE
    NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
endfunction()
