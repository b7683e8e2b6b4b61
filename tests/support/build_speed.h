// How many times slower than an optimised build this build runs the
// engine. Tests that give the engine a clock scale it by this factor, so
// that a sanitizer build plays the same kind of game as a release build
// instead of losing on time to its own instrumentation. CMake defines
// BRAKKEN_SANITIZE or BRAKKEN_TSAN for the tests of a sanitizer build; the
// compiler's own macros catch sanitizer flags given by hand.
#pragma once

namespace testsupport {

constexpr int kBuildSlowdown =
#if defined(BRAKKEN_TSAN) || defined(__SANITIZE_THREAD__)
    // ThreadSanitizer instruments every memory access and every lock.
    8;
#elif defined(BRAKKEN_SANITIZE) || defined(__SANITIZE_ADDRESS__)
    4;
#elif !defined(__OPTIMIZE__)
    // An unoptimised (Debug) build.
    4;
#else
    1;
#endif

}  // namespace testsupport
