#pragma once

#include <cstddef>
#include <cstdint>

// The two entry points libFuzzer calls; the replay driver calls them the same way, so one
// source serves both the fuzzing build and the corpus replay of the test suite.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Stops the process the way a sanitizer finding does: a broken invariant is a crash the
// fuzzer keeps and reports with its input.
[[noreturn]] void FuzzFailure(const char* what);
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            FuzzFailure(#condition);                                                                                   \
    } while (false)

// The program's paths, log and format settings in a temporary folder of the process, removed
// at exit, and a fatal handler that neither shows nor ends anything: a target writes nowhere
// else and runs on after a reported fault.
void UseThrowAwayRoot();
