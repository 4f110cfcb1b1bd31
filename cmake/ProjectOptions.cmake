# Compiler settings for the project's own targets (not for GoogleTest).
function(ra03v_target_options target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Werror
    # Sources are UTF-8; narrow literals are Windows-1251, as the library's texts are.
    -finput-charset=UTF-8 -fexec-charset=CP1251
    # GCC 12 at -O3 reports overlapping copies inside std::string assignments
    # that cannot overlap (GCC bug 105329); the release builds would fail on them.
    -Wno-restrict)
  target_compile_definitions(${target} PRIVATE
    NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
endfunction()
