// Linked into every program of the sanitizer build: the options the sanitizers start with, so that the
// programs and their tests behave the same under ./test.sh, a plain ctest or by hand. An option given in
// UBSAN_OPTIONS still wins.
extern "C" const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}
